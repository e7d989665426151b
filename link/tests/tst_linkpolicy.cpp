#include "frametiming.h"
#include "linkpolicy.h"

#include <QTest>

// The worker's limits and resends, without a line: what the device needs
// at each speed, and which unanswered exchange goes out again when.
class TestLinkPolicy : public QObject {
    Q_OBJECT

private slots:
    // An exchange may wait behind a frame the device is sending at its
    // slowest time base: at 19200 bit/s the frame's 2050 bytes alone take
    // more than a second, and a limit without them gives up on a healthy
    // device.
    void anExchangeOutlastsTheSlowestFrame_data()
    {
        QTest::addColumn<int>("speed");
        for (const int speed : { 19200, 38400, 57600, 115200, 230400, 2500000 })
            QTest::newRow(qPrintable(QString::number(speed))) << speed;
    }

    void anExchangeOutlastsTheSlowestFrame()
    {
        QFETCH(int, speed);
        const auto times = LinkPolicy::Times::forSpeed(speed, 3000);
        const int sampling = frametiming::frameMs(frametiming::kSlowestCode, 1'000'000'000);
        const int transfer = frametiming::transferMs(frametiming::kFrameBytes, speed);
        QVERIFY2(times.exchangeMs > sampling + transfer + 500,
            qPrintable(QStringLiteral("%1 ms for %2 + %3")
                           .arg(times.exchangeMs)
                           .arg(sampling)
                           .arg(transfer)));
        QVERIFY(times.uploadMs >= frametiming::transferMs(1024, speed));
    }

    // An unanswered exchange goes out again only after a pass without one,
    // at most kResends times; a new request of its kind starts afresh.
    void resendsAreHeldThenReleasedAndBounded()
    {
        LinkPolicy policy(LinkPolicy::Times::forSpeed(115200, 3000));
        int sent = 0;
        for (int i = 0; i < 10; ++i) {
            policy.finished(Exchange::TimeBase, false, true);
            QVERIFY(!policy.takeResend(Exchange::TimeBase)); // held until a frame
            policy.release();
            if (!policy.takeResend(Exchange::TimeBase))
                break;
            ++sent;
        }
        QCOMPARE(sent, LinkPolicy::kResends);
        QVERIFY(policy.deviceSilent());
        policy.supersede(Exchange::TimeBase);
        policy.finished(Exchange::TimeBase, false, true);
        policy.release();
        QVERIFY(policy.takeResend(Exchange::TimeBase));
    }

    // A wrong echo is an answer: not repeated, and the device is not silent.
    void aWrongEchoIsNotResent()
    {
        LinkPolicy policy(LinkPolicy::Times::forSpeed(115200, 3000));
        policy.finished(Exchange::Gain, false, false);
        policy.release();
        QVERIFY(!policy.takeResend(Exchange::Gain));
        QVERIFY(!policy.deviceSilent());
    }

    // Leaving a mode drops what was to be resent for it: a generator entry
    // resent after a move to acquisition would switch the device back.
    void leavingAModeDropsItsResends_data()
    {
        QTest::addColumn<bool>("toGenerator");
        QTest::addColumn<int>("dropped");
        QTest::addColumn<int>("kept");
        QTest::newRow("to acquisition")
            << false << int(Exchange::Generator) << int(Exchange::TimeBase);
        QTest::newRow("to the generator") << true << int(Exchange::Channel) << int(Exchange::Table);
    }

    void leavingAModeDropsItsResends()
    {
        QFETCH(bool, toGenerator);
        QFETCH(int, dropped);
        QFETCH(int, kept);
        LinkPolicy policy(LinkPolicy::Times::forSpeed(115200, 3000));
        policy.finished(Exchange(dropped), false, true);
        policy.finished(Exchange(kept), false, true);
        if (toGenerator)
            policy.leftAcquisition();
        else
            policy.leftGenerator();
        policy.release();
        QVERIFY(!policy.takeResend(Exchange(dropped)));
        QVERIFY(policy.takeResend(Exchange(kept)));
    }

    // The worker's own initiative on a quiet line is bounded as resends are.
    void theInitiativeIsBounded()
    {
        LinkPolicy policy(LinkPolicy::Times::forSpeed(115200, 3000));
        int tries = 0;
        for (int i = 0; i < 10; ++i) {
            policy.initiate(Exchange::Channel);
            if (!policy.takeResend(Exchange::Channel))
                break;
            ++tries;
            policy.finished(Exchange::Channel, false, true);
            policy.release();
            if (policy.takeResend(Exchange::Channel))
                ++tries;
        }
        QVERIFY2(tries <= LinkPolicy::kResends, qPrintable(QString::number(tries)));
        QVERIFY(tries >= 1);
    }
};

QTEST_GUILESS_MAIN(TestLinkPolicy)
#include "tst_linkpolicy.moc"
