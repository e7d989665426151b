#pragma once

#include "ustawienia.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QWidget>

#include <memory>
#include <utility>

// The settings panel on a window of its own, with its controls at hand. The
// list of ports present is what the test gives (none unless told), not this
// machine's.
struct SettingsPanel {
    explicit SettingsPanel(Ustawienia::PortLister ports = [] { return std::vector<OfferedPort>{}; })
        : settings(std::make_unique<Ustawienia>(&window, std::move(ports)))
    {
    }

    QWidget window;
    std::unique_ptr<Ustawienia> settings;

    QComboBox *list() { return window.findChild<QComboBox *>(QString(), Qt::FindDirectChildrenOnly); }
    QComboBox *ports() { return window.findChild<QComboBox *>(QStringLiteral("portBox")); }
    QPlainTextEdit *editor() { return window.findChild<QPlainTextEdit *>(); }
    // The user picks entry index of the speed list.
    void choose(int index)
    {
        list()->setCurrentIndex(index);
        emit list()->activated(index);
    }
};
