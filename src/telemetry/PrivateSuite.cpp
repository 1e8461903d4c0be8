#include "telemetry/PrivateSuite.h"

#include "platform/AppIdentity.h"

#include <QCryptographicHash>
#include <QUuid>

QString PrivateSuite::suiteName(const QString& appID)
{
    const QString digest =
        QString::fromLatin1(QCryptographicHash::hash(appID.toUtf8(), QCryptographicHash::Sha256).toHex());
    return QStringLiteral("app.cogwise.telemetry.") + digest.right(12);
}

namespace {

QString defaultPath(const QString& appID)
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, AppIdentity::applicationName(),
                     PrivateSuite::suiteName(appID))
        .fileName();
}

} // namespace

PrivateSuite::PrivateSuite(const QString& appID, const QString& path)
    : m_settings(path.isEmpty() ? defaultPath(appID) : path, QSettings::IniFormat)
{}

std::optional<QString> PrivateSuite::text(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    const QVariant value = m_settings.value(key);
    return value.isValid() ? std::optional(value.toString()) : std::nullopt;
}

std::optional<QByteArray> PrivateSuite::data(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    const QVariant value = m_settings.value(key);
    return value.isValid() ? std::optional(value.toByteArray()) : std::nullopt;
}

QStringList PrivateSuite::textList(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    return m_settings.value(key).toStringList();
}

qint64 PrivateSuite::integer(const QString& key) const
{
    QMutexLocker lock(&m_mutex);
    return m_settings.value(key).toLongLong();
}

void PrivateSuite::setValue(const QString& key, const QVariant& value)
{
    QMutexLocker lock(&m_mutex);
    m_settings.setValue(key, value);
    m_settings.sync();
}

QString PrivateSuite::defaultUserIdentifier()
{
    QMutexLocker lock(&m_mutex);
    const QString key = QStringLiteral("defaultUserIdentifier");
    QString identifier = m_settings.value(key).toString();
    if (identifier.isEmpty()) {
        identifier = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
        m_settings.setValue(key, identifier);
        m_settings.sync();
    }
    return identifier;
}
