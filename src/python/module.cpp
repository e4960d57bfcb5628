// The `bezo` extension module: definition, start-up and the twelve functions.
#include <Python.h>

#include <array>

#include "python/binder.hpp"
#include "python/exceptions.hpp"
#include "python/guard.hpp"
#include "python/pyref.hpp"
#include "python/roads.hpp"

namespace bezo::py {
namespace {

constexpr const char* kVersion = "0.13.0";

using Road = PyObject* (*)(BoundTexts&);

constexpr ParamSpec kText[] = {{"text"}};
constexpr ParamSpec kLezo[] = {{"lezo"}};
constexpr ParamSpec kBuild[] = {{"text"}, {"schema", Absent::MissingOrNone}};
constexpr ParamSpec kHezo[] = {{"hezo"}};
constexpr ParamSpec kValidate[] = {{"nezo"}, {"schema"}};
constexpr ParamSpec kInfer[] = {{"text"}, {"name"}};
constexpr ParamSpec kImportFrom[] = {{"format"}, {"text"}};
constexpr ParamSpec kExportTo[] = {{"format"}, {"nezo"}};
constexpr ParamSpec kImportSchema[] = {{"format"}, {"text"}, {"name"}, {"message", Absent::MissingOrNone}};

constexpr Signature kCompileSig{"compile", kText, 1};
constexpr Signature kDenormalizeSig{"denormalize", kLezo, 1};
constexpr Signature kBuildSig{"build", kBuild, 1};
constexpr Signature kCompileSchemaSig{"compile_schema", kHezo, 1};
constexpr Signature kValidateSig{"validate", kValidate, 2};
constexpr Signature kFmtSig{"fmt", kText, 1};
constexpr Signature kUnbuildSig{"unbuild", kText, 1};
constexpr Signature kInferSig{"infer", kInfer, 1};
constexpr Signature kImportFromSig{"import_from", kImportFrom, 2};
constexpr Signature kExportToSig{"export_to", kExportTo, 2};
constexpr Signature kImportSchemaSig{"import_schema", kImportSchema, 2};

// Entry point of a varargs-and-keywords function: bind, convert, run the road.
template <const Signature& S, Road road>
PyObject* entry(PyObject*, PyObject* args, PyObject* kwargs) {
    return run_guarded([&]() -> PyObject* {
        auto texts = bind_arguments(S, args, kwargs);
        if (!texts) return nullptr;
        return road(*texts);
    });
}

PyObject* version_entry(PyObject*, PyObject*) {
    return run_guarded([] { return PyUnicode_FromString(kVersion); });
}

template <const Signature& S, Road road>
PyMethodDef method(const char* doc) {
    return {S.name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&entry<S, road>)),
            METH_VARARGS | METH_KEYWORDS, doc};
}

// Each documentation carries its text signature first, in CPython's convention.
PyMethodDef g_methods[] = {
    {"version", version_entry, METH_NOARGS,
     "version()\n--\n\n"
     "The bindings (and wrapped core) version."},
    method<kCompileSig, road_compile>("compile(text)\n--\n\n"
                                      "Authored `.bezo` -> relational `.lezo`."),
    method<kDenormalizeSig, road_denormalize>("denormalize(lezo)\n--\n\n"
                                              "Relational `.lezo` -> canonical `.nezo` (reference resolution;\n"
                                              "schema-declared documents also materialize absent fields)."),
    method<kBuildSig, road_build>("build(text, schema=None)\n--\n\n"
                                  "Authored `.bezo` -> canonical `.nezo` (compile + denormalize).\n"
                                  "An authored `.hezo` may ride along: it is preloaded under its\n"
                                  "declared name, and a document that does not already carry a\n"
                                  "`.!schema` declaration gets one injected \u2014 the schema-aware\n"
                                  "build (defaults, head-type lifts, unit conversion) works\n"
                                  "offline, and the call applies the schema it was handed."),
    method<kCompileSchemaSig, road_compile_schema>("compile_schema(hezo)\n--\n\n"
                                                   "Authored `.hezo` -> compiled `.whezo` (the validation contract)."),
    method<kValidateSig, road_validate>("validate(nezo, schema)\n--\n\n"
                                        "Validate canonical `.nezo` against a schema \u2014 authored `.hezo`\n"
                                        "or compiled `.whezo`, told apart by the header. Returns None on\n"
                                        "pass; raises ValidationError on a validation verdict and\n"
                                        "BezoError when the schema itself won't compile or parse."),
    method<kFmtSig, road_fmt>("fmt(text)\n--\n\n"
                              "The standard formatter: canonical spelling, authored intent kept."),
    method<kUnbuildSig, road_unbuild>("unbuild(text)\n--\n\n"
                                      "Canonical `.nezo`/`.lezo` -> idiomatic authored `.bezo` \u2014 the\n"
                                      "inverse direction of build, and a view: sugar the compiler\n"
                                      "resolved away (comments, variables, references) does not come\n"
                                      "back. `.lezo` preserves more, authored units included."),
    method<kInferSig, road_infer>("infer(text, name=\"\")\n--\n\n"
                                  "Infer an authored `.hezo` schema from a document."),
    method<kImportFromSig, road_import_from>("import_from(format, text)\n--\n\n"
                                             "Foreign text format -> authored `.bezo`.\n"
                                             "Formats: json | yaml | toml | xml."),
    method<kExportToSig, road_export_to>("export_to(format, nezo)\n--\n\n"
                                         "Canonical `.nezo` -> foreign format. Text formats return str;\n"
                                         "the binary formats (cbor, avro, asn1) return bytes."),
    method<kImportSchemaSig, road_import_schema>("import_schema(format, text, name=\"\", message=None)\n--\n\n"
                                                 "Foreign schema -> authored `.hezo` (sound weakening).\n"
                                                 "Formats: jsonschema | xsd | proto | avsc | graphql. `message`\n"
                                                 "picks the root when the schema declares several."),
};

// Sets `name` on the module and appends it to the module's __all__.
bool export_name(PyObject* module, PyObject* all, const char* name, PyObject* value) {
    if (PyModule_AddObjectRef(module, name, value) < 0) return false;
    PyRef text(PyUnicode_FromString(name));
    return text && PyList_Append(all, text.get()) == 0;
}

PyObject* module_all_list(PyObject* module) {
    PyObject* dict = PyModule_GetDict(module);
    if (dict == nullptr) return nullptr;
    if (PyObject* existing = PyDict_GetItemString(dict, "__all__")) {
        Py_INCREF(existing);
        return existing;
    }
    PyRef created(PyList_New(0));
    if (!created || PyDict_SetItemString(dict, "__all__", created.get()) < 0) return nullptr;
    return created.release();
}

bool add_functions_and_classes(PyObject* module) {
    PyRef all(module_all_list(module));
    if (!all) return false;
    PyRef module_name(PyModule_GetNameObject(module));
    if (!module_name) return false;
    for (PyMethodDef& definition : g_methods) {
        PyRef function(PyCFunction_NewEx(&definition, module, module_name.get()));
        if (!function || !export_name(module, all.get(), definition.ml_name, function.get())) return false;
    }
    return export_name(module, all.get(), "BezoError", bezo_error_class()) &&
           export_name(module, all.get(), "ValidationError", validation_error_class());
}

int init_module(PyObject* module) {
    if (!PyModule_Check(module)) {
        PyErr_SetString(PyExc_TypeError, "bezo: the exec slot was not handed a module object");
        return -1;
    }
    PyObject* outcome = run_guarded([&]() -> PyObject* {
        if (!add_functions_and_classes(module)) return nullptr;
        Py_RETURN_NONE;
    });
    if (outcome == nullptr) return -1;
    Py_DECREF(outcome);
    return 0;
}

PyModuleDef_Slot g_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&init_module)},
    {0, nullptr},
};

PyModuleDef g_module = {
    PyModuleDef_HEAD_INIT, "bezo", "", 0, nullptr, g_slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace bezo::py

PyMODINIT_FUNC PyInit_bezo() { return PyModuleDef_Init(&bezo::py::g_module); }
