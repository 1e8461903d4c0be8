#pragma once

#include "platform/Clock.h"
#include "shifting/ButtonConfig.h"

#include <QByteArray>
#include <QDateTime>
#include <QUuid>
#include <variant>

// The persisted button mapping.
struct ButtonProfile
{
    QUuid id;
    QString name;
    ButtonConfigs buttonConfigs;
    QDateTime createdAt;
    QDateTime updatedAt;

    bool operator==(const ButtonProfile&) const = default;

    static ButtonProfile makeDefault(const Clock& clock);

    // Compact JSON: upper-case UUID, dates as seconds since 2001-01-01 UTC.
    // The bytes, or why the profile cannot be written.
    std::variant<QByteArray, QString> toJson() const;
    // The profile, or why the bytes are not one.
    static std::variant<ButtonProfile, QString> fromJson(const QByteArray& json);
};
