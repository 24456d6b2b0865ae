// The application side of the host: a driver plug-in loaded by path, its
// registration record and entry found by their export names.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "drv_records.h"

namespace x9host {

class Plugin {
  public:
    // Loads the library with every symbol bound now; throws std::runtime_error
    // when it cannot be loaded or lacks the two exports for its registration.
    // The export names follow from the registered driver: DOS and Dos$DrvReg,
    // ASCII and Asc$DrvReg.
    explicit Plugin(const std::string& path);
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    DrvEntry entry() const { return entry_; }
    const DrvReg& registration() const { return *registration_; }
    std::string driverName() const { return registration_->driverName; }
    void* symbol(const char* name) const;

  private:
    struct Closer {
        void operator()(void* handle) const;
    };
    std::unique_ptr<void, Closer> handle_;
    DrvEntry entry_ = nullptr;
    const DrvReg* registration_ = nullptr;
};

}  // namespace x9host
