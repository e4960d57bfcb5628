// Runs a function body so that no C++ exception crosses into the interpreter:
// faults become PanicException, exhausted memory becomes MemoryError.
#pragma once

#include <Python.h>

#include <exception>
#include <new>

#include "core/fault.hpp"
#include "python/exceptions.hpp"

namespace bezo::py {

template <class Body>
PyObject* run_guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const Fault& fault) {
        return raise_panic(fault.what());
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (const std::exception& unexpected) {
        return raise_panic(unexpected.what());
    } catch (...) {
        return raise_panic("unknown fault");
    }
}

}  // namespace bezo::py
