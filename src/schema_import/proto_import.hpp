// Protocol Buffers in, authored schema out: the body of
// import_schema("proto", ...). One message of a self-contained .proto text
// becomes the schema; nothing else is read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "schema_import/proto_model.hpp"

namespace bezo {

// The whole authored schema of the message `message` (the only file-level
// message when absent), declared under `name` as given.
Result<std::string> import_proto(std::string_view text, std::optional<std::string_view> message, std::string_view name);

// The index in `messages` of the message whose full name or last component
// is `message`; without one, of the only file-level message.
Result<std::size_t> select_root_message(const ProtoFile& file, std::optional<std::string_view> message);

}  // namespace bezo
