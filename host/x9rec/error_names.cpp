#include "error_names.h"

namespace x9rec {

namespace {

struct NamedError {
    int32_t err;
    const char* name;
};

constexpr NamedError kErrors[] = {
    {2, "file not found"},
    {3, "path not found"},
    {4, "too many open files"},
    {5, "OS failure"},
    {6, "file not open"},
    {32, "locked elsewhere"},
    {33, "end of file"},
    {45, "no file name"},
    {47, "declaration refused"},
    {54, "create not allowed"},
    {75, "record description refused"},
    {79, "record description refused"},
    {80, "not supported"},
    {90, "a file is redirected"},
    {95, "no remote driver"},
    {96, "no remote file"},
};

}  // namespace

const char* ErrorName(int32_t err) {
    for (const NamedError& e : kErrors) {
        if (e.err == err) return e.name;
    }
    return "";
}

std::string ErrorText(int32_t err) {
    std::string text = "err=" + std::to_string(err);
    if (const std::string name = ErrorName(err); !name.empty()) text += " (" + name + ")";
    return text;
}

}  // namespace x9rec
