#include "usage_text.h"

#include <cctype>

#include "drv_op.h"

namespace x9rec {

namespace {

constexpr const char* kUsage =
    "Usage: x9rec PLUGIN [SCRIPT]\n"
    "       x9rec -h | --help | --version\n"
    "Loads a driver plug-in and runs a script of file operations against it (the\n"
    "SCRIPT file, else standard input), printing one result line per operation:\n"
    "  NAME ret=RESULT err=ERROR [(error name)] [str=\"TEXT\"] [rec=\"RECORD\"]\n"
    "PLUGIN is a path, or DOS / ASCII for the plug-ins beside the console.\n"
    "\n"
    "Script lines (blank lines and lines starting with # are skipped):\n"
    "  decl file=PATH fields=FIELDS [driver=TEXT] [owner=TEXT] [attr=N]\n"
    "                    declare the file; FIELDS is TYPE:SIZE[@OFFSET],... (18 text,\n"
    "                    4 a 32-bit number, 22 a group); attr=N adds declaration\n"
    "                    attributes: 0x02 details restricted, 0x04 create allowed\n"
    "                    (create needs it: attr=4), 0x10 one instance per thread,\n"
    "                    0x20 OEM; default 0\n"
    "  rec TEXT          fill the record buffer with TEXT, blank-padded\n"
    "  OPERATION ARGS    any operation by name, numbers (decimal or 0x hex) first,\n"
    "                    then its text: open 0x12, getat 11, send FILEBUFFERS=8\n"
    "  raw CODE ARGS...  call any operation code\n"
    "  scan              next until it fails: scan n=RECORDS err=ERROR\n"
    "  state             current and next position, last transfer, size, flags\n"
    "  fault KIND N [BYTES] | fault off\n"
    "                    fail the N-th host call of KIND once (write, shortwrite,\n"
    "                    read, seek, truncate, lock, alloc)\n"
    "  faults            faults fired=K since the script started\n"
    "\n"
    "Exit status: 0 the script ran to its end, 1 the plug-in or script could not\n"
    "be loaded, 2 a line could not be parsed (named on standard error).\n"
    "\n"
    "Operations:\n";

}  // namespace

std::string UsageText() {
    std::string text = kUsage;
    std::string line = " ";
    for (const auto& op : kDrvOpNames) {
        std::string name(op.name);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (line.size() + name.size() + 1 > 78) {
            text += line + "\n";
            line = " ";
        }
        line += " " + name;
    }
    return text + line + "\n";
}

}  // namespace x9rec
