// The validate road: a canonical document checked against a schema handed
// in as text, in one call. The schema is compiled text when its first line,
// after leading white space, opens with ".!whezo", and is read; anything
// else is authored, compiled with a resolver (one of the call's own unless
// the caller hands one in) and used as the compiler reads it back.
#pragma once

#include <expected>
#include <string_view>
#include <variant>

#include "core/error.hpp"
#include "core/utf8.hpp"

namespace bezo {

class Resolver;

// The schema could not be compiled or read: nothing was said of the document.
struct SchemaFailure {
    Error error;
};

// Why validation did not pass: the schema failed, or the document broke it
// (the verdict of its first violation).
using ValidationFailure = std::variant<SchemaFailure, AppErrorAt>;

// An authored schema known to be UTF-8 (a str's) is not checked as UTF-8
// again.
[[nodiscard]] std::expected<void, ValidationFailure> validate_document(std::string_view document,
                                                                       std::string_view schema,
                                                                       Utf8State utf8 = Utf8State::Unchecked);
// The same, an authored schema compiled with `resolver`: a host that serves
// modules its own way (from preloaded texts only, say) hands it in.
[[nodiscard]] std::expected<void, ValidationFailure> validate_document(std::string_view document,
                                                                       std::string_view schema, Resolver& resolver,
                                                                       Utf8State utf8 = Utf8State::Unchecked);

}  // namespace bezo
