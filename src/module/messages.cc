// See messages.h. Messages that name a type use its qualified name, with a
// fixed placeholder should even that fail.

#include "module/messages.h"

#include <cstdio>
#include <string>

#include "module/py_ref.h"
#include "solver/os_errors.h"

namespace vorpalyx::messages {
namespace {

const char* was_or_were(Py_ssize_t count) {
  return count == 1 ? "was" : "were";
}

// The qualified name of the object's type, or a placeholder when even that
// fails.
PyRef type_name_of(PyObject* object) {
  PyRef name = PyRef::steal(PyType_GetQualName(Py_TYPE(object)));
  if (!name) {
    PyErr_Clear();
    name = PyRef::steal(PyUnicode_FromString("<failed to extract type name>"));
  }
  return name;
}

PyObject* cannot_be_converted(PyObject* object, const char* target) {
  PyRef name = type_name_of(object);
  if (!name) return nullptr;
  PyErr_Format(PyExc_TypeError, "'%U' object cannot be converted to '%s'",
               name.get(), target);
  return nullptr;
}

PyObject* dictionary_error(const std::string& detail) {
  PyErr_Format(PyExc_OSError, "Failed to read dictionary: %s", detail.c_str());
  return nullptr;
}

}  // namespace

PyObject* too_many_positional(const char* full_name, Py_ssize_t required,
                              Py_ssize_t parameters, Py_ssize_t given) {
  if (required != parameters) {
    PyErr_Format(PyExc_TypeError,
                 "%s takes from %zd to %zd positional arguments but %zd %s "
                 "given",
                 full_name, required, parameters, given, was_or_were(given));
  } else {
    PyErr_Format(PyExc_TypeError,
                 "%s takes %zd positional arguments but %zd %s given",
                 full_name, parameters, given, was_or_were(given));
  }
  return nullptr;
}

PyObject* multiple_values(const char* full_name, PyObject* keyword) {
  PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%U'",
               full_name, keyword);
  return nullptr;
}

PyObject* unexpected_keyword(const char* full_name, PyObject* keyword) {
  // A key that is not a str is shown by its str().
  PyErr_Format(PyExc_TypeError,
               PyUnicode_Check(keyword)
                   ? "%s got an unexpected keyword argument '%U'"
                   : "%s got an unexpected keyword argument '%S'",
               full_name, keyword);
  return nullptr;
}

PyObject* missing_required(const char* full_name, const char* parameter) {
  PyErr_Format(PyExc_TypeError,
               "%s missing 1 required positional argument: '%s'", full_name,
               parameter);
  return nullptr;
}

PyObject* not_a_string(PyObject* object) {
  return cannot_be_converted(object, "PyString");
}

PyObject* not_a_sequence(PyObject* object) {
  return cannot_be_converted(object, "Sequence");
}

PyObject* string_is_not_a_list() {
  PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
  return nullptr;
}

PyObject* name_argument_in_type_error(const char* parameter) {
  PyRef original = PyRef::steal(PyErr_GetRaisedException());
  if (!original) return nullptr;
  if (!Py_IS_TYPE(original.get(),
                  reinterpret_cast<PyTypeObject*>(PyExc_TypeError))) {
    PyErr_SetRaisedException(original.release());
    return nullptr;
  }
  PyRef text = PyRef::steal(PyObject_Str(original.get()));
  if (!text) return nullptr;
  PyRef message = PyRef::steal(
      PyUnicode_FromFormat("argument '%s': %U", parameter, text.get()));
  if (!message) return nullptr;
  PyRef renamed =
      PyRef::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
  if (!renamed) return nullptr;
  // PyException_SetCause steals the cause; a null cause clears it.
  PyException_SetCause(renamed.get(), PyException_GetCause(original.get()));
  PyErr_SetRaisedException(renamed.release());
  return nullptr;
}

PyObject* dictionary_os_error(int error_number) {
  return dictionary_error(os_error_text(error_number));
}

PyObject* dictionary_not_utf8() {
  return dictionary_error("stream did not contain valid UTF-8");
}

PyObject* dictionary_path_has_nul() {
  return dictionary_error("file name contained an unexpected NUL byte");
}

PyObject* already_borrowed() {
  PyErr_SetString(PyExc_RuntimeError, "Already borrowed");
  return nullptr;
}

PyObject* already_mutably_borrowed() {
  PyErr_SetString(PyExc_RuntimeError, "Already mutably borrowed");
  return nullptr;
}

PyObject* result_too_large(const ResultTooLarge& error) {
  PyErr_SetString(PyExc_MemoryError, error.message().c_str());
  return nullptr;
}

PyObject* subinterpreters_unsupported() {
  PyErr_SetString(PyExc_ImportError,
                  "vorpalyx.core does not support sub-interpreters: import it "
                  "in the main interpreter only");
  return nullptr;
}

}  // namespace vorpalyx::messages
