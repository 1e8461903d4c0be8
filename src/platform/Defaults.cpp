#include "platform/Defaults.h"

#include "platform/AppIdentity.h"

#include <QFile>

Defaults::Defaults()
    : m_settings(QSettings::NativeFormat, QSettings::UserScope, AppIdentity::applicationName(),
                 AppIdentity::applicationName())
{
    preserveIfUnreadable();
}

Defaults::Defaults(const QString& iniFilePath)
    : m_settings(iniFilePath, QSettings::IniFormat)
{
    preserveIfUnreadable();
}

void Defaults::preserveIfUnreadable()
{
    m_settings.allKeys(); // parses the file, so that status() tells how that went
    if (m_settings.status() != QSettings::FormatError)
        return;
    // The next write would replace the file with what could be read of it.
    const QString copy = m_settings.fileName() + QStringLiteral(".unreadable");
    QFile::remove(copy);
    if (QFile::copy(m_settings.fileName(), copy))
        m_preservedUnreadableFile = copy;
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
    if (!value.isValid())
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
    m_settings.remove(key);
    m_settings.sync();
    m_lastWriteSucceeded = m_settings.status() != QSettings::AccessError;
}

void Defaults::write(const QString& key, const QVariant& value)
{
    m_settings.setValue(key, value);
    m_settings.sync();
    // A format error found while reading stays in status(); only an access error means the write failed.
    m_lastWriteSucceeded = m_settings.status() != QSettings::AccessError;
}
