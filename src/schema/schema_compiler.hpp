// The schema compiler: an authored schema (".!hezo") to a compiled schema
// (".!whezo"), the line text that the validator and the denormalizer read.
// One pass over the lexed lines: header directives, "[...]" sections,
// "(...)" blocks (map heads and delegations), annotation lines and fields,
// whose types are lowered into constraint items. A parent named by
// ".!schema" is compiled by the same pass and its lines are merged into the
// child's output, the child's own lines winning. The result is read back
// with the compiled-schema reader before it is returned.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "core/utf8.hpp"
#include "lang/resolve.hpp"
#include "schema/compiled.hpp"

namespace bezo {

// Compiles an authored schema with the call's resolver, which serves the
// parents, type libraries and unit modules the schema names. A text known to
// be UTF-8 (a str's) is not checked as UTF-8 again; the parents always are.
Result<std::string> compile_schema_text(std::string_view text, Resolver& resolver,
                                        Utf8State utf8 = Utf8State::Unchecked);

// The same compilation, giving the compiled schema that the compiler reads
// back from its text: what `load_compiled_schema` gives for the text
// `compile_schema_text` returns, so a caller need not read that text again.
Result<CompiledSchema> compile_schema(std::string_view text, Resolver& resolver, Utf8State utf8 = Utf8State::Unchecked);

}  // namespace bezo
