// The bodies of the module's functions: what each does between argument
// conversion and result. Each returns a new reference, or NULL with a pending
// exception.
#pragma once

#include <Python.h>

#include "python/binder.hpp"

namespace bezo::py {

PyObject* road_compile(BoundTexts& args);
PyObject* road_denormalize(BoundTexts& args);
PyObject* road_build(BoundTexts& args);
PyObject* road_compile_schema(BoundTexts& args);
PyObject* road_validate(BoundTexts& args);
PyObject* road_fmt(BoundTexts& args);
PyObject* road_unbuild(BoundTexts& args);
PyObject* road_infer(BoundTexts& args);
PyObject* road_import_from(BoundTexts& args);
PyObject* road_export_to(BoundTexts& args);
PyObject* road_import_schema(BoundTexts& args);

}  // namespace bezo::py
