#pragma once

#include <QSettings>
#include <optional>

// The application's persistent key-value settings: QSettings in its native format
// (on Linux $XDG_CONFIG_HOME/Cogwise/Cogwise.conf). Every holder shares one instance.
// Absent keys read as false, 0 or nothing. Each write reaches the disk at once.
class Defaults
{
public:
    Defaults();
    // A settings file of its own, in INI format (tests, tools).
    explicit Defaults(const QString& iniFilePath);
    Defaults(const Defaults&) = delete;
    Defaults& operator=(const Defaults&) = delete;

    bool boolValue(const QString& key) const;
    qint64 integerValue(const QString& key) const;
    std::optional<QString> stringValue(const QString& key) const;
    std::optional<QByteArray> dataValue(const QString& key) const;

    void setBool(const QString& key, bool value);
    void setInteger(const QString& key, qint64 value);
    void setString(const QString& key, const QString& value);
    void setData(const QString& key, const QByteArray& value);
    void remove(const QString& key);

    QString fileName() const { return m_settings.fileName(); }
    // Where an unreadable settings file was copied before it could be overwritten.
    const std::optional<QString>& preservedUnreadableFile() const { return m_preservedUnreadableFile; }
    // The outcome of the last write: false when it did not reach the disk.
    bool lastWriteSucceeded() const { return m_lastWriteSucceeded; }

private:
    void preserveIfUnreadable();
    void write(const QString& key, const QVariant& value);

    QSettings m_settings;
    std::optional<QString> m_preservedUnreadableFile;
    bool m_lastWriteSucceeded = true;
};
