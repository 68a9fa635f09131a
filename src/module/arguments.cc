// See arguments.h. Binding fills every slot before it looks at keywords, so
// a slot is null exactly when its parameter was not supplied.

#include "module/arguments.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "module/messages.h"
#include "module/py_ref.h"
#include "solver/prepare_patterns.h"

namespace vorpalyx {
namespace {

// A lying __len__ must not make the reservation itself fail.
constexpr Py_ssize_t kMaxReservedItems = 1 << 20;

// Binds one keyword argument, or returns false with the binding error set.
bool bind_keyword(const MethodDescription& description, PyObject* keyword,
                  PyObject* value, PyObject** bound) {
  // The constructor's keyword dictionary may hold keys that are not str
  // (Solver(**{1: 2}) passes them through); such a key names no parameter,
  // and comparing it as text would read it as a str it is not.
  if (!PyUnicode_Check(keyword)) {
    messages::unexpected_keyword(description.full_name, keyword);
    return false;
  }
  const auto& parameters = description.parameters;
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    if (PyUnicode_CompareWithASCIIString(keyword, parameters[i]) != 0) {
      continue;
    }
    if (bound[i] != nullptr) {
      messages::multiple_values(description.full_name, keyword);
      return false;
    }
    bound[i] = value;
    return true;
  }
  messages::unexpected_keyword(description.full_name, keyword);
  return false;
}

bool bind_positional(const MethodDescription& description,
                     PyObject* const* args, Py_ssize_t nargs,
                     PyObject** bound) {
  const auto parameter_count =
      static_cast<Py_ssize_t>(description.parameters.size());
  if (nargs > parameter_count) {
    messages::too_many_positional(description.full_name, description.required,
                                  parameter_count, nargs);
    return false;
  }
  std::fill_n(bound, parameter_count, nullptr);
  std::copy_n(args, nargs, bound);
  return true;
}

bool check_required(const MethodDescription& description, PyObject** bound) {
  for (Py_ssize_t i = 0; i < description.required; ++i) {
    if (bound[i] == nullptr) {
      messages::missing_required(description.full_name,
                                 description.parameters[i]);
      return false;
    }
  }
  return true;
}

}  // namespace

bool bind_fastcall(const MethodDescription& description, PyObject* const* args,
                   Py_ssize_t nargs, PyObject* kwnames, PyObject** bound) {
  if (!bind_positional(description, args, nargs, bound)) return false;
  const Py_ssize_t keyword_count = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < keyword_count; ++k) {
    if (!bind_keyword(description, PyTuple_GET_ITEM(kwnames, k),
                      args[nargs + k], bound)) {
      return false;
    }
  }
  return check_required(description, bound);
}

bool bind_tuple_and_dict(const MethodDescription& description, PyObject* args,
                         PyObject* kwargs, PyObject** bound) {
  if (!bind_positional(description, &PyTuple_GET_ITEM(args, 0),
                       PyTuple_GET_SIZE(args), bound)) {
    return false;
  }
  if (kwargs != nullptr) {
    Py_ssize_t position = 0;
    PyObject* keyword;
    PyObject* value;
    while (PyDict_Next(kwargs, &position, &keyword, &value)) {
      if (!bind_keyword(description, keyword, value, bound)) return false;
    }
  }
  return check_required(description, bound);
}

bool convert_text(PyObject* object, std::string* out) {
  if (!PyUnicode_Check(object)) {
    messages::not_a_string(object);
    return false;
  }
  Py_ssize_t size;
  const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
  if (utf8 == nullptr) return false;
  out->assign(utf8, static_cast<std::size_t>(size));
  return true;
}

bool convert_text_list(PyObject* object, std::vector<std::string>* out) {
  if (PyUnicode_Check(object)) {
    messages::string_is_not_a_list();
    return false;
  }
  if (!PySequence_Check(object)) {
    messages::not_a_sequence(object);
    return false;
  }
  std::vector<std::string> texts;
  const Py_ssize_t size = PySequence_Size(object);
  if (size < 0) {
    PyErr_Clear();
  } else {
    texts.reserve(static_cast<std::size_t>(std::min(size, kMaxReservedItems)));
  }
  PyRef iterator = PyRef::steal(PyObject_GetIter(object));
  if (!iterator) return false;
  while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
    if (!convert_text(item.get(), &texts.emplace_back())) return false;
  }
  if (PyErr_Occurred()) return false;
  *out = std::move(texts);
  return true;
}

bool convert_unsigned(PyObject* object, std::uint64_t* out) {
  PyRef integer = PyLong_Check(object) ? PyRef::borrow(object)
                                       : PyRef::steal(PyNumber_Index(object));
  if (!integer) return false;
  const unsigned long long value = PyLong_AsUnsignedLongLong(integer.get());
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    return false;
  }
  *out = value;
  return true;
}

bool convert_float(PyObject* object, double* out) {
  if (PyFloat_CheckExact(object)) {
    *out = PyFloat_AS_DOUBLE(object);
    return true;
  }
  const double value = PyFloat_AsDouble(object);
  if (value == -1.0 && PyErr_Occurred()) return false;
  *out = value;
  return true;
}

bool convert_letter_counts(PyObject* object, LetterCountMap* out) {
  std::string text;
  if (!convert_text(object, &text)) return false;
  *out = *parse_char_list_to_counts(std::string_view(text));
  return true;
}

bool convert_letter_set(PyObject* object, LetterSet* out) {
  std::string text;
  if (!convert_text(object, &text)) return false;
  *out = *parse_char_list_to_set(std::string_view(text));
  return true;
}

bool convert_patterns(PyObject* object, std::vector<ProcessedPattern>* out) {
  std::vector<std::string> texts;
  if (!convert_text_list(object, &texts)) return false;
  *out = prepare_patterns(texts);
  return true;
}

}  // namespace vorpalyx
