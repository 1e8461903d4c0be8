#pragma once

#include "shifting/KeyTypingSetup.h"

#include <QProcessEnvironment>
#include <QStringList>

// Reads the facts of KeyTypingSetup from this machine: the environment for the session and the
// display, the uinput device, sysfs, Cogwise's udev rule, the group database, the X display
// with its XTEST extension and layout, and /etc/default/keyboard when there is no display.
class KeyTypingInspector final : public KeyTypingSetup
{
public:
    struct Places
    {
        QString uinputDevice;
        QString sysfs;
        // Searched in order, as udev lets /etc override /usr/lib.
        QStringList udevRules;
        QString keyboardDefaults;

        static Places system();
    };

    KeyTypingInspector();
    KeyTypingInspector(Places places, QProcessEnvironment environment);

    Facts inspect(const QList<VirtualKey>& keys, KeyMatching matching) override;

    static Session sessionOf(const QProcessEnvironment& environment);

private:
    Uinput inspectUinput() const;
    Layout layoutFromDefaults() const;

    Places m_places;
    QProcessEnvironment m_environment;
};
