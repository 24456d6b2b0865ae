#include "slot_model.h"

#include <QFileInfo>

#include "address_check.h"
#include "file_paths.h"
#include "ini_file.h"

namespace vrx::cli {

namespace {

constexpr const char* kInitialAddress[kSlotCount] = {
    "0x0", "0x80000000", "0x80000000", "0x80000000", "0x80000000", "0x00000000", "0x0",
};

}  // namespace

const std::array<QString, 8>& SlotNames() {
    static const std::array<QString, 8> names = {
        QString(),
        QStringLiteral("Secondary Executable"),
        QStringLiteral("UBoot image"),
        QStringLiteral("Root FS image"),
        QStringLiteral("Kernel image"),
        QStringLiteral("UBoot marker (0x80000000)"),
        QStringLiteral("UBoot marker (0x82000000)"),
        QStringLiteral("maximum address"),
    };
    return names;
}

SlotModel::SlotModel() {
    for (int i = 0; i < kSlotCount; ++i) slots_[i].address = kInitialAddress[i];
}

void SlotModel::loadIni(const QString& iniFile, const QString& folder) {
    // All values are read before any slot changes, as the window does.
    std::array<QString, kSlotCount> values;
    for (int i = 0; i < kSlotCount; ++i)
        values[i] = ReadIniValue(iniFile, kIniSlotKeys[i].section, kIniSlotKeys[i].key);

    for (int i = 0; i < kSlotCount; ++i) {
        if (values[i].isEmpty()) continue;
        const IniSlotValue entry = ParseIniSlotValue(values[i], folder);
        Slot& s = slots_[i];
        if (FileExists(entry.path, true)) {
            s.address = NormalizeAddressText(entry.address, i);
            s.size = FileSizeText(entry.path).value_or(QString());
            s.name = FileNameOf(entry.path);
            s.path = entry.path;
            s.toolTip = QStringLiteral("Path: ") + DirectoryOf(entry.path);
            s.ticked = true;
        } else {
            s.name = QStringLiteral("CAN'T FIND: ") + FileNameOf(entry.path);
            s.toolTip = QStringLiteral("File Not Found, check .INI file");
            s.path.clear();
            s.address =
                (i == 0 || i == 5) ? QStringLiteral("0x0000") : QStringLiteral("0x80000004");
            s.size.clear();
            s.ticked = false;
        }
        if (i == 0 && primaryFileChanged) primaryFileChanged(!s.path.isEmpty());
    }
}

bool SlotModel::browse(int i, const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable()) return false;
    const QString full = info.absoluteFilePath();
    Slot& s = slots_.at(i);
    s.name = FileNameOf(full);
    s.path = full;
    s.toolTip = QStringLiteral("Path: ") + DirectoryOf(full);
    if (const auto size = FileSizeText(full)) s.size = *size;
    s.ticked = true;
    if (i == 0 && primaryFileChanged) primaryFileChanged(true);
    return true;
}

void SlotModel::typeAddress(int i, const QString& text) {
    slots_.at(i).address = NormalizeAddressText(text, i);
}

void SlotModel::setTicked(int i, bool ticked) {
    Slot& s = slots_.at(i);
    s.ticked = ticked && !s.path.isEmpty();
}

}  // namespace vrx::cli
