#include "avro/avro_export.hpp"

#include <algorithm>
#include <string>

#include "avro/avro_encode.hpp"
#include "avro/avro_infer.hpp"
#include "core/budget.hpp"
#include "interchange/canonical_reader.hpp"
#include "interchange/canonical_to_value.hpp"

namespace bezo {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::string_view kMagic("Obj\x01", 4);
// The same marker closes the header and the one data block of every file.
constexpr std::string_view kSyncMarker = "bezo.avro.sync!!";
// The most bytes a long takes.
constexpr std::size_t kLongRoom = 10;

void append_text(std::string_view text, Bytes& out) { out.insert(out.end(), text.begin(), text.end()); }

// The magic, the metadata map of the schema and the "null" codec, and the
// sync marker.
void write_header(std::string_view schema_json, Bytes& out) {
    append_text(kMagic, out);
    write_avro_long(2, out);
    write_avro_bytes("avro.schema", out);
    write_avro_bytes(schema_json, out);
    write_avro_bytes("avro.codec", out);
    write_avro_bytes("null", out);
    write_avro_long(0, out);
    append_text(kSyncMarker, out);
}

}  // namespace

Result<Bytes> encode_avro_container(const Value& value, std::size_t output_limit) {
    auto schema = infer_avro_schema(value, 0);
    if (!schema) return forward_error(schema);
    normalise_avro_schema(*schema);
    if (auto checked = check_avro_unions(*schema); !checked) return forward_error(checked);
    AvroRecordNames names;
    name_avro_records(*schema, "root", names);
    std::string schema_json;
    if (auto written = write_avro_schema_json(*schema, schema_json); !written) return forward_error(written);

    // The datum is written in place after room for its length, which is
    // known only afterwards; the room left over is then closed up.
    Bytes file;
    write_header(schema_json, file);
    write_avro_long(1, file);
    const std::size_t length_at = file.size();
    file.resize(length_at + kLongRoom);
    if (auto encoded = encode_avro_datum(value, *schema, file, 0, output_limit); !encoded) {
        return forward_error(encoded);
    }
    Bytes length;
    write_avro_long(static_cast<std::int64_t>(file.size() - length_at - kLongRoom), length);
    std::ranges::copy(length, file.begin() + static_cast<std::ptrdiff_t>(length_at));
    file.erase(file.begin() + static_cast<std::ptrdiff_t>(length_at + length.size()),
               file.begin() + static_cast<std::ptrdiff_t>(length_at + kLongRoom));
    append_text(kSyncMarker, file);
    if (file.size() > output_limit) return std::unexpected(output_budget_exceeded(output_limit));
    return file;
}

Result<Bytes> export_avro(std::string_view canonical_text) {
    // The canonical tree is dropped once converted: the value tree, the
    // schema and the file are what the rest of the export needs.
    Result<Value> value = [canonical_text]() -> Result<Value> {
        auto tree = canonical_to_tree(canonical_text);
        if (!tree) return forward_error(tree);
        return tree_to_value(*tree);
    }();
    if (!value) return forward_error(value);
    return encode_avro_container(*value, output_budget(canonical_text.size()));
}

}  // namespace bezo
