#include "platform/NetworkPolicy.h"

#include <QHostAddress>

namespace NetworkPolicy {

bool isAllowedEndpoint(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    const bool loopback = url.host() == QLatin1String("localhost") || QHostAddress(url.host()).isLoopback();
    return url.scheme() == QLatin1String("http") && loopback;
}

} // namespace NetworkPolicy
