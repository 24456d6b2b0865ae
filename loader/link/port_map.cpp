#include "port_map.h"

#include <QRegularExpression>
#include <QSerialPortInfo>
#include <algorithm>

#include "loader_state.h"

namespace vrx {

namespace {

struct DeviceRank {
    int family;     // 0 ttyUSB, 1 ttyACM, 2 ttyS, 3 anything else
    QString stem;   // path without its trailing number
    qint64 number;  // trailing number, -1 when none
};

DeviceRank rankOf(const QString& path) {
    static const QRegularExpression trailingNumber("^(.*?)(\\d+)$");
    DeviceRank rank{3, path, -1};
    const auto match = trailingNumber.match(path);
    if (match.hasMatch()) {
        rank.stem = match.captured(1);
        rank.number = match.captured(2).toLongLong();
    }
    if (rank.stem == "/dev/ttyUSB")
        rank.family = 0;
    else if (rank.stem == "/dev/ttyACM")
        rank.family = 1;
    else if (rank.stem == "/dev/ttyS")
        rank.family = 2;
    return rank;
}

}  // namespace

PortMap::PortMap(const QMap<int, QString>& explicitMap, const QStringList& presentDevices) {
    if (!explicitMap.isEmpty()) {
        explicit_ = true;
        for (auto it = explicitMap.begin(); it != explicitMap.end(); ++it) {
            if (it.key() >= 1 && it.key() <= kPortCount && !it.value().trimmed().isEmpty()) {
                devices_.insert(it.key(), it.value().trimmed());
            }
        }
        return;
    }
    const QStringList ordered = startUpOrder(presentDevices);
    for (int i = 0; i < ordered.size() && i < kPortCount; ++i) devices_.insert(i + 1, ordered[i]);
}

QStringList PortMap::startUpOrder(const QStringList& devices) {
    QStringList out = devices;
    out.removeDuplicates();
    std::stable_sort(out.begin(), out.end(), [](const QString& a, const QString& b) {
        const DeviceRank ra = rankOf(a);
        const DeviceRank rb = rankOf(b);
        if (ra.family != rb.family) return ra.family < rb.family;
        if (ra.stem != rb.stem) return ra.stem < rb.stem;
        return ra.number < rb.number;
    });
    return out;
}

QStringList PortMap::presentSerialDevices() {
    QStringList devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        devices << info.systemLocation();
    }
    return devices;
}

}  // namespace vrx
