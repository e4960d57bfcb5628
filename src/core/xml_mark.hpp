// The header line that XML import writes after the declaration of every
// document it reads. XML cannot tell one occurrence of an element from a
// list of one, nor an empty element from an empty record; the line tells
// build against a schema that such shapes may be lifted to the list or the
// record the schema declares. Readers of canonical text skip ".?" lines, so
// the line changes no export, validation or inference, and build against a
// schema drops it.
#pragma once

#include <string_view>

namespace bezo {

inline constexpr std::string_view kXmlShapeMark = ".?xml";

}  // namespace bezo
