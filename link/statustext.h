#pragma once

#include <QString>

#include <mutex>

// The status line's text: written by the worker and the GUI thread, shown by
// the main window's timer.
class StatusText {
public:
    void set(const QString &text);
    QString get() const;

private:
    mutable std::mutex mutex;
    QString text;
};
