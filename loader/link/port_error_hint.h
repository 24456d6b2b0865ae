// What a serial device that would not open tells the user beyond the
// system's own words: for a permission problem the group that owns the
// device and the two ways in; for a busy ttyACM device, ModemManager, which
// probes new modems and holds them for a while after they appear.
#pragma once

#include <QSerialPort>
#include <QString>

namespace vrx {

// Where the shipped udev rule lands when the package is installed.
inline constexpr const char* kUdevRulePath = "/usr/lib/udev/rules.d/60-vrx5520-serial.rules";

enum class PortOpenCause { Other, AccessDenied, Busy };

struct PortOpenFacts {
    QString device;
    PortOpenCause cause = PortOpenCause::Other;
    QString group;                  // the group that may open the device; empty when none may
    bool joinedSinceLogin = false;  // listed in the group already; a new login is missing
};

// The hint lines (each starting with a line break), or "" when there is none.
QString PortOpenHint(const PortOpenFacts& facts);

// The facts of this machine about `device` after QSerialPort failed with `error`.
PortOpenFacts InspectPortOpenFailure(const QString& device, QSerialPort::SerialPortError error);

// "cannot open DEVICE: REASON" and the hint, for the error a failed open of
// `port` throws. Clears the port's error.
QString PortOpenFailure(const QString& device, QSerialPort& port);

}  // namespace vrx
