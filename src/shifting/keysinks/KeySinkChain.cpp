#include "shifting/keysinks/KeySinkChain.h"

#include "diagnostics/Logger.h"
#include "shifting/KeySinkNames.h"

#include <QStringList>

namespace {

const QString keySinkChainLog = QStringLiteral("KeySinkChain");

bool usable(const KeySink& sink)
{
    return sink.consent() != KeySink::Consent::refused && (sink.canPostKeys() || sink.awaitsConsent());
}

QString shownName(const KeySink& sink)
{
    return KeySinkNames::described(sink.name());
}

} // namespace

KeySinkChain::KeySinkChain(std::vector<std::unique_ptr<KeySink>> sinks)
    : m_sinks(std::move(sinks))
{
    Q_ASSERT(!m_sinks.empty());
    for (const auto& sink : m_sinks)
        connect(sink.get(), &KeySink::changed, this, &KeySinkChain::follow);
    m_current = firstUsable();
}

size_t KeySinkChain::firstUsable() const
{
    for (size_t i = 0; i < m_sinks.size(); ++i) {
        if (usable(*m_sinks[i]))
            return i;
    }
    // None can type: the first says best why.
    return 0;
}

std::optional<QString> KeySinkChain::unavailableReason() const
{
    if (usable(current()))
        return current().unavailableReason();
    QStringList reasons;
    for (const auto& sink : m_sinks) {
        const std::optional<QString> reason = sink->unavailableReason();
        if (reason && !reasons.contains(*reason))
            reasons.append(*reason);
    }
    return reasons.join(QLatin1Char(' '));
}

bool KeySinkChain::post(VirtualKey key, KeyDirection direction)
{
    return current().post(key, direction) || fail(current().lastError());
}

void KeySinkChain::askConsent()
{
    // The first that may ask, up to the one in use: asking again makes it the one in use.
    for (size_t i = 0; i <= m_current && i < m_sinks.size(); ++i) {
        KeySink& sink = *m_sinks[i];
        if (sink.consent() == Consent::notAsked || sink.canAskAgain()) {
            sink.askConsent();
            return;
        }
    }
}

bool KeySinkChain::canAskAgain() const
{
    for (size_t i = 0; i <= m_current && i < m_sinks.size(); ++i) {
        if (m_sinks[i]->canAskAgain())
            return true;
    }
    return false;
}

std::optional<QString> KeySinkChain::prepareKeyMatching(KeyMatching matching)
{
    // Every sink follows the rider's choice, so that a fallback types as the first did.
    std::optional<QString> refused;
    for (size_t i = 0; i < m_sinks.size(); ++i) {
        const std::optional<QString> refusal = m_sinks[i]->setKeyMatching(matching);
        if (i == m_current)
            refused = refusal;
    }
    return refused;
}

void KeySinkChain::follow(const QString& news)
{
    const size_t before = m_current;
    m_current = firstUsable();
    QString told = news;
    if (m_current != before) {
        Logger::shared().logInfo(
            QStringLiteral("Key sink %1 replaces %2").arg(current().name(), m_sinks.at(before)->name()),
            keySinkChainLog);
        // Asking again needs no word on the way back.
        if (usable(current()) && !current().awaitsConsent()) {
            const QString now = QStringLiteral("Keys are now typed through %1.").arg(shownName(current()));
            told = told.isEmpty() ? now : told + QLatin1Char(' ') + now;
        }
    }
    Q_EMIT changed(told);
}
