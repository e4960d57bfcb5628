#include "interchange/binary_export.hpp"

#include "interchange/canonical_reader.hpp"
#include "interchange/canonical_to_value.hpp"

namespace bezo {

Result<std::vector<std::uint8_t>> encode_canonical_tree(const CanonicalValue& tree, BinaryValueEncoder encode) {
    auto value = tree_to_value(tree);
    if (!value) return forward_error(value);
    std::vector<std::uint8_t> out;
    if (auto written = encode(*value, out, 0); !written) return forward_error(written);
    return out;
}

Result<std::vector<std::uint8_t>> encode_canonical_text(
    std::string_view canonical_text, Result<std::vector<std::uint8_t>> (*body)(const CanonicalValue& tree)) {
    auto tree = canonical_to_tree_borrowing(canonical_text);
    if (!tree) return forward_error(tree);
    return body(*tree);
}

}  // namespace bezo
