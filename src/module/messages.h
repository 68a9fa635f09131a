// Every error text that Python sees from this module, one function per
// message family. Each function sets its exception and returns nullptr, so
// that a caller can write `return messages::already_borrowed();`.
//
// The texts are fixed: callers and tests rely on them byte for byte. Cost:
// one formatted string per error; nothing runs on success paths.
//
// Tested by tests/python/test_solve_arguments.py,
// tests/python/test_dictionary.py and tests/python/test_hostile_inputs.py.

#ifndef VORPALYX_MODULE_MESSAGES_H_
#define VORPALYX_MODULE_MESSAGES_H_

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "solver/memory_budget.h"

namespace vorpalyx::messages {

// Argument binding. `full_name` is the method's name as "Solver.name()".
PyObject* too_many_positional(const char* full_name, Py_ssize_t required,
                              Py_ssize_t parameters, Py_ssize_t given);
PyObject* multiple_values(const char* full_name, PyObject* keyword);
PyObject* unexpected_keyword(const char* full_name, PyObject* keyword);
PyObject* missing_required(const char* full_name, const char* parameter);

// Conversions; the argument's name is added later by
// name_argument_in_type_error.
PyObject* not_a_string(PyObject* object);
PyObject* not_a_sequence(PyObject* object);
PyObject* string_is_not_a_list();

// Replaces a pending TypeError (exactly that type) by
// "argument '<parameter>': <message>" with the same __cause__; any other
// pending exception stays as it is.
PyObject* name_argument_in_type_error(const char* parameter);

// Failures of load_dictionary_from_path.
PyObject* dictionary_os_error(int error_number);
PyObject* dictionary_not_utf8();
PyObject* dictionary_path_has_nul();

// Conflicting use of one Solver.
PyObject* already_borrowed();
PyObject* already_mutably_borrowed();

PyObject* subinterpreters_unsupported();

// MemoryError for a search stopped because its result would not fit.
PyObject* result_too_large(const ResultTooLarge& error);

}  // namespace vorpalyx::messages

#endif  // VORPALYX_MODULE_MESSAGES_H_
