#pragma once

#include "platform/VariantValueCheck.h"

#include <QHash>
#include <QSettings>
#include <memory>
#include <optional>

// The application's persistent key-value settings: QSettings on its native file
// ($XDG_CONFIG_HOME/Cogwise/Cogwise.conf), in INI format. Every holder shares one instance.
// Absent keys read as false, 0 or nothing. Each write reaches the disk at once.
class Defaults
{
public:
    Defaults();
    // A settings file of its own, in INI format (tests, tools).
    explicit Defaults(const QString& iniFilePath);
    // A simulated session's settings: a fresh copy of the rider's file beside it, without the
    // rider's unit, so that what the simulation saves (its unit as the rider's, say) never
    // reaches a real session.
    static std::unique_ptr<Defaults> simulationCopy();
    Defaults(const Defaults&) = delete;
    Defaults& operator=(const Defaults&) = delete;

    // Whether the file holds the key, readable or not.
    bool contains(const QString& key) const;
    bool boolValue(const QString& key) const;
    qint64 integerValue(const QString& key) const;
    std::optional<QString> stringValue(const QString& key) const;
    // Nothing when absent, or when the stored value is neither bytes nor text (a list, say).
    std::optional<QByteArray> dataValue(const QString& key) const;
    // The value as the file spells it, after "key=": what is kept of a value that cannot be
    // read. Nothing when the file has no such line.
    std::optional<QString> fileText(const QString& key) const;

    void setBool(const QString& key, bool value);
    void setInteger(const QString& key, qint64 value);
    void setString(const QString& key, const QString& value);
    void setData(const QString& key, const QByteArray& value);
    void remove(const QString& key);

    QString fileName() const { return m_settings.fileName(); }
    // Where an unreadable settings file (one QSettings cannot parse, or with bytes that are not
    // UTF-8) was copied before it could be overwritten.
    const std::optional<QString>& preservedUnreadableFile() const { return m_preservedUnreadableFile; }
    // Keys whose values could not be decoded at all (a damaged "@Variant(…)"): the next write
    // would replace them by "@Invalid()", so their text was kept under "<key>.corrupt" first.
    const QStringList& preservedDamagedValues() const { return m_preservedDamagedValues; }
    // Values refused before QSettings read the file, as their stream declares more than it holds
    // or a type it cannot bound: each reads as damaged, its text kept under a key of its own.
    const QList<VariantValueCheck::Refused>& refusedValues() const { return m_refusedValues; }
    // A refused value could not be set aside (the file could not be rewritten): the file was then
    // left unread and untouched, and every value reads as absent; nothing written reaches it.
    bool fileLeftUnread() const { return m_fileLeftUnread; }
    // The outcome of the last write: false when it did not reach the disk.
    bool lastWriteSucceeded() const { return m_lastWriteSucceeded; }

private:
    static QString riderFileName();
    // The file QSettings may read: the path once its values are checked, or none.
    QString checkedFile(const QString& path);
    static bool isUtf8(const QByteArray& bytes);
    void keepUnreadableCopy(const QString& path);
    void preserveIfUnreadable();
    void preserveDamagedValues();
    QHash<QString, QString> readFileTexts() const;
    void write(const QString& key, const QVariant& value);

    // Filled before m_settings reads the file.
    QList<VariantValueCheck::Refused> m_refusedValues;
    bool m_fileLeftUnread = false;
    std::optional<QString> m_preservedUnreadableFile;
    QSettings m_settings;
    QStringList m_preservedDamagedValues;
    // Each value as the file spelled it when loaded; a key leaves when it is written, as the
    // file then spells it anew. The first write rewrites every line in the settings syntax.
    QHash<QString, QString> m_loadedTexts;
    bool m_lastWriteSucceeded = true;
};
