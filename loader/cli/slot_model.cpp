#include "slot_model.h"

#include <QFileInfo>

#include "address_check.h"
#include "slot_rules.h"

namespace vrx::cli {

SlotModel::SlotModel() {
    for (int i = 0; i < kSlotCount; ++i) slots_[i].address = InitialAddressText(i);
}

void SlotModel::loadIni(const QString& iniFile, const QString& folder) {
    const auto fills = IniSlotFills(iniFile, folder);
    for (int i = 0; i < kSlotCount; ++i) {
        if (fills[i]) apply(i, *fills[i]);
    }
}

bool SlotModel::browse(int i, const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) return false;
    apply(i, BrowsedSlotFill(info.absoluteFilePath()));
    return true;
}

void SlotModel::apply(int i, const SlotFill& fill) {
    Slot& s = slots_.at(i);
    if (fill.address) s.address = *fill.address;
    if (fill.size) s.size = *fill.size;
    s.name = fill.name;
    s.path = fill.path;
    s.toolTip = fill.toolTip;
    s.ticked = fill.ticked;
    if (i == 0 && primaryFileChanged) primaryFileChanged(!s.path.isEmpty());
}

void SlotModel::typeAddress(int i, const QString& text) {
    slots_.at(i).address = NormalizeAddressText(text, i);
}

void SlotModel::setTicked(int i, bool ticked) {
    Slot& s = slots_.at(i);
    s.ticked = ticked && !s.path.isEmpty();
}

}  // namespace vrx::cli
