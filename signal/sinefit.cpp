#include "sinefit.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace sinefit {

namespace {

    constexpr double kPi = 3.14159265358979323846;
    constexpr int kMaxIterations = 12;

    // Solves the N x N system a * x = b (b in column N) by elimination with
    // partial pivoting; false for a singular one.
    template <std::size_t N> bool solve(std::array<std::array<double, N + 1>, N> &a)
    {
        for (std::size_t c = 0; c < N; ++c) {
            std::size_t pivot = c;
            for (std::size_t r = c + 1; r < N; ++r)
                if (std::abs(a[r][c]) > std::abs(a[pivot][c]))
                    pivot = r;
            if (std::abs(a[pivot][c]) < 1e-300)
                return false;
            std::swap(a[c], a[pivot]);
            for (std::size_t r = 0; r < N; ++r) {
                if (r == c)
                    continue;
                const double k = a[r][c] / a[c][c];
                for (std::size_t k2 = c; k2 <= N; ++k2)
                    a[r][k2] -= k * a[c][k2];
            }
        }
        for (std::size_t r = 0; r < N; ++r)
            a[r][N] /= a[r][r];
        return true;
    }

    // The least-squares fit of the columns to x: normal equations over the
    // samples, the columns given by columnsAt(i, row).
    template <std::size_t N, typename Columns>
    bool leastSquares(const int *x, int n, Columns columnsAt, std::array<double, N> &solution)
    {
        std::array<std::array<double, N + 1>, N> a {};
        std::array<double, N> row {};
        for (int i = 0; i < n; ++i) {
            columnsAt(i, row);
            for (std::size_t r = 0; r < N; ++r) {
                for (std::size_t c = r; c < N; ++c)
                    a[r][c] += row[r] * row[c];
                a[r][N] += row[r] * x[i];
            }
        }
        for (std::size_t r = 0; r < N; ++r)
            for (std::size_t c = 0; c < r; ++c)
                a[r][c] = a[c][r];
        if (!solve<N>(a))
            return false;
        for (std::size_t r = 0; r < N; ++r)
            solution[r] = a[r][N];
        return true;
    }

    double centre(int n)
    {
        return (n - 1) / 2.0;
    }

    double residual(const int *x, int n, const Fit &f)
    {
        const double w = 2 * kPi * f.cyclesPerSample;
        double sum = 0;
        for (int i = 0; i < n; ++i) {
            const double t = i - centre(n);
            const double model = f.amplitude.real() * std::cos(w * t)
                - f.amplitude.imag() * std::sin(w * t) + f.offset;
            sum += (x[i] - model) * (x[i] - model);
        }
        return n > 0 ? std::sqrt(sum / n) : 0.0;
    }

} // namespace

std::optional<double> roughCycles(const int *x, int n)
{
    if (n < 3)
        return std::nullopt;
    const auto [low, high] = std::minmax_element(x, x + n);
    const double mid = (double(*low) + *high) / 2;
    const double band = (double(*high) - *low) / 6;
    if (band <= 0)
        return std::nullopt;
    // A crossing counts when the signal gets from beyond one side of the band
    // to beyond the other; it happened where the samples last crossed the mean.
    int side = 0; // -1 below the band, +1 above, 0 not yet known
    double lastMean = -1;
    double first = -1, last = -1;
    int crossings = 0;
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (x[i - 1] - mid) * (x[i] - mid) <= 0 && x[i] != x[i - 1])
            lastMean = i - 1 + (mid - x[i - 1]) / (double(x[i]) - x[i - 1]);
        const int now = x[i] > mid + band ? 1 : x[i] < mid - band ? -1 : 0;
        if (now == 0 || now == side)
            continue;
        if (side != 0 && lastMean >= 0) {
            if (crossings == 0)
                first = lastMean;
            last = lastMean;
            ++crossings;
        }
        side = now;
    }
    if (crossings < 2 || last <= first)
        return std::nullopt;
    return (crossings - 1) / (2 * (last - first));
}

Fit fitAt(const int *x, int n, double cycles)
{
    Fit f;
    f.cyclesPerSample = cycles;
    const double w = 2 * kPi * cycles;
    std::array<double, 3> s {};
    const bool solved = leastSquares<3>(x, n,
        [&](int i, std::array<double, 3> &row) {
            const double t = i - centre(n);
            row = { std::cos(w * t), std::sin(w * t), 1.0 };
        },
        s);
    if (solved) {
        f.amplitude = { s[0], -s[1] };
        f.offset = s[2];
    }
    f.residualRms = residual(x, n, f);
    return f;
}

std::optional<Fit> fit(const int *x, int n)
{
    const std::optional<double> rough = roughCycles(x, n);
    if (!rough || *rough >= 0.5)
        return std::nullopt;
    Fit best = fitAt(x, n, *rough);
    // Gauss-Newton on the frequency: the model linearised in it, a step, and
    // the step halved while it makes the fit worse.
    for (int k = 0; k < kMaxIterations; ++k) {
        const double w = 2 * kPi * best.cyclesPerSample;
        const double a = best.amplitude.real();
        const double b = -best.amplitude.imag();
        std::array<double, 4> s {};
        const bool solved = leastSquares<4>(x, n,
            [&](int i, std::array<double, 4> &row) {
                const double t = i - centre(n);
                const double c = std::cos(w * t), sn = std::sin(w * t);
                row = { c, sn, 1.0, t * (b * c - a * sn) };
            },
            s);
        if (!solved)
            break;
        double step = s[3] / (2 * kPi);
        // Never further than a tenth of the frequency at once.
        step = std::clamp(step, -0.1 * best.cyclesPerSample, 0.1 * best.cyclesPerSample);
        bool moved = false;
        for (int halving = 0; halving < 8; ++halving) {
            const double tried = best.cyclesPerSample + step;
            if (tried > 0 && tried < 0.5) {
                const Fit candidate = fitAt(x, n, tried);
                if (candidate.residualRms <= best.residualRms) {
                    best = candidate;
                    moved = true;
                    break;
                }
            }
            step /= 2;
        }
        if (!moved || std::abs(step) < 1e-12 * best.cyclesPerSample)
            break;
    }
    return best;
}

double amplitudeError(double residualRms, int n)
{
    return n > 0 ? residualRms * std::sqrt(2.0 / n) : 0.0;
}

} // namespace sinefit
