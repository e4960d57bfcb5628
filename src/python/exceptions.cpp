#include "python/exceptions.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/fault.hpp"
#include "core/text.hpp"
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

// A C0 control other than a line feed or a tab, DEL, or the first byte of a
// C1 control (U+0080 to U+009F, 0xC2 then 0x80 to 0x9F): the characters that
// can drive a terminal.
bool is_control_at(std::string_view text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x20) return byte != '\n' && byte != '\t';
    if (byte == 0x7f) return true;
    return byte == 0xc2 && at + 1 < text.size() && (static_cast<unsigned char>(text[at + 1]) & 0xe0) == 0x80;
}

// The message with every control character in it written as "\u{..}". Text
// quoted from the caller is excerpted and escaped where it is quoted; this
// also covers what is quoted whole (a schema's own patterns and paths) and
// what a library says, so that no message printed or logged can drive a
// terminal. Line feeds and tabs stay: some messages span lines. The message
// itself when it holds none, else a view of `escaped`.
std::string_view with_controls_escaped(std::string_view message, std::string& escaped) {
    std::size_t at = 0;
    while (at < message.size() && !is_control_at(message, at)) ++at;
    if (at == message.size()) return message;
    escaped.assign(message.substr(0, at));
    while (at < message.size()) {
        if (!is_control_at(message, at)) {
            escaped += message[at++];
        } else if (message[at] == '\xc2') {
            append_code_point_escape(static_cast<unsigned char>(message[at + 1]), escaped);
            at += 2;
        } else {
            append_code_point_escape(static_cast<unsigned char>(message[at++]), escaped);
        }
    }
    return escaped;
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
    std::string escaped;
    const std::string_view text = with_controls_escaped(message, escaped);
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
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
