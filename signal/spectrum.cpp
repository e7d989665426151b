#include "spectrum.h"

#include "frameaverage.h"
#include "settingtexts.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace spectrum {

namespace {

    constexpr double kNoPeak = -100000.0; // a bin must beat this to count as the fundamental
    constexpr int kFloor = -1024; // the plot's bottom edge in display units

    // reverse(reverse(r, bits) + 1, bits): the next number when counting with
    // the low `bits` bits reversed, wrapping to 0. Amortised two steps, where
    // reversing twice takes 2 x bits.
    int nextReversed(int r, int bits)
    {
        int bit = bits > 0 ? 1 << (bits - 1) : 0;
        while (bit != 0 && (r & bit) != 0) {
            r ^= bit;
            bit >>= 1;
        }
        return r | bit;
    }

} // namespace

void fillSinTab(double *tab)
{
    for (int k = 0; k < kSinTabLen; ++k)
        tab[k] = std::sin((2.0 * k * kPi) * 0.0009765625);
}

double decabel(double x)
{
    return 10.0 * std::log10(x);
}

int reverse(int value, int bits)
{
    int result = 0;
    for (int i = 0; i < bits; ++i) {
        result = (result << 1) | (value & 1);
        value >>= 1;
    }
    return result;
}

double fft(double *re, double *im, int m, const double *tab, int tabLen)
{
    const int n = 1 << m;
    const int q = tabLen / 4;

    // Periodic Hamming window; the cosine is the sine a quarter period on.
    for (int i = 0; i < n; ++i) {
        re[i] *= 0.54 - 0.46 * tab[q + i];
        im[i] = 0.0;
    }

    // Natural-order input, bit-reversed output. Every butterfly of a group
    // shares one twiddle; group g of any stage uses reverse(g, m - 1), walked
    // from group to group without a multiplication per group.
    int span = n / 2;
    int groups = 1;
    for (int stage = 0; stage < m; ++stage) {
        int k = 0;
        for (int g = 0; g < groups; ++g) {
            const double sw = tab[k];
            const double cw = tab[q + k];
            const int start = g * 2 * span;
            for (int j = 0; j < span; ++j) {
                const int a = start + j;
                const int b = a + span;
                const double tRe = re[b] * cw + im[b] * sw;
                const double tIm = im[b] * cw - re[b] * sw;
                const double aRe = re[a];
                const double aIm = im[a];
                re[a] = aRe + tRe;
                im[a] = aIm + tIm;
                re[b] = 2.0 * aRe - re[a];
                im[b] = 2.0 * aIm - im[a];
            }
            k = nextReversed(k, m - 1);
        }
        span /= 2;
        groups *= 2;
    }

    for (int j = 0; j < n; ++j)
        re[j] = re[j] * re[j] + im[j] * im[j];

    for (int j = 0, r = 0; j < n; ++j, r = nextReversed(r, m))
        im[r] = re[j];
    for (int k = 0; k < n; ++k)
        re[k] = im[k];

    for (int k = 0; k < n; ++k)
        im[k] = decabel(re[k]);

    double total = 0.0;
    for (int k = 0; k < n / 2; ++k)
        total += re[k];
    return decabel(total);
}

double thdn(double *power, int count, double totalDb)
{
    // DC and the first bin are neither the fundamental nor part of the residual.
    power[0] = 0.0;
    power[1] = 0.0;
    if (count <= 0)
        return -1.0;

    double peak = kNoPeak;
    int p = -1;
    for (int i = 0; i < count; ++i) {
        if (power[i] > peak) {
            peak = power[i];
            p = i;
        }
    }
    if (p < 0)
        return -1.0;

    // The fundamental's block: three bins below the peak, the peak, two above.
    for (int i = p - 3; i <= p + 2; ++i) {
        if (i >= 0)
            power[i] = 0.0;
    }

    double residual = 0.0;
    for (int i = 0; i < count; ++i)
        residual += power[i];
    return 100.0 * std::pow(10.0, (decabel(residual) - totalDb) / 20.0);
}

void adjustGraph(int *disp, const double *levels, int xPos)
{
    const int shift = std::clamp(xPos, -kMaxShift, 0);
    for (int i = 0; i < kDispLen; ++i) {
        const double v = levels[i - shift] * kUnitsPerDb - 2148.0;
        if (!(v > kFloor)) // also minus infinity and not-a-number
            disp[i] = kFloor;
        else if (v >= static_cast<double>(std::numeric_limits<int>::max()))
            disp[i] = std::numeric_limits<int>::max();
        else
            disp[i] = static_cast<int>(v); // truncates toward zero
    }
}

double hzPerDivision(int timeBaseCode)
{
    const int row = texts::kSlowestTimeBase - std::clamp(timeBaseCode, 2, texts::kSlowestTimeBase);
    return texts::kSpans[static_cast<std::size_t>(row)].hzPerDivision;
}

Workspace::Workspace()
{
    fillSinTab(sinTab.data());
}

Readouts analyse(const int *frame, Workspace &work)
{
    for (int i = 0; i < kPoints; ++i)
        work.re[static_cast<std::size_t>(i)] = frame[i];
    Readouts r;
    r.powerDb = fft(work.re.data(), work.im.data(), kOrder, work.sinTab.data(), kPoints);
    r.thdnPercent = thdn(work.re.data(), kBins, r.powerDb);
    return r;
}

Readouts analyse(const int *frame, Workspace &work, FrameAverage &average, bool fresh)
{
    for (int i = 0; i < kPoints; ++i)
        work.re[static_cast<std::size_t>(i)] = frame[i];
    fft(work.re.data(), work.im.data(), kOrder, work.sinTab.data(), kPoints);
    if (fresh || average.count() == 0)
        average.add(work.re.data());
    average.mean(work.re.data());
    double total = 0.0;
    for (int k = 0; k < kPoints; ++k) {
        work.im[static_cast<std::size_t>(k)] = decabel(work.re[static_cast<std::size_t>(k)]);
        if (k < kBins)
            total += work.re[static_cast<std::size_t>(k)];
    }
    Readouts r;
    r.powerDb = decabel(total);
    r.thdnPercent = thdn(work.re.data(), kBins, r.powerDb);
    return r;
}

} // namespace spectrum
