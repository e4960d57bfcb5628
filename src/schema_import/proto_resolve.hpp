// Type resolution of a parsed .proto text: the last step of parsing, run
// once the whole text has been read, since a field may name a type declared
// further down, relatively or fully qualified.
#pragma once

#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "schema_import/proto_model.hpp"

namespace bezo {

// Turns the field declarations of each pending message, in the list's order
// (inner messages before the messages that hold them), into the message's
// resolved fields. Refuses a field number used twice in one message, a name
// that no message or enum of the file declares, and a map key that is not
// an integral, bool or string type. `package` is the last package declared.
Result<void> resolve_proto_fields(ProtoFile& file, const std::vector<ProtoPendingFields>& pending,
                                  std::string_view package);

}  // namespace bezo
