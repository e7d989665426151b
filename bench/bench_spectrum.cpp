// The spectrum analyzer's arithmetic on one 1024-sample frame (windowed
// transform, THD+N, plot values), beside FFTW's 1024-point real transform in
// the same run. Batches of both alternate, so a busy moment of the machine
// costs them alike; each batch is timed in this thread's CPU time, so that
// other programs on a shared machine do not count, and the figures are the
// medians of the batches.
//
//   bench-spectrum [--batches N]
#include "figures.h"
#include "spectrum.h"

#include <QCoreApplication>
#include <QStringList>

#include <fftw3.h>

#include <array>
#include <cmath>
#include <vector>

#include <time.h>

namespace {

constexpr int kPerBatch = 2000;

double threadCpuUs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

double microsecondsPerCall(double t0, double t1)
{
    return (t1 - t0) / kPerBatch;
}

// A 1000-count tone in bin 64 with a tenth of its second harmonic and a little
// deterministic hash, like a live frame.
std::array<int, spectrum::kPoints> testFrame()
{
    std::array<int, spectrum::kPoints> frame {};
    for (int t = 0; t < spectrum::kPoints; ++t) {
        const double x = 2.0 * M_PI * t / spectrum::kPoints;
        frame[std::size_t(t)]
            = int(std::lround(1000.0 * std::sin(64 * x) + 100.0 * std::sin(128 * x)))
            + (t * 7919) % 5 - 2;
    }
    return frame;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int at = args.indexOf(QStringLiteral("--batches"));
    const int batches = at >= 0 && at + 1 < args.size() ? std::max(1, args[at + 1].toInt()) : 15;

    const auto frame = testFrame();
    std::array<double, spectrum::kSinTabLen> sinTab {};
    spectrum::fillSinTab(sinTab.data());
    std::array<double, spectrum::kPoints> re {};
    std::array<double, spectrum::kPoints> im {};
    std::array<int, spectrum::kDispLen> disp {};

    double *in = fftw_alloc_real(spectrum::kPoints);
    fftw_complex *out = fftw_alloc_complex(spectrum::kPoints / 2 + 1);
    const fftw_plan plan = fftw_plan_dft_r2c_1d(spectrum::kPoints, in, out, FFTW_MEASURE);

    std::vector<double> ours, fftOnly, theirs;
    double sink = 0.0;
    for (int b = 0; b < batches; ++b) {
        double t0 = threadCpuUs();
        for (int k = 0; k < kPerBatch; ++k) {
            for (int i = 0; i < spectrum::kPoints; ++i)
                re[std::size_t(i)] = frame[std::size_t(i)];
            const double total = spectrum::fft(
                re.data(), im.data(), spectrum::kOrder, sinTab.data(), spectrum::kPoints);
            sink += spectrum::thdn(re.data(), spectrum::kBins, total);
            spectrum::adjustGraph(disp.data(), im.data(), 0);
            sink += disp[64];
        }
        ours.push_back(microsecondsPerCall(t0, threadCpuUs()));

        t0 = threadCpuUs();
        for (int k = 0; k < kPerBatch; ++k) {
            for (int i = 0; i < spectrum::kPoints; ++i)
                re[std::size_t(i)] = frame[std::size_t(i)];
            sink += spectrum::fft(
                re.data(), im.data(), spectrum::kOrder, sinTab.data(), spectrum::kPoints);
        }
        fftOnly.push_back(microsecondsPerCall(t0, threadCpuUs()));

        t0 = threadCpuUs();
        for (int k = 0; k < kPerBatch; ++k) {
            for (int i = 0; i < spectrum::kPoints; ++i)
                in[i] = frame[std::size_t(i)];
            fftw_execute(plan);
            sink += out[64][0];
        }
        theirs.push_back(microsecondsPerCall(t0, threadCpuUs()));
    }
    fftw_destroy_plan(plan);
    fftw_free(out);
    fftw_free(in);

    const double arithmetic = bench::median(ours);
    const double fftw = bench::median(theirs);
    bench::print(QStringLiteral("spectrum.fft_thdn_adjust"), arithmetic, QStringLiteral("us"));
    bench::print(QStringLiteral("spectrum.fft"), bench::median(fftOnly), QStringLiteral("us"));
    bench::print(QStringLiteral("spectrum.fftw_r2c_1024"), fftw, QStringLiteral("us"));
    bench::print(QStringLiteral("spectrum.ratio.ours_over_fftw"), arithmetic / fftw,
        QStringLiteral("(time per frame)"));
    // The results must be used, or the loops could be dropped; a not-a-number
    // here would mean the arithmetic went wrong.
    return std::isfinite(sink) ? 0 : 1;
}
