#include "shifting/keysinks/KeySinkFactory.h"

#include "shifting/keysinks/NullKeySink.h"
#include "shifting/keysinks/UinputKeySink.h"
#include "shifting/keysinks/XTestKeySink.h"

#include <QStringList>

namespace KeySinkFactory {

std::unique_ptr<KeySink> create()
{
    const QString forced = qEnvironmentVariable("COGWISE_KEY_SINK").toLower();
    if (forced == QLatin1String("uinput"))
        return UinputKeySink::open();
    if (forced == QLatin1String("xtest"))
        return std::make_unique<XTestKeySink>();
    if (forced == QLatin1String("none"))
        return std::make_unique<NullKeySink>(
            QStringLiteral("Typing keys is switched off (COGWISE_KEY_SINK=none)."),
            NullKeySink::Mode::switchedOff);

    QStringList reasons;
    std::unique_ptr<KeySink> uinput = UinputKeySink::open();
    if (uinput->canPostKeys())
        return uinput;
    reasons.append(*uinput->unavailableReason());
    std::unique_ptr<KeySink> xtest = std::make_unique<XTestKeySink>();
    if (xtest->canPostKeys())
        return xtest;
    reasons.append(*xtest->unavailableReason());
    return std::make_unique<NullKeySink>(reasons.join(QLatin1Char(' ')));
}

} // namespace KeySinkFactory
