// A test-only module that drives the shell's fault handling: it is built
// beside the tests, never shipped, and shares the shell's guard and fault
// class with the real module.
#include <Python.h>

#include <new>
#include <string>

#include "core/fault.hpp"
#include "python/guard.hpp"

namespace bezo::py {
namespace {

PyObject* fault_entry(PyObject*, PyObject* message) {
    return run_guarded([&]() -> PyObject* {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(message, &size);
        if (text == nullptr) return nullptr;
        raise_fault(std::string(text, static_cast<std::size_t>(size)));
    });
}

PyObject* out_of_memory_entry(PyObject*, PyObject*) {
    return run_guarded([]() -> PyObject* { throw std::bad_alloc(); });
}

// Raises BezoError with raw message bytes, to show that a message that is not
// valid UTF-8 still reaches Python.
PyObject* bezo_error_entry(PyObject*, PyObject* message) {
    return run_guarded([&]() -> PyObject* {
        char* bytes = nullptr;
        Py_ssize_t size = 0;
        if (PyBytes_AsStringAndSize(message, &bytes, &size) < 0) return nullptr;
        return pyerr_from_string(std::string_view(bytes, static_cast<std::size_t>(size)));
    });
}

PyMethodDef g_methods[] = {
    {"fault", fault_entry, METH_O, "Raise a fault with the given message."},
    {"out_of_memory", out_of_memory_entry, METH_NOARGS, "Fail as if memory ran out."},
    {"bezo_error_bytes", bezo_error_entry, METH_O, "Raise BezoError with the given message bytes."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef g_module = {
    PyModuleDef_HEAD_INIT, "bezo_fault_probe", "", 0, g_methods, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace bezo::py

PyMODINIT_FUNC PyInit_bezo_fault_probe() { return PyModuleDef_Init(&bezo::py::g_module); }
