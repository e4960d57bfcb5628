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

#include "python/pyref.hpp"

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

// One bound argument: a view of the UTF-8 text of the caller's str, which
// the call holds for its whole duration (see BoundTexts), so the text is
// never copied again. A road that needs an owned copy converts it to
// std::string.
class BoundText : public std::string_view {
public:
    using std::string_view::string_view;
    explicit BoundText(std::string_view text) : std::string_view(text) {}
    operator std::string() const { return std::string(std::string_view(*this)); }
};

// One text per parameter; nullopt where an optional parameter is absent.
// An ASCII str is its own UTF-8, viewed in place. Any other str has its
// UTF-8 encoded once into a bytes object that the bound texts hold, so that
// it is freed when the call ends rather than cached in the str for as long
// as the str lives.
class BoundTexts {
public:
    explicit BoundTexts(std::size_t count) : texts_(count) {}

    const std::optional<BoundText>& operator[](std::size_t index) const { return texts_[index]; }
    auto begin() const { return texts_.begin(); }
    auto end() const { return texts_.end(); }

    // Ends the use of the texts, freeing the encoded ones: every text is
    // absent afterwards.
    void release() {
        texts_.assign(texts_.size(), std::nullopt);
        encoded_.clear();
    }

private:
    friend std::optional<BoundTexts> bind_arguments(const Signature&, PyObject*, PyObject*);

    std::vector<std::optional<BoundText>> texts_;
    std::vector<PyRef> encoded_;  // the UTF-8 of the non-ASCII strs viewed
};

// Binds and converts. Returns nullopt with a pending exception on failure.
std::optional<BoundTexts> bind_arguments(const Signature& signature, PyObject* args, PyObject* kwargs);

}  // namespace bezo::py
