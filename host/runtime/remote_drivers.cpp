// Remote drivers: an in-process registry that tests fill with handlers; the
// redirection of a file finds a driver by (driver name, target) and opens a
// remote file per (declaration, thread).
#include <cstdarg>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "host_control.h"

namespace {

struct RemoteDriver {
    std::string driver, target;
    x9host::RemoteHandler handler;
};

struct RemoteFile {
    RemoteDriver* driver;
    const Drv_FileDecl* declaration;
    int32_t thread;
};

std::mutex mutex;
std::vector<std::unique_ptr<RemoteDriver>> drivers;
std::vector<std::unique_ptr<RemoteFile>> files;

}  // namespace

namespace x9host {

void registerRemoteDriver(const std::string& driver, const std::string& target,
                          RemoteHandler handler) {
    std::lock_guard lock(mutex);
    drivers.push_back(
        std::make_unique<RemoteDriver>(RemoteDriver{driver, target, std::move(handler)}));
}

void clearRemoteDrivers() {
    std::lock_guard lock(mutex);
    files.clear();
    drivers.clear();
}

int32_t remoteFilesAlive() {
    std::lock_guard lock(mutex);
    return static_cast<int32_t>(files.size());
}

}  // namespace x9host

extern "C" {

intptr_t FindRemoteDriver() {
    std::string target = x9host::popString();
    std::string driver = x9host::popString();
    std::lock_guard lock(mutex);
    for (auto& candidate : drivers)
        if (candidate->driver == driver && candidate->target == target)
            return reinterpret_cast<intptr_t>(candidate.get());
    return 0;
}

intptr_t FindRemoteFile(intptr_t driver, Drv_FileDecl* declaration, int32_t thread) {
    if (!driver) return 0;
    std::lock_guard lock(mutex);
    for (auto& file : files)
        if (file->declaration == declaration && file->thread == thread)
            return reinterpret_cast<intptr_t>(file.get());
    files.push_back(std::make_unique<RemoteFile>(
        RemoteFile{reinterpret_cast<RemoteDriver*>(driver), declaration, thread}));
    return reinterpret_cast<intptr_t>(files.back().get());
}

// The arguments after the code depend on the code, as the drivers forward them.
int32_t CallRemoteFile(intptr_t file, int32_t code, ...) {
    auto* remote = reinterpret_cast<RemoteFile*>(file);
    if (!remote) return 96;
    x9host::RemoteCall call{code, {}, {}};
    va_list args;
    va_start(args, code);
    switch (code) {
        case 25:
        case 48:
            call.numbers.push_back(va_arg(args, intptr_t));
            break;
        case 60: {
            const char* text = va_arg(args, const char*);
            call.text = text ? text : "";
            break;
        }
        case 63: {
            va_arg(args, intptr_t);
            const char* text = va_arg(args, const char*);
            intptr_t length = va_arg(args, intptr_t);
            if (text && length > 0) call.text.assign(text, static_cast<std::size_t>(length));
            break;
        }
        case 71:
            call.numbers.push_back(va_arg(args, intptr_t));
            call.numbers.push_back(va_arg(args, intptr_t));
            call.text = x9host::popString();
            break;
        default:
            break;
    }
    va_end(args);
    return remote->driver->handler ? remote->driver->handler(call) : 0;
}

void DestroyRemoteFile(intptr_t, Drv_FileDecl* declaration, int32_t thread) {
    std::lock_guard lock(mutex);
    std::erase_if(files, [&](const std::unique_ptr<RemoteFile>& f) {
        return f->declaration == declaration && f->thread == thread;
    });
}

}  // extern "C"
