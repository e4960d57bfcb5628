#include "schema_import/xsd_resolve.hpp"

#include "schema_import/xsd_simple_type.hpp"

namespace bezo {

Result<XsdType> resolve_element_type(XsdContext& context, const Value& element) {
    if (find_attribute(element, "ref")) return XsdUnresolved{};
    if (const auto type_name = find_attribute(element, "type")) return resolve_xsd_type_name(context, *type_name);
    if (const auto complex = context.children(element, "complexType"); complex.size() == 1) {
        return XsdComplex{&complex.front()};
    }
    if (const auto simple = context.children(element, "simpleType"); simple.size() == 1) {
        return convert_xsd_simple_type(context, simple.front());
    }
    return XsdUnresolved{};
}

Result<XsdType> resolve_xsd_type_name(XsdContext& context, std::string_view type_name) {
    const std::string_view local = xsd_local_name(type_name);
    if (auto builtin = map_xsd_builtin(context, local)) return std::move(*builtin);
    auto complex = context.named_complex_type(local);
    if (!complex) return forward_error(complex);
    if (*complex) return XsdComplex{*complex};
    auto simple = context.named_simple_type(local);
    if (!simple) return forward_error(simple);
    if (*simple) return convert_xsd_simple_type(context, **simple);
    return XsdUnresolved{};
}

}  // namespace bezo
