#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>
#include <chrono>

class Defaults;
class KeyDestinationSwitch;

// Settings → Keys: whether keys are typed on this computer or sent to a device paired with
// Cogwise's Bluetooth keyboard, and that keyboard's devices, pairing and adapter.
class KeyDestinationViewModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Built by the application")
    // False when the environment fixes the key sink: there is nothing to choose.
    Q_PROPERTY(bool available READ available CONSTANT)
    Q_PROPERTY(QStringList destinationNames READ destinationNames CONSTANT)
    // 0: this computer, 1: a device paired over Bluetooth.
    Q_PROPERTY(int destinationIndex READ destinationIndex WRITE setDestinationIndex NOTIFY destinationChanged)
    Q_PROPERTY(bool toDevice READ toDevice NOTIFY destinationChanged)
    // Each {path, name, connected}.
    Q_PROPERTY(QVariantList hosts READ hosts NOTIFY hostsChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool pairingOpen READ pairingOpen NOTIFY pairingChanged)
    Q_PROPERTY(int pairingSecondsLeft READ pairingSecondsLeft NOTIFY pairingChanged)
    Q_PROPERTY(QStringList adapters READ adapters NOTIFY adaptersChanged)
    Q_PROPERTY(int adapterIndex READ adapterIndex WRITE setAdapterIndex NOTIFY adaptersChanged)

public:
    // How often the pairing countdown is read again.
    static constexpr auto countdownTick = std::chrono::milliseconds{250};

    // `keys` is null when the sink cannot switch.
    KeyDestinationViewModel(KeyDestinationSwitch* keys, Defaults& defaults, QObject* parent = nullptr);

    bool available() const { return m_keys != nullptr; }
    QStringList destinationNames() const;
    int destinationIndex() const;
    void setDestinationIndex(int index);
    bool toDevice() const { return destinationIndex() == 1; }
    QVariantList hosts() const { return m_hosts; }
    QString status() const { return m_status; }
    bool pairingOpen() const { return m_pairingOpen; }
    int pairingSecondsLeft() const { return m_pairingSecondsLeft; }
    QStringList adapters() const { return m_adapters; }
    int adapterIndex() const;
    void setAdapterIndex(int index);

    // Devices may pair for about two minutes.
    Q_INVOKABLE void pair();
    Q_INVOKABLE void stopPairing();
    // The window has asked the rider first.
    Q_INVOKABLE void forget(const QString& hostPath);

Q_SIGNALS:
    void destinationChanged();
    void hostsChanged();
    void statusChanged();
    void pairingChanged();
    void adaptersChanged();

private:
    void readHosts();
    void readStatus();
    void readPairing();

    KeyDestinationSwitch* m_keys;
    Defaults& m_defaults; // keysTo and keyboardAdapter
    QVariantList m_hosts;
    QString m_status;
    bool m_pairingOpen = false;
    int m_pairingSecondsLeft = 0;
    QStringList m_adapters;
    QString m_adapter;
    QTimer m_countdown;
};
