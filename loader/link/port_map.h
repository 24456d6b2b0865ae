// Which device each port name COM1: .. COM8: stands for. An explicit mapping
// (the INI file's [PORTS] section, COM1=/dev/ttyUSB0) wins; without one the
// serial devices present at start-up are taken in order, USB adapters first
// (/dev/ttyUSB*, /dev/ttyACM*, then /dev/ttyS*). A port with no device maps to
// the empty path, which OpenPort refuses with a message naming the port.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

namespace vrx {

class PortMap {
  public:
    // `explicitMap`: port number (1..8) -> device path, from the INI file.
    // When it is empty, `presentDevices` (in any order) fill COM1, COM2, ...
    PortMap(const QMap<int, QString>& explicitMap, const QStringList& presentDevices);

    // The device path COMn maps to, or "" when none.
    QString deviceForPort(int port) const { return devices_.value(port); }
    bool isExplicit() const { return explicit_; }

    // The serial devices of this machine, as QSerialPortInfo lists them.
    static QStringList presentSerialDevices();
    // USB adapters first, then ACM, then on-board ports; numbers in numeric order.
    static QStringList startUpOrder(const QStringList& devices);

  private:
    QMap<int, QString> devices_;
    bool explicit_ = false;
};

}  // namespace vrx
