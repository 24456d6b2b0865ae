// Path and file helpers shared by file selection, the INI loader and start-up.
// Linux rules: "/" separates folders, and a path is absolute when it starts
// with "/". No widget types, so the command-line front end can use them too.
#pragma once

#include <QString>
#include <optional>

namespace vrx {

// True when `path` opens for reading as a file. With `rejectEmpty`, a file of
// 0 bytes counts as missing. Folders never count as files.
bool FileExists(const QString& path, bool rejectEmpty);

// An absolute path unchanged; anything else behind `programFolder` and "/".
QString ResolvePath(const QString& path, const QString& programFolder);

// Everything up to and including the last "/"; "" when there is none.
QString DirectoryOf(const QString& path);

// Everything after the last "/"; the whole path when there is none.
QString FileNameOf(const QString& path);

// "0x" and the length of the file in upper-case hex without leading zeros, or
// nothing when the file cannot be measured.
std::optional<QString> FileSizeText(const QString& path);

}  // namespace vrx
