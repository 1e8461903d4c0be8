#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// A decoded 5-byte channel packet: one 8-bit press counter per shifter button.
struct Di2Channel
{
    static constexpr int buttonCount = 4;

    quint8 checksum = 0; // never verified
    quint8 button1Value = 0;
    quint8 button2Value = 0;
    quint8 button3Value = 0;
    quint8 button4Value = 0;
    QByteArray raw;
    QDateTime timestamp; // when the packet was decoded

    // Counter of button 1..4.
    quint8 buttonValue(int button) const;

    // The buttons, ascending, whose counter grew since `previous`. Writes the
    // press entries to the debug log and the per-button lines to the Logger.
    QList<int> detectButtonPresses(const Di2Channel& previous) const;

    QString logDescription() const;
    QString description() const;
    // "Button 1, Button 3 pressed"; empty for an empty list.
    static QString activityDescription(const QList<int>& pressedButtons);

    bool operator==(const Di2Channel&) const = default;
};
