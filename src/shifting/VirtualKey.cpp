#include "shifting/VirtualKey.h"

#include <QHash>
#include <QKeyCombination>

namespace {

constexpr int keypad(Qt::Key key)
{
    return QKeyCombination(Qt::KeypadModifier, key).toCombined();
}

} // namespace

const QList<VirtualKey::Info>& VirtualKey::catalogue()
{
    // Escape is left out: it cancels picking a key in the window.
    static const QList<Info> keys{
        {0, "a", "A", Qt::Key_A},
        {11, "b", "B", Qt::Key_B},
        {8, "c", "C", Qt::Key_C},
        {2, "d", "D", Qt::Key_D},
        {14, "e", "E", Qt::Key_E},
        {3, "f", "F", Qt::Key_F},
        {5, "g", "G", Qt::Key_G},
        {4, "h", "H", Qt::Key_H},
        {34, "i", "I", Qt::Key_I},
        {38, "j", "J", Qt::Key_J},
        {40, "k", "K", Qt::Key_K},
        {37, "l", "L", Qt::Key_L},
        {46, "m", "M", Qt::Key_M},
        {45, "n", "N", Qt::Key_N},
        {31, "o", "O", Qt::Key_O},
        {35, "p", "P", Qt::Key_P},
        {12, "q", "Q", Qt::Key_Q},
        {15, "r", "R", Qt::Key_R},
        {1, "s", "S", Qt::Key_S},
        {17, "t", "T", Qt::Key_T},
        {32, "u", "U", Qt::Key_U},
        {9, "v", "V", Qt::Key_V},
        {13, "w", "W", Qt::Key_W},
        {7, "x", "X", Qt::Key_X},
        {16, "y", "Y", Qt::Key_Y},
        {6, "z", "Z", Qt::Key_Z},
        {29, "0", "0", Qt::Key_0},
        {18, "1", "1", Qt::Key_1},
        {19, "2", "2", Qt::Key_2},
        {20, "3", "3", Qt::Key_3},
        {21, "4", "4", Qt::Key_4},
        {23, "5", "5", Qt::Key_5},
        {22, "6", "6", Qt::Key_6},
        {26, "7", "7", Qt::Key_7},
        {28, "8", "8", Qt::Key_8},
        {25, "9", "9", Qt::Key_9},
        {47, "period", ".", Qt::Key_Period},
        {43, "comma", ",", Qt::Key_Comma},
        {44, "slash", "/", Qt::Key_Slash},
        {41, "semicolon", ";", Qt::Key_Semicolon},
        {39, "apostrophe", "'", Qt::Key_Apostrophe},
        {33, "bracketleft", "[", Qt::Key_BracketLeft},
        {30, "bracketright", "]", Qt::Key_BracketRight},
        {27, "minus", "-", Qt::Key_Minus},
        {24, "equal", "=", Qt::Key_Equal},
        {50, "grave", "`", Qt::Key_QuoteLeft},
        {42, "backslash", "\\", Qt::Key_Backslash},
        {49, "space", "Space", Qt::Key_Space},
        {36, "Return", "Return", Qt::Key_Return},
        {48, "Tab", "Tab", Qt::Key_Tab},
        {51, "BackSpace", "Backspace", Qt::Key_Backspace},
        {117, "Delete", "Delete", Qt::Key_Delete},
        {115, "Home", "Home", Qt::Key_Home},
        {119, "End", "End", Qt::Key_End},
        {116, "Prior", "Page Up", Qt::Key_PageUp},
        {121, "Next", "Page Down", Qt::Key_PageDown},
        {123, "Left", "Left Arrow", Qt::Key_Left},
        {124, "Right", "Right Arrow", Qt::Key_Right},
        {126, "Up", "Up Arrow", Qt::Key_Up},
        {125, "Down", "Down Arrow", Qt::Key_Down},
        {122, "F1", "F1", Qt::Key_F1},
        {120, "F2", "F2", Qt::Key_F2},
        {99, "F3", "F3", Qt::Key_F3},
        {118, "F4", "F4", Qt::Key_F4},
        {96, "F5", "F5", Qt::Key_F5},
        {97, "F6", "F6", Qt::Key_F6},
        {98, "F7", "F7", Qt::Key_F7},
        {100, "F8", "F8", Qt::Key_F8},
        {101, "F9", "F9", Qt::Key_F9},
        {109, "F10", "F10", Qt::Key_F10},
        {103, "F11", "F11", Qt::Key_F11},
        {111, "F12", "F12", Qt::Key_F12},
        // The keypad types the same on every layout: no Shift+"=" question for a "+".
        {69, "KP_Add", "Keypad +", keypad(Qt::Key_Plus)},
        {78, "KP_Subtract", "Keypad -", keypad(Qt::Key_Minus)},
        {67, "KP_Multiply", "Keypad *", keypad(Qt::Key_Asterisk)},
        {75, "KP_Divide", "Keypad /", keypad(Qt::Key_Slash)},
        {76, "KP_Enter", "Keypad Enter", keypad(Qt::Key_Enter)},
        {65, "KP_Decimal", "Keypad .", keypad(Qt::Key_Period)},
        {82, "KP_0", "Keypad 0", keypad(Qt::Key_0)},
        {83, "KP_1", "Keypad 1", keypad(Qt::Key_1)},
        {84, "KP_2", "Keypad 2", keypad(Qt::Key_2)},
        {85, "KP_3", "Keypad 3", keypad(Qt::Key_3)},
        {86, "KP_4", "Keypad 4", keypad(Qt::Key_4)},
        {87, "KP_5", "Keypad 5", keypad(Qt::Key_5)},
        {88, "KP_6", "Keypad 6", keypad(Qt::Key_6)},
        {89, "KP_7", "Keypad 7", keypad(Qt::Key_7)},
        {91, "KP_8", "Keypad 8", keypad(Qt::Key_8)},
        {92, "KP_9", "Keypad 9", keypad(Qt::Key_9)},
    };
    return keys;
}

namespace {

template<typename Key> QHash<Key, qsizetype> indexBy(Key (*field)(const VirtualKey::Info&))
{
    QHash<Key, qsizetype> index;
    const auto& keys = VirtualKey::catalogue();
    for (qsizetype i = 0; i < keys.size(); ++i)
        index.insert(field(keys.at(i)), i);
    return index;
}

const QHash<quint16, qsizetype>& byCode()
{
    static const auto index = indexBy<quint16>([](const VirtualKey::Info& key) { return key.code; });
    return index;
}

} // namespace

std::optional<VirtualKey> VirtualKey::fromCode(quint16 code)
{
    return byCode().contains(code) ? std::optional(VirtualKey(code)) : std::nullopt;
}

std::optional<VirtualKey> VirtualKey::fromName(const QString& name)
{
    static const auto index = indexBy<QString>([](const Info& key) { return QString::fromLatin1(key.name); });
    const auto found = index.constFind(name);
    return found == index.cend() ? std::nullopt : std::optional(VirtualKey(catalogue().at(*found).code));
}

std::optional<VirtualKey> VirtualKey::fromStoredNames(const QString& storedName, const QString& exactName)
{
    const auto exact = fromName(exactName);
    if (exact && exact->nameForEarlierVersions() == storedName)
        return exact;
    return fromName(storedName);
}

std::optional<VirtualKey> VirtualKey::fromQtKey(int qtKey)
{
    static const auto index = indexBy<int>([](const Info& key) { return key.qtKey; });
    const QKeyCombination pressed = QKeyCombination::fromCombined(qtKey);
    const auto found = index.constFind(
        QKeyCombination(pressed.keyboardModifiers() & Qt::KeypadModifier, pressed.key()).toCombined());
    return found == index.cend() ? std::nullopt : std::optional(VirtualKey(catalogue().at(*found).code));
}

const VirtualKey::Info& VirtualKey::info() const
{
    // Only catalogue keys can be made, so the code is always found.
    return catalogue().at(byCode().value(m_code));
}

QString VirtualKey::name() const
{
    return QString::fromLatin1(info().name);
}

bool VirtualKey::isOnKeypad() const
{
    return qstrncmp(info().name, "KP_", 3) == 0;
}

QString VirtualKey::nameForEarlierVersions() const
{
    if (!isOnKeypad())
        return name();
    // The main-row key that types the same character unshifted; "+" and "*" need Shift there.
    static const QHash<quint16, QString> twins{
        {78, QStringLiteral("minus")},  {75, QStringLiteral("slash")}, {76, QStringLiteral("Return")},
        {65, QStringLiteral("period")}, {82, QStringLiteral("0")},     {83, QStringLiteral("1")},
        {84, QStringLiteral("2")},      {85, QStringLiteral("3")},     {86, QStringLiteral("4")},
        {87, QStringLiteral("5")},      {88, QStringLiteral("6")},     {89, QStringLiteral("7")},
        {91, QStringLiteral("8")},      {92, QStringLiteral("9")},
    };
    return twins.value(m_code);
}

QString VirtualKey::label() const
{
    return QString::fromLatin1(info().label);
}
