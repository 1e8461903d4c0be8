#pragma once

#include <QByteArray>
#include <QProcess>
#include <QSize>
#include <QString>

// A private X server for one test: Xvfb on a display number it picks itself.
class XvfbServer
{
public:
    XvfbServer() = default;
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    static bool isInstalled();
    // Returns once the server accepts connections; an error text otherwise. `arguments` go to
    // Xvfb as well ("-extension", "XTEST" leaves that extension out).
    std::optional<QString> start(QSize screen = QSize(320, 240), const QStringList& arguments = {});
    QByteArray displayName() const { return m_displayName; }
    // Gives the keys at these X key codes new keysyms (plain, shifted), as another keyboard
    // layout would: {29, {"z", "Z"}} makes the key at the US Y type a "z".
    bool remapKeys(const QList<QPair<unsigned, QList<QByteArray>>>& keys) const;
    // As a German layout does: Y and Z trade places, "/" is Shift+7.
    bool useGermanKeys() const
    {
        return remapKeys(
            {{29, {"z", "Z"}}, {52, {"y", "Y"}}, {16, {"7", "slash"}}, {61, {"minus", "underscore"}}});
    }
    // Locks or unlocks Num Lock, as its key would: keypad digits or their arrows.
    bool setNumLock(bool on) const;

private:
    QProcess m_process;
    QByteArray m_displayName;
};
