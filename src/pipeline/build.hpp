// The build road: an authored document to canonical text in one call, the
// compiler and the denormalizer sharing one resolver. An authored schema
// handed in beside the document is compiled first and preloaded under the
// name its declaration gives, and the document is made to name it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/utf8.hpp"

namespace bezo {

class Resolver;

// The canonical text of the document, under the schema when there is one.
// A schema whose first line is not a ".!hezo" declaration, or names no
// schema, is refused with an Other error: "schema must open with a .!hezo
// declaration" or "the .!hezo declaration names no schema". Texts known to be
// UTF-8 (a str's) are not checked as UTF-8 again.
Result<std::string> build_document(std::string_view text, std::optional<std::string_view> schema,
                                   Utf8State utf8 = Utf8State::Unchecked);
// The same with the caller's resolver, which the schema is preloaded into: a
// host that serves modules its own way (from preloaded texts only, say)
// hands it in.
Result<std::string> build_document(std::string_view text, std::optional<std::string_view> schema, Resolver& resolver,
                                   Utf8State utf8 = Utf8State::Unchecked);

}  // namespace bezo
