#pragma once

#include <QList>
#include <QString>
#include <optional>

// A key Cogwise can type, identified by its macOS virtual key code: the code of a key's
// place on a US ANSI keyboard, which stays the key's identity in logs and stored settings
// whatever a key sink maps it to. Only the keys of the catalogue exist.
class VirtualKey
{
public:
    struct Info
    {
        quint16 code;
        // The stored form: the X keysym name of the character the key types on a US layout,
        // which the XTest sink also looks up.
        const char* name;
        // As shown to the rider.
        const char* label;
        // Qt's key combined with Qt::KeypadModifier for keypad keys.
        int qtKey;
    };

    static VirtualKey period() { return VirtualKey(47); }
    static VirtualKey comma() { return VirtualKey(43); }

    // Every key a rider may pick, in the order shown.
    static const QList<Info>& catalogue();
    static std::optional<VirtualKey> fromCode(quint16 code);
    static std::optional<VirtualKey> fromName(const QString& name);
    // The key stored as `name` for earlier versions with `exactName` beside it. An exact name
    // that no longer goes with `name` is ignored: an earlier version changed the key since.
    static std::optional<VirtualKey> fromStoredNames(const QString& name, const QString& exactName);
    // The key Qt reports for a press in the window, combined with its modifiers; of those only
    // the keypad's is part of a key.
    static std::optional<VirtualKey> fromQtKey(int qtKey);

    quint16 code() const { return m_code; }
    QString name() const;
    QString label() const;
    bool isOnKeypad() const;
    // The stored name versions before the keypad keys read: the key's own where they know it,
    // else the main-row key typing the same character, else empty (they press nothing).
    QString nameForEarlierVersions() const;

    bool operator==(const VirtualKey&) const = default;

private:
    explicit VirtualKey(quint16 code)
        : m_code(code)
    {}
    const Info& info() const;

    quint16 m_code;
};
