#include "bluetooth/BleUuid.h"

namespace BleUuid {

QString shortUUIDString(const QString& uuid)
{
    const QString s = uuid.toUpper();
    if (s.size() == 4)
        return s;
    if (s.startsWith(QLatin1String("0000")) && s.size() >= 8)
        return s.mid(4, 4);
    return s.right(4);
}

} // namespace BleUuid
