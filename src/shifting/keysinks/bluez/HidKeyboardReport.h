#pragma once

#include "shifting/VirtualKey.h"

#include <QByteArray>
#include <optional>

// What a Bluetooth keyboard sends: HID keyboard reports, described by one report map.
namespace HidKeyboardReport {

// Report ID 1: modifiers, a reserved byte, six key slots; the LED output is left out.
const QByteArray& reportMap();
constexpr quint8 inputReportId = 1;
constexpr int reportLength = 8;

struct Stroke
{
    quint8 usage = 0;     // keyboard page (0x07): the key's position, not its character
    quint8 modifiers = 0; // bit 1: left Shift
};

// The usage at the key's place on a US keyboard, Shift added where that layout needs it for the
// key's character; nothing for a key without a usage.
std::optional<Stroke> strokeOf(VirtualKey key);

// The report of the key held (in the first slot, where every host looks), or of no key held.
QByteArray pressed(Stroke stroke);
QByteArray released();

} // namespace HidKeyboardReport
