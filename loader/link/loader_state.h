// The loader's module-wide run state, under the program's own names. One
// instance lives for the whole program (`loaderState()`); the window, the
// command-line front end and the sequences all read and write it on the one
// UI thread. Everything starts false, zero or empty.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

namespace vrx {

inline constexpr const char* kProgramTitle = "VRX5520_Loader";
inline constexpr int kSlotCount = 7;  // image slots 0..6
inline constexpr int kPortCount = 8;  // COM1: .. COM8:

struct LoaderState {
    bool bCancel = false;
    bool bBusy = false;
    bool bDebug = false;
    bool bTerminalMode = false;
    QString sWaitFor;
    QString sIniFile;
    QString sMsg;
    std::int32_t lBytesSent = 0;
    std::int32_t lBytesTotal = 0;
    std::array<QString, 8> sSlotName;
    QString sRxChar;
};

LoaderState& loaderState();

// Back to the start-up values (tests run many windows in one process).
void resetLoaderState();

}  // namespace vrx
