#include "shifting/ButtonProfile.h"

#include "platform/ReferenceDate.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cmath>

namespace {

const QString keyMember = QStringLiteral("key");
// Beside "key" when the key is one versions before the keypad keys lack; "key" then holds the
// nearest key they know, or none.
const QString exactKeyMember = QStringLiteral("exactKey");

} // namespace

const ButtonConfigs& defaultButtonConfigs()
{
    static const ButtonConfigs configs{
        {1, {KeyboardAction::shiftDown, 1}},
        {2, {KeyboardAction::shiftUp, 1}},
        {3, {KeyboardAction::none, 1}},
        {4, {KeyboardAction::none, 1}},
    };
    return configs;
}

ButtonProfile ButtonProfile::makeDefault(const Clock& clock)
{
    const QDateTime createdAt = clock();
    const QDateTime updatedAt = clock();
    return {QUuid::createUuid(), QStringLiteral("Default"), defaultButtonConfigs(), createdAt, updatedAt};
}

std::variant<QByteArray, QString> ButtonProfile::toJson() const
{
    if (!createdAt.isValid() || !updatedAt.isValid())
        return QStringLiteral("The profile's dates are not valid.");

    QJsonObject configs;
    for (auto it = buttonConfigs.cbegin(); it != buttonConfigs.cend(); ++it) {
        QJsonObject config{{QStringLiteral("action"), KeyboardActions::rawValue(it->action)},
                           {QStringLiteral("repeatCount"), it->repeatCount}};
        if (it->action == KeyboardAction::key) {
            // Earlier versions know no "key" action and would drop the whole profile: to them the
            // button does nothing, and the member they ignore keeps the key.
            config.insert(QStringLiteral("action"), KeyboardActions::rawValue(KeyboardAction::none));
            config.insert(keyMember, it->key ? it->key->nameForEarlierVersions() : QString());
            if (it->key && it->key->nameForEarlierVersions() != it->key->name())
                config.insert(exactKeyMember, it->key->name());
        }
        configs.insert(QString::number(it.key()), config);
    }
    const QJsonObject object{
        {QStringLiteral("id"), id.toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("name"), name},
        {QStringLiteral("buttonConfigs"), configs},
        {QStringLiteral("createdAt"), ReferenceDate::secondsSinceReferenceDate(createdAt)},
        {QStringLiteral("updatedAt"), ReferenceDate::secondsSinceReferenceDate(updatedAt)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

namespace {

// Reads members by name; the first problem found stops decoding.
class Reader
{
public:
    explicit Reader(QString path)
        : m_path(std::move(path))
    {}

    std::optional<QString> problem;

    QJsonValue member(const QJsonObject& object, const QString& name)
    {
        if (!object.contains(name)) {
            fail(QStringLiteral("The member \"%1\" is missing.").arg(m_path + name));
            return {};
        }
        return object.value(name);
    }

    QString string(const QJsonObject& object, const QString& name)
    {
        const QJsonValue value = member(object, name);
        if (!problem && !value.isString())
            fail(QStringLiteral("The member \"%1\" is not a string.").arg(m_path + name));
        return value.toString();
    }

    QJsonObject object(const QJsonObject& object, const QString& name)
    {
        const QJsonValue value = member(object, name);
        if (!problem && !value.isObject())
            fail(QStringLiteral("The member \"%1\" is not an object.").arg(m_path + name));
        return value.toObject();
    }

    double number(const QJsonObject& object, const QString& name)
    {
        const QJsonValue value = member(object, name);
        if (!problem && !value.isDouble())
            fail(QStringLiteral("The member \"%1\" is not a number.").arg(m_path + name));
        return value.toDouble();
    }

    qint64 integer(const QJsonObject& object, const QString& name)
    {
        const double value = number(object, name);
        // 2^63 itself is the first double out of range.
        if (!problem &&
            (std::trunc(value) != value || value < -9.2233720368547758e18 || value >= 9.2233720368547758e18))
            fail(QStringLiteral("The member \"%1\" is not an integer.").arg(m_path + name));
        return problem ? 0 : static_cast<qint64>(value);
    }

    QDateTime date(const QJsonObject& object, const QString& name)
    {
        const double seconds = number(object, name);
        if (problem)
            return {};
        const auto date = ReferenceDate::fromSecondsSinceReferenceDate(seconds);
        if (!date)
            fail(QStringLiteral("The member \"%1\" is not a date.").arg(m_path + name));
        return date.value_or(QDateTime());
    }

    void fail(const QString& message)
    {
        if (!problem)
            problem = message;
    }

private:
    QString m_path;
};

std::optional<qint64> decimalButtonNumber(const QString& text)
{
    static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]+$"));
    if (!decimal.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    return ok ? std::optional(number) : std::nullopt;
}

} // namespace

std::variant<ButtonProfile, QString> ButtonProfile::fromJson(const QByteArray& json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return QStringLiteral("The data is not valid JSON: %1 at offset %2.")
            .arg(parseError.errorString())
            .arg(parseError.offset);
    if (!document.isObject())
        return QStringLiteral("The data is not a JSON object.");
    const QJsonObject root = document.object();

    Reader reader{QString()};
    ButtonProfile profile;
    const QString idText = reader.string(root, QStringLiteral("id"));
    profile.name = reader.string(root, QStringLiteral("name"));
    const QJsonObject configs = reader.object(root, QStringLiteral("buttonConfigs"));
    profile.createdAt = reader.date(root, QStringLiteral("createdAt"));
    profile.updatedAt = reader.date(root, QStringLiteral("updatedAt"));
    if (reader.problem)
        return *reader.problem;

    profile.id = QUuid::fromString(idText);
    const bool isNilUuid = idText == QLatin1String("00000000-0000-0000-0000-000000000000");
    if (idText.size() != 36 || (profile.id.isNull() && !isNilUuid))
        return QStringLiteral("The member \"id\" is not a UUID: \"%1\".").arg(idText);

    for (auto it = configs.constBegin(); it != configs.constEnd(); ++it) {
        const auto button = decimalButtonNumber(it.key());
        if (!button)
            return QStringLiteral("The button number \"%1\" is not a decimal integer.").arg(it.key());
        if (!it.value().isObject())
            return QStringLiteral("The member \"buttonConfigs.%1\" is not an object.").arg(it.key());

        const QJsonObject config = it.value().toObject();
        Reader configReader(QStringLiteral("buttonConfigs.%1.").arg(it.key()));
        const QString action = configReader.string(config, QStringLiteral("action"));
        const qint64 repeatCount = configReader.integer(config, QStringLiteral("repeatCount"));
        if (configReader.problem)
            return *configReader.problem;
        auto keyboardAction = KeyboardActions::fromRawValue(action);
        if (!keyboardAction)
            return QStringLiteral("Unknown action \"%1\" for button %2.").arg(action, it.key());
        ButtonConfig decoded{*keyboardAction, ButtonConfig::clampedRepeatCount(repeatCount)};
        const QJsonValue key = config.value(keyMember);
        if (key.isString() &&
            (decoded.action == KeyboardAction::none || decoded.action == KeyboardAction::key)) {
            // A key name this version does not know leaves the button without a key, not the
            // profile unreadable.
            decoded.action = KeyboardAction::key;
            decoded.key =
                VirtualKey::fromStoredNames(key.toString(), config.value(exactKeyMember).toString());
        }
        profile.buttonConfigs.insert(*button, decoded);
    }
    return profile;
}
