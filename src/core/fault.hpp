// Faults: broken internal invariants. They are the one thing the core may
// throw; the Python shell ends the call with PanicException and stays usable.
#pragma once

#include <stdexcept>
#include <string>

namespace bezo {

class Fault : public std::runtime_error {
public:
    explicit Fault(const std::string& message) : std::runtime_error(message) {}
};

[[noreturn]] void raise_fault(const std::string& message);

}  // namespace bezo
