// The instruction text shown while the loader waits for the boot ROM's boot
// ID: the waiting dialog's label and vrxload's notice. No widget types.
#pragma once

#include <QString>

namespace vrx {

// The instruction text of lblMsg.
QString WaitForCommMessage();

}  // namespace vrx
