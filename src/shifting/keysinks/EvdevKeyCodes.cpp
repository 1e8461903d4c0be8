#include "shifting/keysinks/EvdevKeyCodes.h"

#include <QHash>
#include <linux/input-event-codes.h>

namespace EvdevKeyCodes {

namespace {

// By the key's macOS virtual key code.
const QHash<quint16, quint16>& table()
{
    static const QHash<quint16, quint16> codes{
        {0, KEY_A},           {11, KEY_B},         {8, KEY_C},           {2, KEY_D},
        {14, KEY_E},          {3, KEY_F},          {5, KEY_G},           {4, KEY_H},
        {34, KEY_I},          {38, KEY_J},         {40, KEY_K},          {37, KEY_L},
        {46, KEY_M},          {45, KEY_N},         {31, KEY_O},          {35, KEY_P},
        {12, KEY_Q},          {15, KEY_R},         {1, KEY_S},           {17, KEY_T},
        {32, KEY_U},          {9, KEY_V},          {13, KEY_W},          {7, KEY_X},
        {16, KEY_Y},          {6, KEY_Z},          {29, KEY_0},          {18, KEY_1},
        {19, KEY_2},          {20, KEY_3},         {21, KEY_4},          {23, KEY_5},
        {22, KEY_6},          {26, KEY_7},         {28, KEY_8},          {25, KEY_9},
        {47, KEY_DOT},        {43, KEY_COMMA},     {44, KEY_SLASH},      {41, KEY_SEMICOLON},
        {39, KEY_APOSTROPHE}, {33, KEY_LEFTBRACE}, {30, KEY_RIGHTBRACE}, {27, KEY_MINUS},
        {24, KEY_EQUAL},      {50, KEY_GRAVE},     {42, KEY_BACKSLASH},  {49, KEY_SPACE},
        {36, KEY_ENTER},      {48, KEY_TAB},       {51, KEY_BACKSPACE},  {117, KEY_DELETE},
        {115, KEY_HOME},      {119, KEY_END},      {116, KEY_PAGEUP},    {121, KEY_PAGEDOWN},
        {123, KEY_LEFT},      {124, KEY_RIGHT},    {126, KEY_UP},        {125, KEY_DOWN},
        {122, KEY_F1},        {120, KEY_F2},       {99, KEY_F3},         {118, KEY_F4},
        {96, KEY_F5},         {97, KEY_F6},        {98, KEY_F7},         {100, KEY_F8},
        {101, KEY_F9},        {109, KEY_F10},      {103, KEY_F11},       {111, KEY_F12},
        {69, KEY_KPPLUS},     {78, KEY_KPMINUS},   {67, KEY_KPASTERISK}, {75, KEY_KPSLASH},
        {76, KEY_KPENTER},    {65, KEY_KPDOT},     {82, KEY_KP0},        {83, KEY_KP1},
        {84, KEY_KP2},        {85, KEY_KP3},       {86, KEY_KP4},        {87, KEY_KP5},
        {88, KEY_KP6},        {89, KEY_KP7},       {91, KEY_KP8},        {92, KEY_KP9},
    };
    return codes;
}

} // namespace

quint16 of(VirtualKey key)
{
    return table().value(key.code());
}

std::optional<VirtualKey> keyAt(quint16 code)
{
    static const QHash<quint16, quint16> byPlace = [] {
        QHash<quint16, quint16> places;
        for (auto it = table().cbegin(); it != table().cend(); ++it)
            places.insert(it.value(), it.key());
        return places;
    }();
    const auto found = byPlace.constFind(code);
    return found == byPlace.cend() ? std::nullopt : VirtualKey::fromCode(*found);
}

const QList<quint16>& all()
{
    static const QList<quint16> codes = [] {
        QList<quint16> list = table().values();
        list.append(KEY_LEFTSHIFT);
        return list;
    }();
    return codes;
}

} // namespace EvdevKeyCodes
