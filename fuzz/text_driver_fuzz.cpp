// The text plug-in reading arbitrary file bytes under arbitrary options: a
// driver string and Send texts (both option parsers, the core's and the text
// driver's) set ENDOFRECORD, CTRLZISEOF, TAB, CLIP, FILEBUFFERS and QUICKSCAN,
// then Next runs to the end of the file. Every record read must take at least
// one byte of the file, so the scan always ends; Previous from the end must
// end as well.
#include <cstdlib>

#include "drv_op.h"
#include "fuzz_bytes.h"
#include "fuzz_plugins.h"
#include "record_description.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    x9fuzz::ByteReader in(data, size);
    const int32_t recordLength = 1 + in.byte() % 40;
    const std::string driverString = in.until('\0');
    std::vector<std::string> options;
    for (std::string text = in.until('\0'); !text.empty(); text = in.until('\0')) {
        for (std::size_t at = 0, next; at <= text.size(); at = next + 1) {
            next = text.find('\n', at);
            if (next == std::string::npos) next = text.size();
            options.push_back(text.substr(at, next - at));
        }
    }
    const std::string bytes = in.rest();
    const std::string path = x9fuzz::scratchFile("t.txt");
    x9fuzz::writeFile(path, bytes);

    x9host::DeclarationSpec spec;
    spec.fileName = path;
    spec.fields = *x9host::parseFieldList("18:" + std::to_string(recordLength));
    spec.driverString = driverString;
    spec.attributes = kDeclCreateAllowed;
    x9host::Declaration decl(spec);
    const auto& plugin = x9fuzz::asciiPlugin();
    if (x9fuzz::call(plugin, decl, Open, {0x12}).err != 0) return 0;
    for (const std::string& option : options) {
        auto r = x9fuzz::call(plugin, decl, Send, {}, {option});
        check(r.err == 0);
    }

    x9fuzz::call(plugin, decl, SetFirst);
    std::size_t records = 0;
    while (x9fuzz::call(plugin, decl, Next).err == 0) check(++records <= bytes.size() + 1);
    std::size_t backwards = 0;
    while (x9fuzz::call(plugin, decl, Previous).err == 0) check(++backwards <= bytes.size() + 1);
    x9host::releaseDeclaration(plugin, decl);
    return 0;
}
