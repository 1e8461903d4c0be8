#pragma once

#include "shifting/VirtualKey.h"

#include <QList>

// The Linux input event code of each catalogue key: its place on a US keyboard.
namespace EvdevKeyCodes {

quint16 of(VirtualKey key);
// Every code a catalogue key may send, and Shift, for a virtual keyboard to announce.
const QList<quint16>& all();

} // namespace EvdevKeyCodes
