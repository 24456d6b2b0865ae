// How the seven image slots are filled, shared by the window's slot controls
// and vrxload's slot model: the slot names, each slot's initial address text,
// what the INI file puts into a slot (a missing file shows "CAN'T FIND: ") and
// what choosing a file as "Browse" does. No widget types; each front end only
// copies a SlotFill into its own store.
#pragma once

#include <QString>
#include <array>
#include <optional>

#include "loader_state.h"

namespace vrx {

// The slot names sSlotName holds, by index 0..7.
const std::array<QString, 8>& SlotNames();

// The address text slot i shows before anything is loaded into it.
QString InitialAddressText(int slot);

// The new contents of one slot. Fields left empty (nullopt) keep what the slot
// shows; the others replace it. A slot has a file exactly when `path` is not
// empty, which is also what enables the primary load for slot 0.
struct SlotFill {
    QString name;     // the file name box
    QString path;     // the full path behind it
    QString toolTip;  // the file name box's tool tip
    std::optional<QString> address;
    std::optional<QString> size;
    bool ticked = false;
};

// What "Load INI file" puts into each slot, by slot; nullopt leaves a slot
// alone (no value in the file). All values are read before any is applied,
// and relative paths resolve against `folder`.
std::array<std::optional<SlotFill>, kSlotCount> IniSlotFills(const QString& iniFile,
                                                             const QString& folder);

// What choosing `path` with "Browse" puts into a slot. The address stays; a
// file that vanished after choosing keeps the old size text.
SlotFill BrowsedSlotFill(const QString& path);

}  // namespace vrx
