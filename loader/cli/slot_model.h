// The seven image slots of vrxload, filled by the same slot rules as the
// window's slot controls (initial addresses, the INI file, "Browse") and with
// typed addresses normalised as the address boxes normalise them. Like the
// controls, the model is the only store of slot data while a sequence runs.
#pragma once

#include <QString>
#include <array>
#include <functional>

#include "loader_state.h"
#include "slot_rules.h"

namespace vrx::cli {

struct Slot {
    bool ticked = false;  // chkExeURK(i)
    QString name;         // txtFilNam(i)
    QString path;         // txtFilNam(i).Tag
    QString toolTip;
    QString address;  // txtStartAddress(i)
    QString size;     // lblCodeSize(i)
};

class SlotModel {
  public:
    SlotModel();

    const Slot& slot(int i) const { return slots_.at(i); }

    // Loads `iniFile` as the menu entry "Load INI file" does; relative paths
    // resolve against `folder`.
    void loadIni(const QString& iniFile, const QString& folder);
    // Chooses `path` for slot i as the file dialog of "Browse" would. False
    // (and nothing changed) when the path is no readable file, which the
    // dialog would not have let the user choose.
    bool browse(int i, const QString& path);
    // Types an address into slot i's box and leaves it (normalised).
    void typeAddress(int i, const QString& text);
    // The check box; ticking a slot that has no file leaves it clear.
    void setTicked(int i, bool ticked);

    // Told when slot 0 gains (true) or loses (false) its file, which enables
    // or disables "Load bin's / Start primary".
    std::function<void(bool)> primaryFileChanged;

  private:
    void apply(int i, const SlotFill& fill);

    std::array<Slot, kSlotCount> slots_;
};

}  // namespace vrx::cli
