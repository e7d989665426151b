#pragma once

#include <complex>
#include <optional>
#include <string>

// A circuit wired between the generator's output and channel 1: what a frequency-response
// measurement is pointed at. Its response is the exact transfer function, so a test or a
// benchmark knows the gain and phase the program should find at every frequency.
class Circuit {
public:
    enum class Kind {
        LowPass, // first order: 1 / (1 + s/wc)
        HighPass, // first order: (s/wc) / (1 + s/wc)
        BandPass, // second order: (s/(Q w0)) / (1 + s/(Q w0) + (s/w0)^2), gain 1 at F0
    };

    // hz: the corner (low and high pass) or the centre (band pass); q: the band pass's quality.
    // Empty unless both are positive and finite.
    static std::optional<Circuit> make(Kind kind, double hz, double q = 1.0);
    // "lowpass:FC", "highpass:FC" or "bandpass:F0:Q"; FC and F0 in hertz, a plain number or
    // with a k or M suffix ("1k", "2.5k", "1M"). Empty for anything else.
    static std::optional<Circuit> parse(const std::string& text);

    Kind kind() const { return circuitKind; }
    double hz() const { return cornerHz; }
    double q() const { return quality; }

    // H(j 2 pi f): the output's amplitude and phase relative to the input's at f hertz.
    std::complex<double> response(double hz) const;

private:
    Circuit(Kind kind, double hz, double q);

    Kind circuitKind;
    double cornerHz;
    double quality;
};
