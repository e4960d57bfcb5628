// The module's exception classes and the conversion of core errors and
// faults into pending Python exceptions.
#pragma once

#include <Python.h>

#include <string_view>

#include "core/error.hpp"

namespace bezo::py {

// Borrowed references to the classes, created on first use and kept for the
// life of the process. When BezoError or ValidationError cannot be created
// the getter raises a fault (so the call ends with PanicException); when
// PanicException itself cannot be, its getter returns NULL with the
// interpreter's exception set.
PyObject* bezo_error_class();
PyObject* validation_error_class();
PyObject* panic_exception_class();

// Each sets a pending exception and returns NULL, so bodies can `return` it.
PyObject* core_error_to_pyerr(const Error& error);
PyObject* pyerr_from_string(std::string_view message);
PyObject* validation_verdict_to_pyerr(const AppErrorAt& verdict);
PyObject* raise_panic(std::string_view message);

// Decodes a message for an exception, its control characters but line feeds
// and tabs escaped; bytes that are not UTF-8 are replaced, so rendering a
// message can never fail with a decoding error.
PyObject* message_to_str(std::string_view message);

// Adds the note to the pending exception (through its add_note method).
void add_note_to_pending(const char* note);

}  // namespace bezo::py
