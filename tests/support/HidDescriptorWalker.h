#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <optional>

// Walks a HID report descriptor's short items as a host does (Debian packages no parser):
// the input bits of each report ID, the usage range and logical maximum of the key array,
// and whether collections close. An error says where the walk stopped.
struct HidDescriptorWalker
{
    QMap<int, int> inputBits; // by report ID
    int keyArrayUsageMax = -1;
    int keyArrayLogicalMax = -1;
    std::optional<QString> error;

    explicit HidDescriptorWalker(const QByteArray& descriptor)
    {
        int reportId = 0, reportSize = 0, reportCount = 0, logicalMax = 0, usageMax = 0, depth = 0;
        for (qsizetype at = 0; at < descriptor.size();) {
            const quint8 prefix = quint8(descriptor.at(at));
            const int size = (prefix & 3) == 3 ? 4 : (prefix & 3);
            const int type = (prefix >> 2) & 3;
            const int tag = prefix >> 4;
            if (prefix == 0xFE || at + 1 + size > descriptor.size()) {
                error = QStringLiteral("item at %1 runs past the end or is a long item").arg(at);
                return;
            }
            quint32 data = 0;
            for (int i = 0; i < size; ++i)
                data |= quint32(quint8(descriptor.at(at + 1 + i))) << (8 * i);
            at += 1 + size;
            if (type == 1) { // global
                if (tag == 7)
                    reportSize = int(data);
                if (tag == 9)
                    reportCount = int(data);
                if (tag == 8)
                    reportId = int(data);
                if (tag == 2)
                    logicalMax = int(data);
            } else if (type == 2 && tag == 2) { // local usage maximum
                usageMax = int(data);
            } else if (type == 0) { // main
                if (tag == 8) {
                    inputBits[reportId] += reportSize * reportCount;
                    // An array (bit 1 clear) of data (bit 0 clear) holds the keys pressed.
                    if ((data & 3) == 0) {
                        keyArrayUsageMax = usageMax;
                        keyArrayLogicalMax = logicalMax;
                    }
                }
                if (tag == 10)
                    ++depth;
                if (tag == 12 && --depth < 0) {
                    error = QStringLiteral("End Collection without a collection at %1").arg(at - 1);
                    return;
                }
            }
        }
        if (depth != 0)
            error = QStringLiteral("%1 collections left open").arg(depth);
    }
};
