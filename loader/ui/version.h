// The program's version, from the project version the build passes in.
#pragma once

#include <QString>

namespace vrx {

#ifndef VRX_VERSION_MAJOR
#define VRX_VERSION_MAJOR 0
#define VRX_VERSION_MINOR 0
#define VRX_VERSION_REVISION 0
#endif

inline constexpr int kVersionMajor = VRX_VERSION_MAJOR;
inline constexpr int kVersionMinor = VRX_VERSION_MINOR;
inline constexpr int kVersionRevision = VRX_VERSION_REVISION;

// ", V<major>.<minor> (rev <revision>)", as appended to the header line.
inline QString HeaderVersionSuffix() {
    return QStringLiteral(", V%1.%2 (rev %3)")
        .arg(kVersionMajor)
        .arg(kVersionMinor)
        .arg(kVersionRevision);
}

}  // namespace vrx
