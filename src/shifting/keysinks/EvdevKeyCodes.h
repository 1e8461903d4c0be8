#pragma once

#include "shifting/VirtualKey.h"

#include <QList>
#include <optional>

// The Linux input event code of each catalogue key: its place on a US keyboard.
namespace EvdevKeyCodes {

quint16 of(VirtualKey key);
// The catalogue key at that place on a US keyboard; nothing for a key the catalogue lacks.
std::optional<VirtualKey> keyAt(quint16 code);
// Every code a catalogue key may send, and Shift, for a virtual keyboard to announce.
const QList<quint16>& all();
// X servers on Linux number their keys as the kernel does, 8 higher.
inline constexpr unsigned evdevToXKeycode = 8;

} // namespace EvdevKeyCodes
