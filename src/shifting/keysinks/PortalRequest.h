#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

// One call to an XDG desktop portal whose answer comes later, as the Response signal of a
// request object. The portal may answer before its reply to the call arrives, so the
// signal is subscribed on the request's predicted path before the call goes out.
// Deletes itself once it has told its outcome.
// xdg-desktop-portal's bus name and object path.
namespace PortalNames {
inline const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
} // namespace PortalNames

class PortalRequest : public QObject
{
    Q_OBJECT

public:
    // The portal's response codes.
    static constexpr uint success = 0;
    static constexpr uint cancelled = 1;

    // `arguments` without the options, which follow them with the handle token added.
    PortalRequest(const QDBusConnection& bus, const QString& interface, const QString& method,
                  QVariantList arguments, QVariantMap options, QObject* parent = nullptr);
    ~PortalRequest() override;

    // A token unique in this process, as handle tokens must be.
    static QString newToken();

Q_SIGNALS:
    void answered(uint response, const QVariantMap& results);
    // The call itself failed: `error` says why in words.
    void failed(const QString& error);

private Q_SLOTS:
    void response(uint response, const QVariantMap& results);

private:
    void subscribe(const QString& path);
    void unsubscribe();

    QDBusConnection m_bus;
    QString m_path;
    bool m_done = false;
};
