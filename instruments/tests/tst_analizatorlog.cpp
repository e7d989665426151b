#include "analizatorlog.h"

#include <QComboBox>
#include <QLabel>
#include <QtTest>

namespace {

struct Front {
    QWidget window;
    AnalizatorLog panel { &window };
    QComboBox *timeBox = window.findChild<QComboBox *>("timeBox");
    QLabel *valueLabel = window.findChild<QLabel *>("valueLabel");
};

} // namespace

class TestAnalizatorLog : public QObject {
    Q_OBJECT

private slots:
    void freshPanelShowsInitialTextsGreyedOut();
    void anyChoiceSetsValueTwo_data();
    void anyChoiceSetsValueTwo();
    void showHideAndEnable();
    void startLeavesEverythingAsItWas();
};

void TestAnalizatorLog::freshPanelShowsInitialTextsGreyedOut()
{
    Front f;
    QVERIFY(f.timeBox && f.valueLabel);
    const QStringList times { "10Hz/dz", "25Hz/dz", "50Hz/dz", "100Hz/dz", "250Hz/dz", "500Hz/dz",
        "1kHz/dz", "2kHz/dz", "5kHz/dz", "10kHz/dz", "25kHz/dz", "50kHz/dz", "62.5kHz/dz" };
    QCOMPARE(f.timeBox->count(), times.size());
    for (int i = 0; i < times.size(); ++i)
        QCOMPARE(f.timeBox->itemText(i), times[i]);
    QCOMPARE(f.timeBox->currentText(), QStringLiteral("2kHz/dz"));
    QCOMPARE(f.valueLabel->text(), QStringLiteral("Value: 0"));
    QVERIFY(!f.timeBox->isEnabled());
    QVERIFY(!f.valueLabel->isEnabled());
    QVERIFY(f.timeBox->isHidden());
    QVERIFY(f.valueLabel->isHidden());
    QVERIFY(!f.panel.parent());
}

void TestAnalizatorLog::anyChoiceSetsValueTwo_data()
{
    QTest::addColumn<int>("row");
    QTest::newRow("first row") << 0;
    QTest::newRow("the current row again") << 7;
    QTest::newRow("last row") << 12;
}

void TestAnalizatorLog::anyChoiceSetsValueTwo()
{
    QFETCH(int, row);
    Front f;
    f.timeBox->setCurrentIndex(row);
    QCOMPARE(f.valueLabel->text(), QStringLiteral("Value: 0")); // not the user's choice
    emit f.timeBox->activated(row);
    QCOMPARE(f.valueLabel->text(), QStringLiteral("Value: 2"));
    emit f.timeBox->activated(3);
    QCOMPARE(f.valueLabel->text(), QStringLiteral("Value: 2"));
    QCOMPARE(f.timeBox->currentIndex(), row);
}

void TestAnalizatorLog::showHideAndEnable()
{
    Front f;
    f.window.show();
    f.panel.show();
    QVERIFY(f.timeBox->isVisible());
    QVERIFY(f.valueLabel->isVisible());
    QVERIFY(!f.panel.isVisible());
    f.panel.hide();
    QVERIFY(!f.timeBox->isVisible());
    QVERIFY(!f.valueLabel->isVisible());
    f.panel.enable();
    QVERIFY(f.timeBox->isEnabled());
    QVERIFY(f.valueLabel->isEnabled());
}

void TestAnalizatorLog::startLeavesEverythingAsItWas()
{
    Front f;
    f.panel.start();
    QCOMPARE(f.valueLabel->text(), QStringLiteral("Value: 0"));
    QCOMPARE(f.timeBox->currentIndex(), 7);
    QVERIFY(!f.timeBox->isEnabled());
}

QTEST_MAIN(TestAnalizatorLog)
#include "tst_analizatorlog.moc"
