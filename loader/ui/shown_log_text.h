// How the status log shows on screen, in the window's status box and on
// vrxload's standard output alike. No widget types.
#pragma once

#include <QString>

namespace vrx {

// How a log text shows. The log keeps CR LF line breaks and any received
// control character as it came; the display shows LF as the line break, drops
// CR, and shows other control characters as their visible symbols, one shown
// character (at most) per log character.
QString ShownLogText(const QString& logText);

}  // namespace vrx
