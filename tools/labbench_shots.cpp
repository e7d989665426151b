// Screenshots of every tab of labbench, taken offscreen after pressing
// "Open port" with the settings.txt of the working directory, for the README
// and for machines without a display.
#include "mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    const int settleMs = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 1500;
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(out));
        return 1;
    }

    MainWindow window;
    window.resize(window.minimumSize());
    window.show();
    auto *tabs = window.findChild<QTabWidget *>();
    for (QPushButton *button : window.findChildren<QPushButton *>()) {
        if (button->text() == QStringLiteral("Open port"))
            button->click();
    }

    const char *const names[] = {"oscyloskop", "generator", "analizator", "analizator-log",
                                 "wobuloskop", "multimetr", "ustawienia"};
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        QTest::qWait(settleMs);
        const QString file = QDir(out).filePath(QStringLiteral("%1.png").arg(QLatin1String(names[tab])));
        if (!window.grab().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
        std::printf("%s\n", qPrintable(file));
    }
    return 0;
}
