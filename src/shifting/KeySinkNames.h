#pragma once

#include <QString>

// How the rider reads a key sink's name (KeySink::name()), in one table.
namespace KeySinkNames {

// Reads on from "through": "the desktop's remote-desktop portal".
QString described(const QString& name);
// As the setup check lists it: "uinput (a virtual keyboard)".
QString listed(const QString& name);

} // namespace KeySinkNames
