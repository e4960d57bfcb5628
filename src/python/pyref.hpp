// An owned strong reference to a Python object, released on scope exit.
#pragma once

#include <Python.h>

#include <utility>

namespace bezo::py {

class PyRef {
public:
    PyRef() = default;
    explicit PyRef(PyObject* owned) : object_(owned) {}
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~PyRef() { Py_XDECREF(object_); }

    PyObject* get() const { return object_; }
    PyObject* release() { return std::exchange(object_, nullptr); }
    explicit operator bool() const { return object_ != nullptr; }

private:
    PyObject* object_ = nullptr;
};

}  // namespace bezo::py
