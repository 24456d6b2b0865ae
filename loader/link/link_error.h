// A run-time error inside a loader sequence that is not the port's fault: a
// missing or unreadable file, a number text that is no number. Like SerialError
// it is caught by the button handler that started the sequence and shown as the
// communication error message.
#pragma once

#include <stdexcept>

namespace vrx {

class LinkError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace vrx
