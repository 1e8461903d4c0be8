#include "shifting/KeySinkNames.h"

#include <array>

namespace KeySinkNames {

namespace {

struct Row
{
    const char* name;
    const char* described;
    const char* listed;
};

constexpr std::array rows{
    Row{"uinput", "a virtual keyboard (uinput)", "uinput (a virtual keyboard)"},
    Row{"xtest", "XTest", "XTest"},
    Row{"portal", "the desktop's remote-desktop portal", "the desktop's remote-desktop portal"},
    Row{"bluetooth", "Cogwise's Bluetooth keyboard", "Cogwise's Bluetooth keyboard"},
};

const Row* find(const QString& name)
{
    for (const Row& row : rows)
        if (name == QLatin1String(row.name))
            return &row;
    return nullptr;
}

} // namespace

QString described(const QString& name)
{
    const Row* row = find(name);
    return row ? QString::fromUtf8(row->described) : name;
}

QString listed(const QString& name)
{
    const Row* row = find(name);
    return row ? QString::fromUtf8(row->listed) : name;
}

} // namespace KeySinkNames
