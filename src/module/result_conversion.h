// The result of a solve as Python sees it: a new list of lists of str.
//
// Each distinct word becomes one str, made when first needed and shared by
// every solution that holds it, so a result of millions of solutions costs one
// list per solution plus one str per distinct word. The cyclic garbage
// collector is paused while the lists are built (they cannot form cycles).
// Each group of solutions is freed once converted, so the C++ and the Python
// forms of the result overlap by one group at most.
//
// Tested by tests/python/test_solve_results.py and tests/python/test_leaks.py.

#ifndef VORPALYX_MODULE_RESULT_CONVERSION_H_
#define VORPALYX_MODULE_RESULT_CONVERSION_H_

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <chrono>
#include <optional>

#include "solver/solution_list.h"

namespace vorpalyx {

// Consumes `solutions`. Returns a new reference, or null with an exception
// set. Past `deadline`, stops converting and returns the solutions converted
// so far: a prefix of the result, of at least the first 4096 solutions.
PyObject* solutions_to_python(
    SolutionList& solutions,
    std::optional<std::chrono::steady_clock::time_point> deadline);

}  // namespace vorpalyx

#endif  // VORPALYX_MODULE_RESULT_CONVERSION_H_
