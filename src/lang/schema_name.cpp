#include "lang/schema_name.hpp"

#include <string>

#include "core/text.hpp"

namespace bezo {

Result<void> check_schema_name(std::string_view name, std::string_view role) {
    const auto refuse = [&](std::string_view why) {
        return fail(std::string(role) + " name must " + std::string(why));
    };
    if (name.find_first_of("\r\n") != std::string_view::npos) return refuse("not hold a line break");
    if (name.find('\0') != std::string_view::npos) return refuse("not hold a NUL character");
    if (name.find_first_of(" \t\f") != std::string_view::npos) return refuse("be one word: no blank, tab or form feed");
    if (!name.empty() && is_ascii_digit(name.front())) {
        return refuse("not begin with a digit: it would read as a version");
    }
    // The header word a compiled schema's declaration line is read for.
    if (name == "strict") return refuse("not be the word \"strict\": it would read as a flag");
    return {};
}

}  // namespace bezo
