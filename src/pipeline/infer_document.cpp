#include "pipeline/infer_document.hpp"

#include "lang/schema_name.hpp"
#include "pipeline/build.hpp"
#include "pipeline/infer.hpp"

namespace bezo {

Result<std::string> infer_document(std::string_view text, std::string_view name, Utf8State utf8) {
    if (auto checked = check_schema_name(name, "infer"); !checked) return forward_error(checked);
    // The canonical text build gives: compile, then denormalize in place.
    auto canonical = build_document(text, std::nullopt, utf8);
    if (!canonical) return canonical;
    return infer_main(*canonical, name);
}

}  // namespace bezo
