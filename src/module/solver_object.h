// The Python class Solver: a heap type wrapping one AnagramSolver and the
// borrow counter that keeps its uses apart (see borrow.h).
//
// No C++ exception leaves a method: std::bad_alloc and std::length_error
// become MemoryError. A solve holds a shared borrow and a dictionary change an
// exclusive one, each for the whole call, conversions included. Cost: the
// methods add argument binding and conversion to the engine's work, and a
// solve the conversion of its result.
//
// Tested by tests/python/test_module.py and the other tests under
// tests/python.

#ifndef VORPALYX_MODULE_SOLVER_OBJECT_H_
#define VORPALYX_MODULE_SOLVER_OBJECT_H_

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vorpalyx {

// Creates the Solver type (a new reference), or returns null with an
// exception set.
PyObject* create_solver_type();

}  // namespace vorpalyx

#endif  // VORPALYX_MODULE_SOLVER_OBJECT_H_
