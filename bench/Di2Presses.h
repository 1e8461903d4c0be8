#pragma once

#include <QByteArray>
#include <QString>
#include <array>

// Channel packets of the unit in which one counter grows by one: one press of that button.
// A packet is a byte Cogwise does not check, then the four buttons' counters. Counters do
// not wrap here (Cogwise takes a wrap for no press): at most 255 presses of a button after
// standing().
class Di2Presses
{
public:
    // The counters as they stand (all zero): what a subscriber takes as its baseline.
    QByteArray standing()
    {
        m_counters = {};
        return packet();
    }

    // Button 1 or 2.
    QByteArray press(int button)
    {
        ++m_counters.at(button - 1);
        return packet();
    }

    // What the default mapping types for the button: 1 shifts down, 2 shifts up.
    static QString keyOf(int button)
    {
        return button == 1 ? QStringLiteral("comma") : QStringLiteral("period");
    }

private:
    QByteArray packet()
    {
        ++m_sequence;
        const char bytes[] = {char(m_sequence), char(m_counters[0]), char(m_counters[1]), char(m_counters[2]),
                              char(m_counters[3])};
        return QByteArray(bytes, sizeof bytes);
    }

    std::array<quint8, 4> m_counters{};
    quint8 m_sequence = 0;
};
