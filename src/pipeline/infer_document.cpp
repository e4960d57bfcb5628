#include "pipeline/infer_document.hpp"

#include "lang/resolve.hpp"
#include "lang/schema_name.hpp"
#include "pipeline/compiler.hpp"
#include "pipeline/denorm.hpp"
#include "pipeline/infer.hpp"

namespace bezo {

Result<std::string> infer_document(std::string_view text, std::string_view name) {
    if (auto checked = check_schema_name(name, "infer"); !checked) return forward_error(checked);
    Resolver resolver;
    auto relational = compile_document(text, resolver);
    if (!relational) return relational;
    auto canonical = denormalize_document(*relational, resolver);
    if (!canonical) return canonical;
    return infer_main(*canonical, name);
}

}  // namespace bezo
