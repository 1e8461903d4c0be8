#include "shifting/keysinks/KeySinkFactory.h"

#include "shifting/keysinks/NullKeySink.h"
#include "shifting/keysinks/UinputKeySink.h"
#include "shifting/keysinks/XTestKeySink.h"

#include <QStringList>

namespace KeySinkFactory {

Choice choose()
{
    const QString forced = qEnvironmentVariable("COGWISE_KEY_SINK").toLower();
    const QString forcedReason = QStringLiteral("COGWISE_KEY_SINK=%1 chooses it.").arg(forced);
    if (forced == QLatin1String("uinput"))
        return {UinputKeySink::open(), forcedReason};
    if (forced == QLatin1String("xtest"))
        return {std::make_unique<XTestKeySink>(), forcedReason};
    if (forced == QLatin1String("none"))
        return {std::make_unique<NullKeySink>(
                    QStringLiteral("Typing keys is switched off (COGWISE_KEY_SINK=none)."),
                    NullKeySink::Mode::switchedOff),
                forcedReason};

    QStringList reasons;
    std::unique_ptr<KeySink> uinput = UinputKeySink::open();
    if (uinput->canPostKeys())
        return {std::move(uinput), QStringLiteral("it works in every session, Wayland included.")};
    reasons.append(*uinput->unavailableReason());
    std::unique_ptr<KeySink> xtest = std::make_unique<XTestKeySink>();
    if (xtest->canPostKeys())
        return {std::move(xtest), QStringLiteral("uinput is not available: %1").arg(reasons.constFirst())};
    reasons.append(*xtest->unavailableReason());
    const QString why = reasons.join(QLatin1Char(' '));
    return {std::make_unique<NullKeySink>(why), why};
}

} // namespace KeySinkFactory
