#include "python/roads.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "avro/avro_export.hpp"
#include "avro/avsc_import.hpp"
#include "core/error.hpp"
#include "core/text.hpp"
#include "core/utf8.hpp"
#include "interchange/asn1_export.hpp"
#include "interchange/cbor_export.hpp"
#include "interchange/json_export.hpp"
#include "interchange/json_import.hpp"
#include "interchange/toml_export.hpp"
#include "interchange/toml_import.hpp"
#include "interchange/xml_import.hpp"
#include "interchange/xml_export.hpp"
#include "interchange/yaml_export.hpp"
#include "interchange/yaml_import.hpp"
#include "pipeline/build.hpp"
#include "pipeline/compiler.hpp"
#include "pipeline/denorm.hpp"
#include "pipeline/infer_document.hpp"
#include "pipeline/render.hpp"
#include "pipeline/unbuild.hpp"
#include "pipeline/validate_document.hpp"
#include "schema_import/graphql_import.hpp"
#include "schema_import/jsonschema_import.hpp"
#include "schema_import/proto_import.hpp"
#include "schema_import/xsd_import.hpp"
#include "python/exceptions.hpp"
#include "schema/rex_budget.hpp"
#include "schema/schema_compiler.hpp"

namespace bezo::py {
namespace {

using TextResult = Result<std::string>;
using BytesResult = Result<std::vector<std::uint8_t>>;

// Every bound argument is the UTF-8 form of a str, well-formed by
// construction (the binder refuses a lone surrogate), so no road checks it
// as UTF-8 again.
constexpr Utf8State kStrText = Utf8State::Valid;

PyObject* to_python(TextResult result) {
    if (!result) return core_error_to_pyerr(result.error());
    return PyUnicode_DecodeUTF8(result->data(), static_cast<Py_ssize_t>(result->size()), "strict");
}

PyObject* to_python(Result<CborBytes> result) {
    if (!result) return core_error_to_pyerr(result.error());
    const std::string_view bytes = result->view();
    return PyBytes_FromStringAndSize(bytes.data(), static_cast<Py_ssize_t>(bytes.size()));
}

PyObject* to_python(BytesResult result) {
    if (!result) return core_error_to_pyerr(result.error());
    return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(result->data()),
                                     static_cast<Py_ssize_t>(result->size()));
}

// The result as a Python object, once the arguments' UTF-8 copies are
// dropped: nothing reads them any more, and the conversion allocates as much
// as the result again.
template <class Outcome>
PyObject* to_python(BoundTexts& args, Outcome result) {
    args.release();
    return to_python(std::move(result));
}

// Format entries by their exact, case-sensitive word.
struct TextImporter {
    std::string_view word;
    TextResult (*entry)(std::string_view text, Utf8State state);
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
    TextResult (*entry)(std::string_view text, std::optional<std::string_view> message, std::string_view name,
                        Utf8State utf8);
};

constexpr std::array<TextImporter, 4> kImporters{{
    {"json", import_json_entry},
    {"yaml", import_yaml},
    {"toml", import_toml},
    {"xml", import_xml},
}};
constexpr std::array<TextExporter, 4> kTextExporters{{
    {"xml", export_xml},
    {"json", export_json},
    {"yaml", export_yaml},
    {"toml", export_toml},
}};
constexpr std::array<BinaryExporter, 2> kBinaryExporters{{
    {"avro", export_avro},
    {"asn1", export_asn1},
}};

// The JSON Schema importer has one root and no use for `message`.
TextResult import_jsonschema_road(std::string_view text, std::optional<std::string_view>, std::string_view name,
                                  Utf8State utf8) {
    return import_jsonschema(text, name, utf8);
}

// Nor has the Avro schema importer.
TextResult import_avsc_road(std::string_view text, std::optional<std::string_view>, std::string_view name,
                            Utf8State utf8) {
    return import_avsc(text, name, utf8);
}

// The .proto importer has no UTF-8 check to skip.
TextResult import_proto_road(std::string_view text, std::optional<std::string_view> message, std::string_view name,
                             Utf8State) {
    return import_proto(text, message, name);
}

constexpr std::array<SchemaImporter, 5> kSchemaImporters{{
    {"jsonschema", import_jsonschema_road},
    {"xsd", import_xsd},
    {"proto", import_proto_road},
    {"graphql", import_graphql},
    {"avsc", import_avsc_road},
}};

template <class Table>
auto find_format(const Table& table, std::string_view word) -> const typename Table::value_type* {
    for (const auto& candidate : table) {
        if (candidate.word == word) return &candidate;
    }
    return nullptr;
}

// A schema failure is a BezoError naming the schema; a verdict is a
// ValidationError.
PyObject* validation_failure_to_pyerr(const ValidationFailure& failure) {
    if (const auto* schema = std::get_if<SchemaFailure>(&failure)) {
        return pyerr_from_string("schema: " + error_display(schema->error));
    }
    return validation_verdict_to_pyerr(std::get<AppErrorAt>(failure));
}

std::size_t input_size(BoundTexts& args) {
    std::size_t size = 0;
    for (const auto& arg : args) size += arg ? arg->size() : 0;
    return size;
}

// Runs the body of a road that compiles or matches patterns with the call's
// pattern work budget open. Once the budget is spent every later pattern
// fails at once, so what the body returned (a result, or the BezoError or
// ValidationError it raised) is replaced by the budget's error.
template <class Body>
PyObject* within_pattern_budget(BoundTexts& args, Body body) {
    const PatternWorkBudget budget(pattern_work_allowance(input_size(args)));
    PyObject* result = body();
    const std::optional<Error> spent = budget.spent_error();
    if (!spent) return result;
    if (result) {
        Py_DECREF(result);
    } else {
        // Anything but the pipeline's own errors (a fault, exhausted memory)
        // stands as raised.
        if (!PyErr_ExceptionMatches(bezo_error_class())) return nullptr;
        PyErr_Clear();
    }
    return core_error_to_pyerr(*spent);
}

}  // namespace

PyObject* road_compile(BoundTexts& args) {
    return within_pattern_budget(args, [&] { return to_python(args, compile_text(*args[0], kStrText)); });
}
PyObject* road_denormalize(BoundTexts& args) {
    return within_pattern_budget(args, [&] {
        Resolver resolver;
        return to_python(args, denormalize_document(*args[0], resolver));
    });
}
PyObject* road_build(BoundTexts& args) {
    return within_pattern_budget(args, [&] {
        std::optional<std::string_view> schema;
        if (args[1]) schema = *args[1];
        return to_python(args, build_document(*args[0], schema, kStrText));
    });
}
PyObject* road_compile_schema(BoundTexts& args) {
    return within_pattern_budget(args, [&] {
        Resolver resolver;
        return to_python(args, compile_schema_text(*args[0], resolver, kStrText));
    });
}
PyObject* road_validate(BoundTexts& args) {
    return within_pattern_budget(args, [&]() -> PyObject* {
        auto validated = validate_document(*args[0], *args[1], kStrText);
        if (!validated) return validation_failure_to_pyerr(validated.error());
        Py_RETURN_NONE;
    });
}
PyObject* road_fmt(BoundTexts& args) { return to_python(args, format_authored(*args[0], kStrText)); }
PyObject* road_unbuild(BoundTexts& args) { return to_python(args, unbuild_stream(*args[0])); }
PyObject* road_infer(BoundTexts& args) {
    return within_pattern_budget(
        args, [&] { return to_python(args, infer_document(*args[0], args[1].value_or(""), kStrText)); });
}

PyObject* road_import_from(BoundTexts& args) {
    const std::string_view format = *args[0];
    if (const auto* importer = find_format(kImporters, format)) {
        return to_python(args, importer->entry(*args[1], kStrText));
    }
    return pyerr_from_string("unsupported import format: " + quoted_excerpt(format));
}

PyObject* road_export_to(BoundTexts& args) {
    const std::string_view format = *args[0];
    if (const auto* exporter = find_format(kTextExporters, format)) return to_python(args, exporter->entry(*args[1]));
    if (format == "cbor") return to_python(args, export_cbor(*args[1]));
    if (const auto* exporter = find_format(kBinaryExporters, format)) return to_python(args, exporter->entry(*args[1]));
    return pyerr_from_string("unsupported export format: " + quoted_excerpt(format));
}

PyObject* road_import_schema(BoundTexts& args) {
    const std::string_view format = *args[0];
    if (const auto* importer = find_format(kSchemaImporters, format)) {
        const std::string_view name = args[2].value_or("");
        std::optional<std::string_view> message;
        if (args[3]) message = *args[3];
        return within_pattern_budget(
            args, [&] { return to_python(args, importer->entry(*args[1], message, name, kStrText)); });
    }
    return pyerr_from_string("unsupported schema format: " + quoted_excerpt(format));
}

}  // namespace bezo::py
