// Loading a plug-in: dlopen with RTLD_NOW so a missing host service shows at
// load time, then the registration record and entry by their export names.
#include "plugin.h"

#include <dlfcn.h>

namespace x9host {

namespace {

struct ExportNames {
    const char* registration;
    const char* entry;
};

constexpr ExportNames kKnownExports[] = {{"Dos$DrvReg", "DOS"}, {"Asc$DrvReg", "ASCII"}};

}  // namespace

void Plugin::Closer::operator()(void* handle) const {
    dlclose(handle);
}

Plugin::Plugin(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) {
        const char* why = dlerror();
        throw std::runtime_error("cannot load " + path + ": " + (why ? why : "unknown"));
    }
    for (const auto& names : kKnownExports) {
        auto* reg = static_cast<const DrvReg*>(symbol(names.registration));
        auto entry = reinterpret_cast<DrvEntry>(symbol(names.entry));
        if (reg && entry) {
            registration_ = reg;
            entry_ = entry;
            return;
        }
    }
    throw std::runtime_error(path + " exports no driver registration and entry");
}

Plugin::~Plugin() = default;

void* Plugin::symbol(const char* name) const {
    return dlsym(handle_.get(), name);
}

}  // namespace x9host
