#include "lexicon_module/keyword_arguments.h"

namespace vorpalyx {

bool bind_arguments(const Signature& signature, PyObject* const* args,
                    Py_ssize_t nargs, PyObject* kwnames, PyObject** bound) {
  const auto positional = static_cast<Py_ssize_t>(signature.positional.size());
  const auto total =
      positional + static_cast<Py_ssize_t>(signature.keyword_only.size());
  const Py_ssize_t most = positional + signature.optional_by_position;
  if (nargs > most) {
    if (most == positional) {
      PyErr_Format(PyExc_TypeError,
                   "%s() takes %zd positional argument%s but %zd %s given",
                   signature.name, positional, positional == 1 ? "" : "s",
                   nargs, nargs == 1 ? "was" : "were");
    } else {
      PyErr_Format(PyExc_TypeError,
                   "%s() takes from %zd to %zd positional arguments but %zd "
                   "%s given",
                   signature.name, positional, most, nargs,
                   nargs == 1 ? "was" : "were");
    }
    return false;
  }
  for (Py_ssize_t i = 0; i < total; ++i)
    bound[i] = i < nargs ? args[i] : nullptr;
  const Py_ssize_t keywords = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < keywords; ++k) {
    PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
    Py_ssize_t slot = -1;
    // Compared whole, as characters: 'fold\0x' is no parameter.
    for (Py_ssize_t i = 0; i < total && slot < 0; ++i) {
      const char* name = i < positional
                             ? signature.positional[i]
                             : signature.keyword_only[i - positional];
      if (PyUnicode_CompareWithASCIIString(keyword, name) == 0) slot = i;
    }
    if (slot < 0) {
      PyErr_Format(PyExc_TypeError,
                   "%s() got an unexpected keyword argument '%U'",
                   signature.name, keyword);
      return false;
    }
    if (bound[slot] != nullptr) {
      PyErr_Format(PyExc_TypeError,
                   "%s() got multiple values for argument '%U'", signature.name,
                   keyword);
      return false;
    }
    bound[slot] = args[nargs + k];
  }
  for (Py_ssize_t i = 0; i < positional; ++i) {
    if (bound[i] == nullptr) {
      PyErr_Format(PyExc_TypeError,
                   "%s() missing required argument '%s' (pos %zd)",
                   signature.name, signature.positional[i], i + 1);
      return false;
    }
  }
  return true;
}

}  // namespace vorpalyx
