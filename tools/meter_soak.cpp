// labbench-meter-soak: the window's meter recording for a while, offscreen,
// for scripts/soak-meter.sh: opens the port of the working directory's
// settings.txt, enters the "&Multimetr" tab, records every frame into FILE
// for SECONDS, then presses "Close port" (which ends the file) and quits.
#include "mainwindow.h"
#include "multimetr.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 2 || args.at(1).toDouble() <= 0) {
        std::fputs("usage: labbench-meter-soak FILE SECONDS\n", stderr);
        return 2;
    }
    MainWindow window;
    window.show();
    QPushButton *open = nullptr;
    for (QPushButton *button : window.findChildren<QPushButton *>()) {
        if (button->text() == QStringLiteral("Open port"))
            open = button;
    }
    if (!open) {
        std::fputs("no Open port button\n", stderr);
        return 1;
    }
    open->click();
    if (open->text() != QStringLiteral("Close port")) {
        std::fputs("the port did not open\n", stderr);
        return 1;
    }
    window.findChild<QTabWidget *>()->setCurrentIndex(5);
    window.findChild<QComboBox *>(QStringLiteral("meterIntervalCombo"))->setCurrentIndex(0);
    if (!window.findChild<Multimetr *>()->startRecording(args.at(0))) {
        std::fputs("cannot record\n", stderr);
        return 1;
    }
    const auto ms = static_cast<int>(args.at(1).toDouble() * 1000);
    QTimer::singleShot(ms, &window, [&] {
        open->click();
        app.quit();
    });
    return app.exec();
}
