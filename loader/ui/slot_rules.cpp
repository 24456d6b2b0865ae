#include "slot_rules.h"

#include "address_check.h"
#include "file_paths.h"
#include "ini_file.h"

namespace vrx {

namespace {

constexpr const char* kInitialAddress[kSlotCount] = {
    "0x0", "0x80000000", "0x80000000", "0x80000000", "0x80000000", "0x00000000", "0x0",
};

SlotFill foundFile(const QString& path, const QString& addressText, int slot) {
    SlotFill fill;
    fill.address = NormalizeAddressText(addressText, slot);
    fill.size = FileSizeText(path).value_or(QString());
    fill.name = FileNameOf(path);
    fill.path = path;
    fill.toolTip = QStringLiteral("Path: ") + DirectoryOf(path);
    fill.ticked = true;
    return fill;
}

SlotFill missingFile(const QString& path, int slot) {
    SlotFill fill;
    fill.name = QStringLiteral("CAN'T FIND: ") + FileNameOf(path);
    fill.toolTip = QStringLiteral("File Not Found, check .INI file");
    fill.address = (slot == 0 || slot == 5) ? QStringLiteral("0x0000") : QStringLiteral("0x80000004");
    fill.size = QString();
    fill.ticked = false;
    return fill;
}

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

QString InitialAddressText(int slot) {
    return QString::fromLatin1(kInitialAddress[slot]);
}

std::array<std::optional<SlotFill>, kSlotCount> IniSlotFills(const QString& iniFile,
                                                             const QString& folder) {
    std::array<QString, kSlotCount> values;
    for (int i = 0; i < kSlotCount; ++i)
        values[i] = ReadIniValue(iniFile, kIniSlotKeys[i].section, kIniSlotKeys[i].key);

    std::array<std::optional<SlotFill>, kSlotCount> fills;
    for (int i = 0; i < kSlotCount; ++i) {
        if (values[i].isEmpty()) continue;
        const IniSlotValue entry = ParseIniSlotValue(values[i], folder);
        fills[i] = FileExists(entry.path, true) ? foundFile(entry.path, entry.address, i)
                                                : missingFile(entry.path, i);
    }
    return fills;
}

SlotFill BrowsedSlotFill(const QString& path) {
    SlotFill fill;
    fill.name = FileNameOf(path);
    fill.path = path;
    fill.toolTip = QStringLiteral("Path: ") + DirectoryOf(path);
    fill.size = FileSizeText(path);
    fill.ticked = true;
    return fill;
}

}  // namespace vrx
