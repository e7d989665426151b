#include "circuit.h"

#include <cctype>
#include <cmath>
#include <locale>
#include <sstream>
#include <vector>

namespace {

// A positive, finite number written the C way whatever the user's locale says about commas,
// with an optional k or M after it. Signs, blanks and "inf" are refused.
std::optional<double> parseValue(const std::string& text, bool withSuffix)
{
    if (text.empty()
        || !(std::isdigit(static_cast<unsigned char>(text.front())) || text.front() == '.'))
        return std::nullopt;
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    double value = 0.0;
    if (!(in >> value))
        return std::nullopt;
    std::string rest;
    std::getline(in, rest);
    if (withSuffix && rest == "k")
        value *= 1e3;
    else if (withSuffix && rest == "M")
        value *= 1e6;
    else if (!rest.empty())
        return std::nullopt;
    if (!std::isfinite(value) || value <= 0.0)
        return std::nullopt;
    return value;
}

} // namespace

Circuit::Circuit(Kind kind, double hz, double q)
    : circuitKind(kind)
    , cornerHz(hz)
    , quality(q)
{
}

std::optional<Circuit> Circuit::make(Kind kind, double hz, double q)
{
    if (!std::isfinite(hz) || hz <= 0.0 || !std::isfinite(q) || q <= 0.0)
        return std::nullopt;
    return Circuit(kind, hz, q);
}

std::optional<Circuit> Circuit::parse(const std::string& text)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(text);
    while (std::getline(in, field, ':'))
        fields.push_back(field);
    if (!text.empty() && text.back() == ':')
        fields.emplace_back(); // a trailing colon leaves an empty field, refused below
    if (fields.empty())
        return std::nullopt;

    const std::string& name = fields.front();
    const bool bandPass = name == "bandpass";
    Kind kind = Kind::BandPass;
    if (name == "lowpass")
        kind = Kind::LowPass;
    else if (name == "highpass")
        kind = Kind::HighPass;
    else if (!bandPass)
        return std::nullopt;
    if (fields.size() != (bandPass ? 3U : 2U))
        return std::nullopt;

    const auto hz = parseValue(fields[1], true);
    const auto q = bandPass ? parseValue(fields[2], false) : std::optional<double>(1.0);
    if (!hz || !q)
        return std::nullopt;
    return make(kind, *hz, *q);
}

std::complex<double> Circuit::response(double hz) const
{
    // s / w0: the frequency relative to the corner, on the imaginary axis.
    const std::complex<double> s(0.0, hz / cornerHz);
    if (circuitKind == Kind::LowPass)
        return 1.0 / (1.0 + s);
    if (circuitKind == Kind::HighPass)
        return s / (1.0 + s);
    return (s / quality) / (1.0 + s / quality + s * s);
}
