// The loader's INI file, read with the common Windows profile rules: "[name]"
// opens a section, "key=value" gives a value; section and key names match
// without regard to case; blanks around names and values are dropped, and a
// value in matching quotes loses them; the first occurrence of a key wins;
// lines starting with ";" or "#" are comments. The program never writes it.
//
// Also the rules for one slot's value ("path,address") and the optional
// [PORTS] section that maps COM1..COM8 to devices. No widget types.
#pragma once

#include <QMap>
#include <QString>

namespace vrx {

// Longest value ReadIniValue hands back (the profile reader's 255-character
// buffer less its terminator).
inline constexpr int kIniValueMax = 254;

// The value of `key` in `section` of `file`, at most 254 characters; "" when
// the file, section or key is missing.
QString ReadIniValue(const QString& file, const QString& section, const QString& key);

// A slot's INI value split into the full file path and the address text.
struct IniSlotValue {
    QString path;     // trimmed, "\" read as "/", resolved against the program folder
    QString address;  // trimmed second field, or "0" when there is none
};
IniSlotValue ParseIniSlotValue(const QString& value, const QString& programFolder);

// Section and key of slot i, in reading order.
struct IniSlotKey {
    const char* section;
    const char* key;
};
inline constexpr IniSlotKey kIniSlotKeys[7] = {
    {"BINFILES", "PRIMARY"}, {"BINFILES", "SECONDARY"}, {"IMGFILES", "UBOOT"},
    {"IMGFILES", "ROOTFS"},  {"IMGFILES", "KERNEL"},    {"BINFILES", "FLASH"},
    {"BINFILES", "FL_BURN"},
};

// The [PORTS] section: port number (1..8) -> device path, for COMn keys.
QMap<int, QString> ReadIniPorts(const QString& file);

}  // namespace vrx
