#include "sweeprun.h"

#include "linetiming.h"
#include "zorcom.h"

#include <chrono>

namespace {

// How often a wait for a frame looks at the line and at stopped().
constexpr auto kSlice = std::chrono::milliseconds(10);

} // namespace

SweepRun::SweepRun(ZORCom &l, FrameBuffer &f, GenTable &t, int speed)
    : link(l)
    , frames(f)
    , table(t)
    , lineSpeed(speed)
{
}

void SweepRun::setLimits(int serveMs, int silenceMs)
{
    serveLimitMs = serveMs;
    silenceLimitMs = silenceMs;
}

SweepRun::Wait SweepRun::served(const std::function<bool()> &stopped)
{
    const int limit = serveLimitMs > 0 ? serveLimitMs : linetiming::serveTimeoutMs(lineSpeed);
    if (link.waitServed(limit, stopped)) {
        seen = frames.stored();
        return Wait::Taken;
    }
    if (stopped && stopped())
        return Wait::Stopped;
    return link.lineLost() ? Wait::Lost : Wait::NotTaken;
}

SweepRun::Next SweepRun::nextFrame(Frame &frame, int timeBase, const std::function<bool()> &stopped)
{
    const int limit
        = silenceLimitMs > 0 ? silenceLimitMs : linetiming::silenceMs(timeBase, lineSpeed);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit);
    while (!frames.waitBeyond(seen, kSlice)) {
        if (stopped && stopped())
            return Next::Stopped;
        if (link.lineLost())
            return Next::Lost;
        if (std::chrono::steady_clock::now() >= deadline)
            return Next::Silent;
    }
    // The oldest frame after the settings, not the newest: it was surely
    // taken with them.
    seen = frames.takeAfter(seen, frame);
    return Next::Frame;
}

SweepRun::End SweepRun::endOf(Wait wait)
{
    switch (wait) {
    case Wait::Stopped:
        return End::Stopped;
    case Wait::Lost:
        return End::Lost;
    case Wait::NotTaken:
    case Wait::Taken:
        break;
    }
    return End::NotTaken;
}

SweepRun::End SweepRun::run(
    const sweep::Plan &plan, const Report &report, const std::function<bool()> &stopped)
{
    const std::vector<sweep::Step> steps = sweep::steps(plan);
    const int count = int(steps.size());
    if (count == 0)
        return End::Done;
    // The reference is the generator itself: its range follows from the
    // amplitude. The response starts there and then follows the last step.
    int range2 = sweep::rangeFor(plan.amplitudeMv / 1000.0);
    int range1 = range2;
    // Acquisition first, at the first step's settings: acquisition settings
    // raised before the sweep (on a tab left for the generator) are carried
    // out now rather than held through the generator's part of every step.
    // An exchange the device missed before (the link counts them from its
    // opening, and resends them) is not the sweep's: the count starts here.
    link.osc2chStart();
    link.setTimeBase(sweep::timeBaseFor(steps.front().playedHz));
    link.setGain(range1, range2);
    if (const Wait w = served(stopped); w == Wait::Stopped || w == Wait::Lost)
        return endOf(w);
    for (int index = 0; index < count; ++index) {
        const sweep::Step &step = steps[std::size_t(index)];
        const synthesis::Shape shape = synthesis::shapeOf(
            step.clock.tab, int(synthesis::Waveform::Sine), plan.amplitudeMv, 50, 0);
        table.edit([&](int *entries) { synthesis::synthesize(entries, shape); });
        // The generator first, on its own: a mode change raised with it
        // would supersede the generator's entry.
        link.genStart();
        link.setFreq(step.clock.period, step.clock.tab);
        link.sendGenChannel();
        if (const Wait w = served(stopped); w != Wait::Taken)
            return endOf(w);

        const int timeBase = sweep::timeBaseFor(step.playedHz);
        link.osc2chStart();
        link.setTimeBase(timeBase);
        link.setGain(range1, range2);
        if (const Wait w = served(stopped); w != Wait::Taken)
            return endOf(w);

        const auto unmeasured = [&](sweep::Reason reason) {
            sweep::Point p;
            p.hz = step.playedHz;
            p.range1 = range1;
            p.range2 = range2;
            p.timeBase = timeBase;
            p.reason = reason;
            return p;
        };
        std::optional<sweep::Point> kept; // a noisy first frame, waiting for its second
        std::optional<sweep::Point> point;
        for (int tries = 0; !point; ++tries) {
            if (tries == sweep::kMaxTries) {
                point = unmeasured(sweep::Reason::RangeUnsettled);
                break;
            }
            Frame frame;
            switch (nextFrame(frame, timeBase, stopped)) {
            case Next::Frame:
                break;
            case Next::Stopped:
                return End::Stopped;
            case Next::Lost:
                return End::Lost;
            case Next::Silent:
                report(unmeasured(sweep::Reason::NoFrame), index, count);
                return End::Silent;
            }
            const sweep::Verdict v
                = sweep::judge(frame.data(), range1, range2, timeBase, step.playedHz);
            switch (v.kind) {
            case sweep::Verdict::Kind::Retry:
                range1 = v.range1;
                range2 = v.range2;
                link.setGain(range1, range2);
                if (const Wait w = served(stopped); w != Wait::Taken)
                    return endOf(w);
                break;
            case sweep::Verdict::Kind::NotMeasured:
                point = v.point;
                break;
            case sweep::Verdict::Kind::Measured:
                if (kept)
                    point = sweep::combine(*kept, v.point);
                else if (v.noisy)
                    kept = v.point;
                else
                    point = v.point;
                break;
            }
        }
        report(*point, index, count);
    }
    return End::Done;
}
