#include "core/fault.hpp"

namespace bezo {

void raise_fault(const std::string& message) { throw Fault(message); }

}  // namespace bezo
