// Image download in Link: the U-Boot, root file system and kernel images of
// slots 2 to 4 through the primary loader that already runs on the target.
#include "link.h"
#include "loader_state.h"

namespace vrx {

void Link::cmdURK_Click() {
    auto& st = loaderState();
    if (!front_.checkAddresses()) return;
    st.bBusy = true;
    st.bCancel = false;
    front_.setControlEnabled(Control::URK, false);
    front_.setControlEnabled(Control::StartPrimary, false);
    front_.setControlEnabled(Control::StartSecondary, false);
    try {
        bool programmed = false;
        SetTerminalMode(programmed);
        bool ok = true;
        for (int i = 2; i <= 4; ++i) {
            if (ok && front_.slotTicked(i)) SendImage(i, ok);
        }
        if (ok) {
            st.bBusy = false;
            front_.setControlEnabled(Control::URK, true);
            front_.setControlEnabled(Control::StartPrimary, true);
            front_.setControlEnabled(Control::StartSecondary, true);
            return;
        }
        cancelPath(Control::StartPrimary);
    } catch (const std::exception& e) {
        failSequence(Control::StartPrimary, e);
    }
}

}  // namespace vrx
