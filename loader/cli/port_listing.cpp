#include "port_listing.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSerialPortInfo>

#include "port_map.h"

namespace vrx::cli {

namespace {

constexpr const char* kById = "/dev/serial/by-id";

// by-id link target (canonical path) -> link path.
QMap<QString, QString> byIdNames() {
    QMap<QString, QString> names;
    const QDir dir(QString::fromLatin1(kById));
    for (const QFileInfo& link :
         dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        const QString target = link.canonicalFilePath();
        if (!target.isEmpty()) names.insert(target, link.absoluteFilePath());
    }
    return names;
}

QString hex4(quint16 value) {
    return QString("%1").arg(value, 4, 16, QChar('0'));
}

void addField(QString& text, const char* label, const QString& value) {
    if (!value.isEmpty()) text += QString("    %1 %2\n").arg(QLatin1String(label), -13).arg(value);
}

}  // namespace

std::vector<SerialDeviceInfo> PresentSerialDeviceInfos() {
    const QMap<QString, QString> byId = byIdNames();
    std::vector<SerialDeviceInfo> devices;
    const QStringList order = PortMap::startUpOrder(PortMap::presentSerialDevices());
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QString& location : order) {
        for (const QSerialPortInfo& info : infos) {
            if (info.systemLocation() != location) continue;
            SerialDeviceInfo d;
            d.device = location;
            d.byId = byId.value(QFileInfo(location).canonicalFilePath());
            d.description = info.description();
            d.manufacturer = info.manufacturer();
            d.serialNumber = info.serialNumber();
            if (info.hasVendorIdentifier() && info.hasProductIdentifier())
                d.vidPid = hex4(info.vendorIdentifier()) + ":" + hex4(info.productIdentifier());
            devices.push_back(d);
            break;
        }
    }
    return devices;
}

QString PortListing(const PortMap& map, const QString& mappingSource,
                    const std::vector<SerialDeviceInfo>& devices) {
    QString text = "Ports (" + mappingSource + "):\n";
    for (int port = 1; port <= 8; ++port) {
        const QString device = map.deviceForPort(port);
        text += QString("  COM%1:  %2\n").arg(port).arg(device.isEmpty() ? "(none)" : device);
    }
    text += "\nSerial devices present:\n";
    if (devices.empty()) text += "  (none)\n";
    for (const SerialDeviceInfo& d : devices) {
        text += "  " + d.device + "\n";
        addField(text, "by-id", d.byId);
        addField(text, "description", d.description);
        addField(text, "manufacturer", d.manufacturer);
        addField(text, "serial", d.serialNumber);
        addField(text, "VID:PID", d.vidPid);
    }
    return text;
}

}  // namespace vrx::cli
