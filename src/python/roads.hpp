// The bodies of the module's functions: what each does between argument
// conversion and result. Each returns a new reference, or NULL with a pending
// exception.
#pragma once

#include <Python.h>

#include "python/binder.hpp"

namespace bezo::py {

PyObject* road_compile(const BoundTexts& args);
PyObject* road_denormalize(const BoundTexts& args);
PyObject* road_build(const BoundTexts& args);
PyObject* road_compile_schema(const BoundTexts& args);
PyObject* road_validate(const BoundTexts& args);
PyObject* road_fmt(const BoundTexts& args);
PyObject* road_unbuild(const BoundTexts& args);
PyObject* road_infer(const BoundTexts& args);
PyObject* road_import_from(const BoundTexts& args);
PyObject* road_export_to(const BoundTexts& args);
PyObject* road_import_schema(const BoundTexts& args);

}  // namespace bezo::py
