// The Python class Solver: a heap type wrapping one AnagramSolver.

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
