// Binding of positional and keyword arguments to a function's parameters,
// with the module's own TypeError messages, and conversion of each bound
// value to UTF-8 text.
#pragma once

#include <Python.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bezo::py {

// Which values of an optional parameter stand for "absent".
enum class Absent {
    OnlyMissing,    // a missing argument; None is refused like any non-str
    MissingOrNone,  // a missing argument or None
};

struct ParamSpec {
    const char* name;
    Absent absent = Absent::OnlyMissing;
};

struct Signature {
    const char* name;
    std::span<const ParamSpec> params;
    std::size_t required;
};

// One bound argument: a view of the UTF-8 text of the caller's str. The str
// keeps that text for its own lifetime and the call holds the str, so the
// view stays valid for the whole call and the text is never copied. A road
// that needs an owned copy converts it to std::string.
class BoundText : public std::string_view {
public:
    using std::string_view::string_view;
    explicit BoundText(std::string_view text) : std::string_view(text) {}
    operator std::string() const { return std::string(std::string_view(*this)); }
};

// One text per parameter; nullopt where an optional parameter is absent.
using BoundTexts = std::vector<std::optional<BoundText>>;

// Binds and converts. Returns nullopt with a pending exception on failure.
std::optional<BoundTexts> bind_arguments(const Signature& signature, PyObject* args, PyObject* kwargs);

}  // namespace bezo::py
