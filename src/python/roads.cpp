#include "python/roads.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "interchange/json_export.hpp"
#include "interchange/json_import.hpp"
#include "pipeline/compiler.hpp"
#include "python/exceptions.hpp"

namespace bezo::py {
namespace {

using TextResult = Result<std::string>;
using BytesResult = Result<std::vector<std::uint8_t>>;

PyObject* not_available(std::string_view function) {
    return pyerr_from_string(std::string(function) + "() is not available in this build");
}

PyObject* to_python(TextResult result) {
    if (!result) return core_error_to_pyerr(result.error());
    return PyUnicode_DecodeUTF8(result->data(), static_cast<Py_ssize_t>(result->size()), "strict");
}

PyObject* to_python(BytesResult result) {
    if (!result) return core_error_to_pyerr(result.error());
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(result->data()),
                                     static_cast<Py_ssize_t>(result->size()));
}

// Format entries by their exact, case-sensitive word.
struct TextImporter {
    std::string_view word;
    TextResult (*entry)(std::string_view text);
};
struct TextExporter {
    std::string_view word;
    TextResult (*entry)(std::string_view nezo);
};
struct BinaryExporter {
    std::string_view word;
    BytesResult (*entry)(std::string_view nezo);
};
struct SchemaImporter {
    std::string_view word;
    TextResult (*entry)(std::string_view text, std::optional<std::string_view> message, std::string_view name);
};

constexpr std::array<TextImporter, 1> kImporters{{{"json", import_json_entry}}};
constexpr std::array<TextExporter, 1> kTextExporters{{{"json", export_json}}};
constexpr std::array<BinaryExporter, 0> kBinaryExporters{};
constexpr std::array<SchemaImporter, 0> kSchemaImporters{};

template <class Table>
auto find_format(const Table& table, std::string_view word) -> const typename Table::value_type* {
    for (const auto& candidate : table) {
        if (candidate.word == word) return &candidate;
    }
    return nullptr;
}

}  // namespace

PyObject* road_compile(const BoundTexts& args) { return to_python(compile_text(*args[0])); }
PyObject* road_denormalize(const BoundTexts&) { return not_available("denormalize"); }
PyObject* road_build(const BoundTexts&) { return not_available("build"); }
PyObject* road_compile_schema(const BoundTexts&) { return not_available("compile_schema"); }
PyObject* road_validate(const BoundTexts&) { return not_available("validate"); }
PyObject* road_fmt(const BoundTexts&) { return not_available("fmt"); }
PyObject* road_unbuild(const BoundTexts&) { return not_available("unbuild"); }
PyObject* road_infer(const BoundTexts&) { return not_available("infer"); }

PyObject* road_import_from(const BoundTexts& args) {
    const std::string_view format = *args[0];
    if (const auto* importer = find_format(kImporters, format)) return to_python(importer->entry(*args[1]));
    return pyerr_from_string("unsupported import format: " + std::string(format));
}

PyObject* road_export_to(const BoundTexts& args) {
    const std::string_view format = *args[0];
    if (const auto* exporter = find_format(kTextExporters, format)) return to_python(exporter->entry(*args[1]));
    if (const auto* exporter = find_format(kBinaryExporters, format)) return to_python(exporter->entry(*args[1]));
    return pyerr_from_string("unsupported export format: " + std::string(format));
}

PyObject* road_import_schema(const BoundTexts& args) {
    const std::string_view format = *args[0];
    if (const auto* importer = find_format(kSchemaImporters, format)) {
        std::optional<std::string_view> message;
        if (args[3]) message = *args[3];
        return to_python(importer->entry(*args[1], message, args[2].value_or("")));
    }
    return pyerr_from_string("unsupported schema format: " + std::string(format));
}

}  // namespace bezo::py
