// Every error text that Python sees from this module, one function per
// message family. Each function sets the exception and returns nullptr so
// that callers can write `return set_...(...);`.

#ifndef VORPALYX_MODULE_MESSAGES_H_
#define VORPALYX_MODULE_MESSAGES_H_

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>

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

}  // namespace vorpalyx::messages

#endif  // VORPALYX_MODULE_MESSAGES_H_
