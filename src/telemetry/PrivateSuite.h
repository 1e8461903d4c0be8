#pragma once

#include <QMutex>
#include <QSettings>
#include <QStringList>
#include <optional>

// The analytics client's own settings file, apart from the application's: user
// identifier and session history. Used from several threads, hence the lock.
class PrivateSuite
{
public:
    // The suite's name: our reverse-DNS prefix and the last 12 hex digits of the
    // SHA-256 of the app identifier.
    static QString suiteName(const QString& appID);

    // An empty path means the default place, beside the application's settings.
    PrivateSuite(const QString& appID, const QString& path);

    std::optional<QString> text(const QString& key) const;
    std::optional<QByteArray> data(const QString& key) const;
    QStringList textList(const QString& key) const;
    qint64 integer(const QString& key) const;

    // Each write reaches the disk before it returns.
    void setValue(const QString& key, const QVariant& value);

    // The stored anonymous user identifier, created on first use.
    QString defaultUserIdentifier();

private:
    mutable QMutex m_mutex;
    QSettings m_settings;
};
