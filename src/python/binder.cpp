#include "python/binder.hpp"

#include <optional>
#include <string>
#include <string_view>

#include "python/exceptions.hpp"
#include "python/pyref.hpp"

namespace bezo::py {
namespace {

std::string display_name(const Signature& signature) { return std::string(signature.name) + "()"; }

void set_type_error(const std::string& message) { PyErr_SetString(PyExc_TypeError, message.c_str()); }

void report_too_many_positional(const Signature& signature, std::size_t given) {
    std::string message = display_name(signature);
    if (signature.required == signature.params.size()) {
        message += " takes " + std::to_string(signature.params.size());
    } else {
        message +=
            " takes from " + std::to_string(signature.required) + " to " + std::to_string(signature.params.size());
    }
    message += " positional arguments but " + std::to_string(given) + (given == 1 ? " was" : " were") + " given";
    set_type_error(message);
}

// Joins quoted names as 'a', 'a' and 'b', or 'a', 'b' and 'c'.
std::string join_quoted(const std::vector<const char*>& names) {
    std::string joined;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) joined += (i + 1 == names.size()) ? " and " : ", ";
        joined += '\'';
        joined += names[i];
        joined += '\'';
    }
    return joined;
}

void report_missing(const Signature& signature, const std::vector<const char*>& missing) {
    set_type_error(display_name(signature) + " missing " + std::to_string(missing.size()) + " required positional " +
                   (missing.size() == 1 ? "argument" : "arguments") + ": " + join_quoted(missing));
}

// The UTF-8 of a str; none, with no exception left pending, when it has
// none (a lone surrogate).
std::optional<std::string_view> utf8_of(PyObject* text) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(text, &size);
    if (data == nullptr) {
        PyErr_Clear();
        return std::nullopt;
    }
    return std::string_view(data, static_cast<std::size_t>(size));
}

std::string type_name_of(PyObject* object) {
    PyRef name(PyType_GetName(Py_TYPE(object)));
    if (!name) {
        PyErr_Clear();
        return "?";
    }
    return std::string(utf8_of(name.get()).value_or("?"));
}

// The keyword is shown as Python shows it (%S), since it may have no UTF-8.
void report_unexpected_keyword(const Signature& signature, PyObject* keyword) {
    PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'", display_name(signature).c_str(),
                 keyword);
}

void report_not_str(PyObject* value) {
    if (value == Py_None) {
        set_type_error("'None' is not an instance of 'str'");
    } else {
        set_type_error("'" + type_name_of(value) + "' object is not an instance of 'str'");
    }
}

// True for a str of ASCII characters only, whose own storage is its UTF-8.
// str.isascii is called unbound, so a subclass cannot change the answer;
// it only reads a flag of the str.
std::optional<bool> is_ascii_str(PyObject* text) {
    PyRef answer(PyObject_CallMethod(reinterpret_cast<PyObject*>(&PyUnicode_Type), "isascii", "O", text));
    if (!answer) return std::nullopt;
    return answer.get() == Py_True;
}

// The UTF-8 of a str: a view of the str's own storage when it is ASCII,
// else of a bytes object encoded from it, which `encoded` takes. Nothing with
// a pending exception (a lone surrogate has no UTF-8).
std::optional<BoundText> utf8_view(PyObject* text, std::vector<PyRef>& encoded) {
    const std::optional<bool> ascii = is_ascii_str(text);
    if (!ascii) return std::nullopt;
    Py_ssize_t size = 0;
    if (*ascii) {
        const char* data = PyUnicode_AsUTF8AndSize(text, &size);
        if (data == nullptr) return std::nullopt;
        return BoundText(data, static_cast<std::size_t>(size));
    }
    PyRef bytes(PyUnicode_AsUTF8String(text));
    char* data = nullptr;
    if (!bytes || PyBytes_AsStringAndSize(bytes.get(), &data, &size) != 0) return std::nullopt;
    encoded.push_back(std::move(bytes));
    return BoundText(data, static_cast<std::size_t>(size));
}

// The UTF-8 of one bound value; on failure the pending exception gets the
// note naming the parameter.
std::optional<BoundText> convert_to_text(PyObject* value, const char* parameter, std::vector<PyRef>& encoded) {
    if (!PyUnicode_Check(value)) {
        report_not_str(value);
    } else if (auto text = utf8_view(value, encoded)) {
        return text;
    }
    const std::string note = "while processing '" + std::string(parameter) + "'";
    add_note_to_pending(note.c_str());
    return std::nullopt;
}

// Places keyword arguments into `slots`; false with a TypeError pending when a
// keyword is unknown or repeats a positional argument.
bool bind_keywords(const Signature& signature, PyObject* kwargs, std::vector<PyObject*>& slots) {
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    Py_ssize_t position = 0;
    while (PyDict_Next(kwargs, &position, &key, &value)) {
        // A keyword without UTF-8 (a lone surrogate) names no parameter.
        const std::optional<std::string_view> keyword = PyUnicode_Check(key) ? utf8_of(key) : std::nullopt;
        std::size_t index = 0;
        while (keyword && index < signature.params.size() && *keyword != signature.params[index].name) ++index;
        if (!keyword || index == signature.params.size()) {
            report_unexpected_keyword(signature, key);
            return false;
        }
        if (slots[index] != nullptr) {
            set_type_error(display_name(signature) + " got multiple values for argument '" + std::string(*keyword) +
                           "'");
            return false;
        }
        slots[index] = value;
    }
    return true;
}

}  // namespace

std::optional<BoundTexts> bind_arguments(const Signature& signature, PyObject* args, PyObject* kwargs) {
    const std::size_t given = static_cast<std::size_t>(PyTuple_Size(args));
    if (given > signature.params.size()) {
        report_too_many_positional(signature, given);
        return std::nullopt;
    }
    std::vector<PyObject*> slots(signature.params.size(), nullptr);
    for (std::size_t i = 0; i < given; ++i) slots[i] = PyTuple_GetItem(args, static_cast<Py_ssize_t>(i));
    if (kwargs != nullptr && !bind_keywords(signature, kwargs, slots)) return std::nullopt;

    std::vector<const char*> missing;
    for (std::size_t i = 0; i < signature.required; ++i) {
        if (slots[i] == nullptr) missing.push_back(signature.params[i].name);
    }
    if (!missing.empty()) {
        report_missing(signature, missing);
        return std::nullopt;
    }

    BoundTexts texts(signature.params.size());
    for (std::size_t i = 0; i < slots.size(); ++i) {
        PyObject* value = slots[i];
        const bool absent =
            value == nullptr || (value == Py_None && signature.params[i].absent == Absent::MissingOrNone);
        if (absent) continue;
        texts.texts_[i] = convert_to_text(value, signature.params[i].name, texts.encoded_);
        if (!texts.texts_[i]) return std::nullopt;
    }
    return texts;
}

}  // namespace bezo::py
