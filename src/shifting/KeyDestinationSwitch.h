#pragma once

#include "shifting/RemoteKeySink.h"

#include <functional>
#include <memory>
#include <optional>

// Where keys go, chosen while Cogwise runs: this computer's windows, or a device paired with
// Cogwise's Bluetooth keyboard. Every call goes to the sink in use. The keyboard exists only
// while it is chosen, so that it stops announcing itself when it is not; this computer's sink is
// built when first needed and kept, for the desktop's consent it may hold.
class KeyDestinationSwitch final : public RemoteKeySink
{
    Q_OBJECT

public:
    enum class Target { thisComputer, pairedDevice };

    struct Makers
    {
        std::function<std::unique_ptr<KeySink>()> thisComputer;
        // The keyboard on that adapter ("hci1"; empty: the first).
        std::function<std::unique_ptr<RemoteKeySink>(const QString& adapter)> keyboard;
    };

    KeyDestinationSwitch(Makers makers, Target target, QString adapter = {});
    ~KeyDestinationSwitch() override;

    Target target() const { return m_target; }
    // Keys pressed and not yet released are released where they went, so that no key sticks
    // and none is typed twice.
    void setTarget(Target target);
    QString keyboardAdapter() const { return m_adapter; }
    // A keyboard in use starts again on that adapter.
    void setKeyboardAdapter(const QString& adapter);

    QString name() const override { return active().name(); }
    std::optional<QString> unavailableReason() const override { return active().unavailableReason(); }
    QString destination() const override { return active().destination(); }
    bool post(VirtualKey key, KeyDirection direction) override;
    KeyMatching defaultKeyMatching() const override { return active().defaultKeyMatching(); }
    Consent consent() const override { return active().consent(); }
    void askConsent() override { active().askConsent(); }
    bool canAskAgain() const override { return active().canAskAgain(); }

    bool sendsToDevice() const override { return m_keyboard != nullptr; }
    bool ready() const override { return m_keyboard && m_keyboard->ready(); }
    QString status() const override { return m_keyboard ? m_keyboard->status() : QString(); }
    QList<Host> hosts() const override { return m_keyboard ? m_keyboard->hosts() : QList<Host>(); }
    QString adapter() const override { return m_keyboard ? m_keyboard->adapter() : m_adapter; }
    QStringList adapters() const override { return m_keyboard ? m_keyboard->adapters() : QStringList(); }
    QStringList adapterRoles() const override
    {
        return m_keyboard ? m_keyboard->adapterRoles() : QStringList();
    }
    void openPairing(std::chrono::seconds duration = std::chrono::seconds{120}) override;
    void closePairing() override;
    bool pairingOpen() const override { return m_keyboard && m_keyboard->pairingOpen(); }
    int pairingSecondsLeft() const override { return m_keyboard ? m_keyboard->pairingSecondsLeft() : 0; }
    void forget(const QString& hostPath) override;
    void setBatteryLevel(int percent) override;

protected:
    std::optional<QString> prepareKeyMatching(KeyMatching matching) override;

private:
    KeySink& active() const;
    void makeKeyboard();
    void releaseHeldKeys();
    // The new sink matches keys as the rider chose, and this one reports how it does.
    void adoptKeyMatching();

    Makers m_makers;
    Target m_target;
    QString m_adapter;
    std::unique_ptr<KeySink> m_thisComputer;
    std::unique_ptr<RemoteKeySink> m_keyboard;
    std::optional<KeyMatching> m_wantedMatching;
    bool m_adopting = false;
    std::optional<int> m_batteryLevel; // percent, the rider's unit's
    QList<VirtualKey> m_held;          // down on the sink in use
    QList<VirtualKey> m_released;      // released at a switch; their own release is dropped
};
