#pragma once

#include <QString>

class TelemetryManager;

// Ready-made names for common product events. Cogwise itself sends none of them.
namespace TelemetryPresets {

// "Telemetry.Referral.userRatingSubmitted" with the rating and an optional comment. A rating
// outside 0..10 is not sent; the client's log handler is told why.
void userRatingSubmitted(TelemetryManager& manager, int rating, const QString& comment = {});

namespace Signal {
inline QString userAcquired()
{
    return QStringLiteral("Telemetry.Acquisition.userAcquired");
}
inline QString leadStarted()
{
    return QStringLiteral("Telemetry.Acquisition.leadStarted");
}
inline QString leadConverted()
{
    return QStringLiteral("Telemetry.Acquisition.leadConverted");
}
inline QString onboardingCompleted()
{
    return QStringLiteral("Telemetry.Activation.onboardingCompleted");
}
inline QString coreFeatureUsed()
{
    return QStringLiteral("Telemetry.Activation.coreFeatureUsed");
}
inline QString referralSent()
{
    return QStringLiteral("Telemetry.Referral.sent");
}
inline QString userRatingSubmitted()
{
    return QStringLiteral("Telemetry.Referral.userRatingSubmitted");
}
inline QString paywallShown()
{
    return QStringLiteral("Telemetry.Revenue.paywallShown");
}
inline QString pathChanged()
{
    return QStringLiteral("Telemetry.Navigation.pathChanged");
}
inline QString errorOccurred()
{
    return QStringLiteral("Telemetry.Error.occurred");
}
inline QString purchaseCompleted()
{
    return QStringLiteral("Telemetry.Purchase.completed");
}
inline QString freeTrialStarted()
{
    return QStringLiteral("Telemetry.Purchase.freeTrialStarted");
}
inline QString convertedFromTrial()
{
    return QStringLiteral("Telemetry.Purchase.convertedFromTrial");
}
} // namespace Signal

namespace Parameter {
inline QString acquisitionChannel()
{
    return QStringLiteral("Telemetry.Acquisition.channel");
}
inline QString leadID()
{
    return QStringLiteral("Telemetry.Acquisition.leadID");
}
inline QString featureName()
{
    return QStringLiteral("Telemetry.Activation.featureName");
}
inline QString receiversCount()
{
    return QStringLiteral("Telemetry.Referral.receiversCount");
}
inline QString referralKind()
{
    return QStringLiteral("Telemetry.Referral.kind");
}
inline QString ratingValue()
{
    return QStringLiteral("Telemetry.Referral.ratingValue");
}
inline QString ratingComment()
{
    return QStringLiteral("Telemetry.Referral.ratingComment");
}
inline QString paywallShowReason()
{
    return QStringLiteral("Telemetry.Revenue.paywallShowReason");
}
inline QString navigationSchemaVersion()
{
    return QStringLiteral("Telemetry.Navigation.schemaVersion");
}
inline QString navigationIdentifier()
{
    return QStringLiteral("Telemetry.Navigation.identifier");
}
inline QString navigationSourcePath()
{
    return QStringLiteral("Telemetry.Navigation.sourcePath");
}
inline QString navigationDestinationPath()
{
    return QStringLiteral("Telemetry.Navigation.destinationPath");
}
inline QString errorID()
{
    return QStringLiteral("Telemetry.Error.id");
}
inline QString errorMessage()
{
    return QStringLiteral("Telemetry.Error.message");
}
inline QString errorCategory()
{
    return QStringLiteral("Telemetry.Error.category");
} // "thrown-exception", "user-input", "app-state"
inline QString purchaseType()
{
    return QStringLiteral("Telemetry.Purchase.type");
} // "subscription", "one-time-purchase"
inline QString purchaseCountryCode()
{
    return QStringLiteral("Telemetry.Purchase.countryCode");
}
inline QString purchaseCurrencyCode()
{
    return QStringLiteral("Telemetry.Purchase.currencyCode");
}
inline QString purchaseProductID()
{
    return QStringLiteral("Telemetry.Purchase.productID");
}
} // namespace Parameter

} // namespace TelemetryPresets
