#include "mainwindow.h"
#include "startfolder.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    // Before anything else: no window, no display, no settings.txt.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("labbench " LABBENCH_VERSION "\n", stdout);
            return 0;
        }
    }
    // Started by the Start-menu entry, into the folder settings.txt is kept in.
    startfolder::enter(startfolder::roamingFolder());
    QApplication app(argc, argv);
    int result = 0;
    {
        MainWindow window;
        window.show();
        window.update();
        result = app.exec();
    }
    return result;
}
