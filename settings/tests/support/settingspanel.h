#pragma once

#include "ustawienia.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QWidget>

#include <memory>

// The settings panel on a window of its own, with its two controls at hand.
struct SettingsPanel {
    QWidget window;
    std::unique_ptr<Ustawienia> settings{std::make_unique<Ustawienia>(&window)};

    QComboBox *list() { return window.findChild<QComboBox *>(); }
    QPlainTextEdit *editor() { return window.findChild<QPlainTextEdit *>(); }
    // The user picks entry index of the speed list.
    void choose(int index)
    {
        list()->setCurrentIndex(index);
        emit list()->activated(index);
    }
};
