#include "driver_call.h"

#include <algorithm>
#include <array>

#include "drv_op.h"
#include "host_control.h"

namespace x9host {

CallResult callDriver(const Plugin& plugin, Declaration& declaration, int32_t code,
                      const std::vector<intptr_t>& args, const std::vector<std::string>& strings) {
    std::size_t depth = stringStackDepth();
    for (auto s = strings.rbegin(); s != strings.rend(); ++s)
        Hrt$PushString(s->data(), static_cast<int32_t>(s->size()));
    // Room past the given arguments, so a driver reading more finds zeros. The
    // usual few arguments stay on the stack: a heap block per call would weigh
    // on every benchmark figure of the drivers.
    constexpr std::size_t kSpare = 8, kOnStack = 16;
    std::array<intptr_t, kOnStack + kSpare> small{};
    std::vector<intptr_t> large;
    intptr_t* words = small.data();
    if (args.size() > kOnStack) {
        large.assign(args.size() + kSpare, 0);
        words = large.data();
    }
    std::copy(args.begin(), args.end(), words);
    declaration.noteCalledBy(plugin);
    uint64_t serial = errorSerial();
    CallResult result;
    result.ret = plugin.entry()(code, declaration.get(), words);
    if (errorSerial() != serial) result.err = errorCode();
    if (pushesResult(code) && stringStackDepth() > 0) result.str = popString();
    dropStrings(depth);
    return result;
}

void releaseDeclaration(const Plugin& plugin, Declaration& declaration) {
    for (int i = 0; i < 2 && declaration.block(); ++i) callDriver(plugin, declaration, Close);
}

}  // namespace x9host
