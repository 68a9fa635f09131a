// Binding of call arguments to parameters, and conversion of Python values
// into plain C++ values.
//
// Binding never runs Python code. Conversions may (a sequence's iteration,
// __index__, __float__), which is why each method holds its Solver's borrow
// while it converts. A failed conversion leaves an exception set; a TypeError
// is then renamed after the parameter by the caller (see messages.h). Cost:
// binding compares each keyword with each parameter name; a conversion copies
// the value once.
//
// Tested by tests/python/test_solve_arguments.py and
// tests/python/test_dictionary.py.

#ifndef VORPALYX_MODULE_ARGUMENTS_H_
#define VORPALYX_MODULE_ARGUMENTS_H_

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "char_utils/letter_lists.h"
#include "solver/search_records.h"

namespace vorpalyx {

struct MethodDescription {
  const char* full_name;  // "Solver.add_word()"
  std::span<const char* const> parameters;
  Py_ssize_t required;  // the first `required` parameters must be given
};

// Fills `bound` (one slot per parameter) with borrowed references to the
// arguments of a vectorcall, null where a parameter was not supplied. Returns
// false with a TypeError set when the call does not fit the description.
bool bind_fastcall(const MethodDescription& description, PyObject* const* args,
                   Py_ssize_t nargs, PyObject* kwnames, PyObject** bound);

// The same for a tuple and dictionary call (the constructor).
bool bind_tuple_and_dict(const MethodDescription& description, PyObject* args,
                         PyObject* kwargs, PyObject** bound);

// The conversions. Each returns false with an exception set on failure.
bool convert_text(PyObject* object, std::string* out);
bool convert_text_list(PyObject* object, std::vector<std::string>* out);
bool convert_unsigned(PyObject* object, std::uint64_t* out);
bool convert_float(PyObject* object, double* out);

// A str parsed as a list of start letters (see char_utils/letter_lists.h).
bool convert_letter_counts(PyObject* object, LetterCountMap* out);
bool convert_letter_set(PyObject* object, LetterSet* out);
// A sequence of str prepared as contains-patterns (see
// solver/prepare_patterns.h).
bool convert_patterns(PyObject* object, std::vector<ProcessedPattern>* out);

}  // namespace vorpalyx

#endif  // VORPALYX_MODULE_ARGUMENTS_H_
