#include "platform/Defaults.h"

#include "platform/AppIdentity.h"
#include "platform/SettingsKeys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

// The rider's file alone: the fallback files native QSettings would also read (the organization's,
// the system's) are never written by Cogwise, and their values would go unchecked.
Defaults::Defaults()
    : Defaults(riderFileName())
{}

Defaults::Defaults(const QString& iniFilePath)
    : m_settings(checkedFile(iniFilePath), QSettings::IniFormat)
{
    preserveIfUnreadable();
    preserveDamagedValues();
    for (const VariantValueCheck::Refused& value : std::as_const(m_refusedValues))
        m_loadedTexts.insert(value.key, value.text);
}

QString Defaults::riderFileName()
{
    const QString name = AppIdentity::applicationName();
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, name, name).fileName();
}

QString Defaults::checkedFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return path;
    const QByteArray original = file.readAll();
    file.close();
    const QByteArray checked = VariantValueCheck::checked(original, &m_refusedValues);
    if (m_refusedValues.isEmpty())
        return path;
    // A kept text holds replacement characters for bytes that are not UTF-8: the bytes
    // themselves stay in a copy of the file as it was.
    if (!isUtf8(original))
        keepUnreadableCopy(path);
    QSaveFile out(path);
    m_fileLeftUnread =
        !(out.open(QIODevice::WriteOnly) && out.write(checked) == checked.size() && out.commit());
    return m_fileLeftUnread ? QString() : path;
}

bool Defaults::isUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    [[maybe_unused]] const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

void Defaults::keepUnreadableCopy(const QString& path)
{
    const QString copy = path + QStringLiteral(".unreadable");
    QFile::remove(copy);
    if (QFile::copy(path, copy))
        m_preservedUnreadableFile = copy;
}

std::unique_ptr<Defaults> Defaults::simulationCopy()
{
    const QString name = AppIdentity::applicationName();
    const QFileInfo riderFile(riderFileName());
    const QString copy = riderFile.absoluteDir().filePath(name + QStringLiteral("-simulated.conf"));
    QDir().mkpath(riderFile.absolutePath());
    QFile::remove(copy);
    const bool copied = riderFile.exists() && QFile::copy(riderFile.filePath(), copy);
    if (copied)
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    auto settings = std::make_unique<Defaults>(copy);
    // The rider's unit is not the simulated one: the simulation starts without a unit of its own.
    if (copied)
        settings->remove(SettingsKeys::lastConnectedDeviceUUID());
    return settings;
}

void Defaults::preserveIfUnreadable()
{
    m_settings.allKeys(); // parses the file, so that status() tells how that went
    // Kept already, as it was before the check rewrote it.
    if (m_preservedUnreadableFile)
        return;
    // Bytes that are not UTF-8 read as replacement characters, which the next write would
    // store in their place.
    bool utf8 = true;
    if (QFile file(m_settings.fileName()); file.open(QIODevice::ReadOnly))
        utf8 = isUtf8(file.readAll());
    // The next write would replace the file with what could be read of it.
    if (m_settings.status() == QSettings::FormatError || !utf8)
        keepUnreadableCopy(m_settings.fileName());
}

void Defaults::preserveDamagedValues()
{
    m_loadedTexts = readFileTexts();
    const QString suffix = QStringLiteral(".corrupt");
    QStringList damaged;
    for (const QString& key : m_settings.allKeys()) {
        if (!m_settings.value(key).isValid() && !key.endsWith(suffix) && !m_settings.contains(key + suffix) &&
            m_loadedTexts.contains(key))
            damaged.append(key);
    }
    for (const QString& key : damaged) {
        write(key + suffix, m_loadedTexts.value(key));
        m_preservedDamagedValues.append(key);
    }
}

QHash<QString, QString> Defaults::readFileTexts() const
{
    QHash<QString, QString> texts;
    QFile file(m_settings.fileName());
    if (!file.open(QIODevice::ReadOnly))
        return texts;
    // Keys without a group are written under [General], or before any group.
    bool inGeneral = true;
    for (const QByteArray& rawLine : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            inGeneral = line.compare(QLatin1String("[General]"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inGeneral && equals > 0)
            texts.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    return texts;
}

bool Defaults::contains(const QString& key) const
{
    return m_settings.contains(key);
}

std::optional<QString> Defaults::fileText(const QString& key) const
{
    const auto loaded = m_loadedTexts.constFind(key);
    if (loaded != m_loadedTexts.cend())
        return *loaded;
    const QHash<QString, QString> current = readFileTexts();
    const auto found = current.constFind(key);
    return found == current.cend() ? std::nullopt : std::optional(*found);
}

bool Defaults::boolValue(const QString& key) const
{
    const QVariant value = m_settings.value(key);
    if (value.typeId() != QMetaType::QString)
        return value.toBool();
    // Text files hold every value as text; anything but a clear yes reads as false.
    const QString text = value.toString().trimmed().toLower();
    bool isNumber = false;
    const qint64 number = text.toLongLong(&isNumber);
    return isNumber ? number != 0 : (text == QLatin1String("true") || text == QLatin1String("yes"));
}

qint64 Defaults::integerValue(const QString& key) const
{
    return m_settings.value(key).toLongLong();
}

std::optional<QString> Defaults::stringValue(const QString& key) const
{
    const QVariant value = m_settings.value(key);
    if (!value.isValid())
        return std::nullopt;
    return value.toString();
}

std::optional<QByteArray> Defaults::dataValue(const QString& key) const
{
    const QVariant value = m_settings.value(key);
    if (value.typeId() != QMetaType::QByteArray && value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toByteArray();
}

void Defaults::setBool(const QString& key, bool value)
{
    write(key, value);
}

void Defaults::setInteger(const QString& key, qint64 value)
{
    write(key, value);
}

void Defaults::setString(const QString& key, const QString& value)
{
    write(key, value);
}

void Defaults::setData(const QString& key, const QByteArray& value)
{
    write(key, value);
}

void Defaults::remove(const QString& key)
{
    m_loadedTexts.remove(key);
    m_settings.remove(key);
    m_settings.sync();
    m_lastWriteSucceeded = m_settings.status() != QSettings::AccessError;
}

void Defaults::write(const QString& key, const QVariant& value)
{
    m_loadedTexts.remove(key);
    m_settings.setValue(key, value);
    m_settings.sync();
    // A format error found while reading stays in status(); only an access error means the write failed.
    m_lastWriteSucceeded = m_settings.status() != QSettings::AccessError;
}
