// Property codes and indexes, and the option texts of Send, against both
// plug-ins: a sequence of GetProperty, SetProperty, GetKeyProperty (without a
// key) and Send calls with arbitrary code texts, indexes and values on an open
// file. No call may crash, and the file stays usable: a record added
// afterwards reads back.
#include <cstdlib>

#include "drv_op.h"
#include "fuzz_bytes.h"
#include "fuzz_plugins.h"
#include "record_description.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// Indexes near the field count and the large-field range, plus the extremes.
intptr_t indexFrom(x9fuzz::ByteReader& in) {
    const intptr_t choices[] = {0, 1, 2, 3, -1, -2, 4, 100, -100, INTPTR_MAX, INTPTR_MIN};
    uint8_t pick = in.byte();
    if (pick < 200) return choices[pick % std::size(choices)];
    return static_cast<int32_t>(in.u32());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    x9fuzz::ByteReader in(data, size);
    const bool text = in.flag();
    const auto& plugin = text ? x9fuzz::asciiPlugin() : x9fuzz::dosPlugin();
    const std::string path = x9fuzz::scratchFile("p.dat");
    x9fuzz::writeFile(path, "");

    x9host::DeclarationSpec spec;
    spec.fileName = path;
    spec.fields = *x9host::parseFieldList("18:4,18:6");
    spec.driverString = in.until('\0');
    spec.owner = "ME";
    spec.attributes = kDeclCreateAllowed;
    x9host::Declaration decl(spec);
    if (x9fuzz::call(plugin, decl, Open, {0x12}).err != 0) return 0;

    for (int step = 0; step < 16 && !in.empty(); ++step) {
        const uint8_t kind = in.byte() % 4;
        const intptr_t index = indexFrom(in);
        const std::string code = in.until('\0');
        switch (kind) {
            case 0:
                x9fuzz::call(plugin, decl, GetProperty, {index}, {code});
                break;
            case 1:
                x9fuzz::call(plugin, decl, SetProperty, {index}, {in.until('\0'), code});
                break;
            case 2:
                x9fuzz::call(plugin, decl, GetKeyProperty, {0, index}, {code});
                break;
            default:
                x9fuzz::call(plugin, decl, Send, {}, {code});
                break;
        }
    }

    // Whatever the options did, an added record must read back as written.
    decl.setRecord("abcdefghij");
    if (x9fuzz::call(plugin, decl, Add).err == 0) {
        decl.setRecord("");
        check(x9fuzz::call(plugin, decl, SetFirst).err == 0);
        if (x9fuzz::call(plugin, decl, Next).err == 0 && !text)
            check(decl.recordText() == "abcdefghij");
    }
    x9host::releaseDeclaration(plugin, decl);
    return 0;
}
