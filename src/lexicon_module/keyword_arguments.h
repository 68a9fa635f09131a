// Binding of a method's arguments: positional parameters first, then
// optional ones (keyword-only unless said otherwise), with the messages
// Python's own functions give.
//
// Binding never runs Python code; it only matches names. Cost: one compare
// per keyword and parameter.
//
// Tested by tests/python/test_lexicon.py.

#ifndef VORPALYX_LEXICON_MODULE_KEYWORD_ARGUMENTS_H_
#define VORPALYX_LEXICON_MODULE_KEYWORD_ARGUMENTS_H_

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <span>

namespace vorpalyx {

struct Signature {
  const char* name;  // "search", as messages show it: "search() ..."
  std::span<const char* const> positional;    // all required
  std::span<const char* const> keyword_only;  // all optional
  // How many of the optional ones may also come by position.
  Py_ssize_t optional_by_position = 0;
};

// Fills `bound` (positional, then keyword-only slots) with borrowed
// references from a vectorcall, null where nothing was given. Returns false
// with a TypeError set when the call does not fit.
bool bind_arguments(const Signature& signature, PyObject* const* args,
                    Py_ssize_t nargs, PyObject* kwnames, PyObject** bound);

}  // namespace vorpalyx

#endif  // VORPALYX_LEXICON_MODULE_KEYWORD_ARGUMENTS_H_
