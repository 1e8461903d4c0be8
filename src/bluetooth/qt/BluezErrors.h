#pragma once

#include "bluetooth/BleCentral.h"

#include <QString>

// What a failed connection attempt means, from BlueZ's error name and message (Qt keeps
// only "UnknownError"), and the sentences the rider reads.
namespace BluezErrors {

struct Meaning
{
    BleConnectFailure failure;
    QString sentence;
};

Meaning ofConnectError(const QString& errorName, const QString& message, const QString& deviceName);

QString notAnswering(const QString& deviceName);
QString busy();
QString bluetoothOff();
QString serviceStopped();
QString couldNotConnect(const QString& deviceName);

} // namespace BluezErrors
