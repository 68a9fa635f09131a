// Lexicon.search, Lexicon.best and Lexicon.count: the calls that run the
// engine over a lexicon.
//
// Each binds and converts its arguments first, with the interpreter lock,
// then runs the engine without it under the lexicon's read hold (so that
// loads wait for it), and converts the result last. Ctrl-C stops the engine
// through its interrupt poll.
//
// Cost: what the engine costs, plus one result object (search), a list of
// k named tuples (best) or an int (count).
//
// Tested by tests/python/test_lexicon.py and tests/python/test_ranking.py.

#ifndef VORPALYX_LEXICON_MODULE_LEXICON_QUERIES_H_
#define VORPALYX_LEXICON_MODULE_LEXICON_QUERIES_H_

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace vorpalyx {

PyObject* lexicon_search(PyObject* self, PyObject* const* args,
                         Py_ssize_t nargs, PyObject* kwnames);
PyObject* lexicon_best(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames);
PyObject* lexicon_count(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames);

}  // namespace vorpalyx

#endif  // VORPALYX_LEXICON_MODULE_LEXICON_QUERIES_H_
