// `vrxload ports`: which device each of COM1 to COM8 stands for, then every
// serial device of this machine with what identifies the adapter behind it,
// so a rack's operator can tell which COMn is which cable.
#pragma once

#include <QString>
#include <vector>

namespace vrx {
class PortMap;
}

namespace vrx::cli {

struct SerialDeviceInfo {
    QString device;  // /dev/ttyUSB0
    QString byId;    // its /dev/serial/by-id name, "" when none
    QString description;
    QString manufacturer;
    QString serialNumber;
    QString vidPid;  // "0403:6001", "" when not USB
};

// The serial devices present, as QSerialPortInfo lists them, with their
// /dev/serial/by-id names.
std::vector<SerialDeviceInfo> PresentSerialDeviceInfos();

// The listing text. `mappingSource` says where the COMn mapping came from.
QString PortListing(const PortMap& map, const QString& mappingSource,
                    const std::vector<SerialDeviceInfo>& devices);

}  // namespace vrx::cli
