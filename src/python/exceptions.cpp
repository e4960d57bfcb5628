#include "python/exceptions.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/fault.hpp"
#include "python/pyref.hpp"

namespace bezo::py {
namespace {

// The once-cells. They are filled under the interpreter lock and never emptied.
PyObject* g_bezo_error = nullptr;
PyObject* g_validation_error = nullptr;
PyObject* g_panic_exception = nullptr;

constexpr const char* kClassCreationFailed = "Failed to initialize new exception type.";

PyObject* new_exception_class(const char* qualified_name, const char* doc, PyObject* base) {
    PyObject* created = PyErr_NewExceptionWithDoc(qualified_name, doc, base, nullptr);
    if (created == nullptr) {
        PyErr_Clear();
        raise_fault(kClassCreationFailed);
    }
    return created;
}

// Instantiates the class with the message as its only argument and sets it as
// the pending exception. False when that itself failed (another exception is
// then pending).
bool set_instance_of(PyObject* cls, std::string_view message) {
    if (cls == nullptr) return false;
    PyRef text(message_to_str(message));
    if (!text) return false;
    PyRef instance(PyObject_CallFunctionObjArgs(cls, text.get(), nullptr));
    if (!instance) return false;
    PyErr_SetObject(cls, instance.get());
    return true;
}

PyObject* raise_instance_of(PyObject* cls, std::string_view message) {
    set_instance_of(cls, message);
    return nullptr;
}

}  // namespace

PyObject* bezo_error_class() {
    if (g_bezo_error == nullptr) {
        g_bezo_error = new_exception_class("bezo.BezoError", "A bezo pipeline error.", PyExc_Exception);
    }
    return g_bezo_error;
}

PyObject* validation_error_class() {
    if (g_validation_error == nullptr) {
        PyObject* base = bezo_error_class();
        g_validation_error =
            new_exception_class("bezo.ValidationError", "Canonical data failed schema validation.", base);
    }
    return g_validation_error;
}

PyObject* panic_exception_class() {
    if (g_panic_exception == nullptr) {
        g_panic_exception = PyErr_NewExceptionWithDoc(
            "bezo.PanicException",
            "A fault inside bezo: an internal invariant was broken. The call ended; the module stays usable.",
            PyExc_BaseException, nullptr);
    }
    return g_panic_exception;
}

PyObject* message_to_str(std::string_view message) {
    return PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
}

PyObject* core_error_to_pyerr(const Error& error) {
    return raise_instance_of(bezo_error_class(), error_display(error));
}

PyObject* pyerr_from_string(std::string_view message) { return raise_instance_of(bezo_error_class(), message); }

PyObject* validation_verdict_to_pyerr(const AppErrorAt& verdict) {
    return raise_instance_of(validation_error_class(), app_error_display(verdict));
}

PyObject* raise_panic(std::string_view message) {
    if (!set_instance_of(panic_exception_class(), message)) {
        std::fputs("uncaught panic at ffi boundary\n", stderr);
        std::abort();
    }
    return nullptr;
}

void add_note_to_pending(const char* note) {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value != nullptr) {
        PyRef result(PyObject_CallMethod(value, "add_note", "s", note));
        if (!result) PyErr_Clear();
    }
    PyErr_Restore(type, value, traceback);
}

}  // namespace bezo::py
