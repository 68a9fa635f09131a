#include "lexicon_module/weights_arguments.h"

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <variant>

#include "lexicon_module/search_arguments.h"
#include "module/py_ref.h"

namespace vorpalyx {
namespace {

bool from_path(const char* method, PyObject* object, WordWeights* out) {
  PyRef path;
  std::string contents;
  std::variant<WordWeights, WeightsFileError> read;
  if (!read_text_file(
          method, "weights", object, &path, &contents,
          [&](const std::string& text) { read = weights_from_counts(text); })) {
    return false;
  }
  if (const auto* error = std::get_if<WeightsFileError>(&read)) {
    // Whole, though the line it quotes may hold a NUL.
    PyRef reason = PyRef::steal(PyUnicode_DecodeUTF8(
        error->reason.data(), static_cast<Py_ssize_t>(error->reason.size()),
        "replace"));
    if (!reason) return false;
    if (error->line == 0) {
      PyErr_Format(PyExc_ValueError, "%s(): %R: %U", method, path.get(),
                   reason.get());
    } else {
      PyErr_Format(PyExc_ValueError, "%s(): line %zu of %R: %U", method,
                   error->line, path.get(), reason.get());
    }
    return false;
  }
  *out = std::move(std::get<WordWeights>(read));
  return true;
}

bool from_mapping(const char* method, PyObject* object, WordWeights* out) {
  PyRef listed = PyRef::steal(PyMapping_Items(object));
  if (!listed) return false;
  // items() may give a list that it keeps, and a weight's __float__ may
  // change that list while its pairs are read: read a copy.
  PyRef items = PyRef::steal(PyList_AsTuple(listed.get()));
  if (!items) return false;
  const Py_ssize_t size = PyTuple_GET_SIZE(items.get());
  for (Py_ssize_t i = 0; i < size; ++i) {
    PyObject* item = PyTuple_GET_ITEM(items.get(), i);
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    if (!PyTuple_Check(item) || PyTuple_GET_SIZE(item) != 2) {
      PyErr_Format(PyExc_TypeError,
                   "%s() argument 'weights': items() must give pairs, not %T",
                   method, item);
      return false;
    }
    key = PyTuple_GET_ITEM(item, 0);
    value = PyTuple_GET_ITEM(item, 1);
    if (!PyUnicode_Check(key)) {
      PyErr_Format(PyExc_TypeError,
                   "%s() argument 'weights' must have str keys, not %T (%R)",
                   method, key, key);
      return false;
    }
    const PyNumberMethods* number = Py_TYPE(value)->tp_as_number;
    if (!PyFloat_Check(value) && !PyIndex_Check(value) &&
        (number == nullptr || number->nb_float == nullptr)) {
      PyErr_Format(PyExc_TypeError,
                   "%s() argument 'weights': the weight of %R must be a real "
                   "number, not %T",
                   method, key, value);
      return false;
    }
    double weight = PyFloat_AsDouble(value);
    if (weight == -1.0 && PyErr_Occurred()) {
      // A number beyond a double's range (an int of 400 digits) is refused
      // below as too large or too small, by its sign.
      if (!PyErr_ExceptionMatches(PyExc_OverflowError)) return false;
      PyRef overflow = PyRef::steal(PyErr_GetRaisedException());
      PyRef zero = PyRef::steal(PyLong_FromLong(0));
      const int positive =
          zero ? PyObject_RichCompareBool(value, zero.get(), Py_GT) : -1;
      if (positive < 0) {
        PyErr_SetRaisedException(overflow.release());
        return false;
      }
      weight = positive ? HUGE_VAL : -std::numeric_limits<double>::max();
    }
    if (!std::isfinite(weight) || weight > 0) {
      PyErr_Format(PyExc_ValueError,
                   "%s() argument 'weights': the weight of %R must be a finite "
                   "number at most 0 (a base-10 logarithm of a frequency), "
                   "not %R",
                   method, key, value);
      return false;
    }
    if (weight < kLowestWeight / 100.0) {
      PyErr_Format(PyExc_ValueError,
                   "%s() argument 'weights': the weight of %R must be at "
                   "least %d, not %R",
                   method, key, kLowestWeight / 100, value);
      return false;
    }
    std::string word;
    if (!convert_str(method, "weights", key, &word)) return false;
    word = spelling_of(word);
    if (!word.empty()) out->name(std::move(word), hundredths(weight));
  }
  out->set_floor();
  return true;
}

}  // namespace

bool convert_weights(const char* method, PyObject* object,
                     std::shared_ptr<const WordWeights>* out) {
  auto weights = std::make_shared<WordWeights>();
  if (PyUnicode_Check(object) || PyBytes_Check(object) ||
      PyObject_HasAttrString(object, "__fspath__")) {
    if (!from_path(method, object, weights.get())) return false;
  } else if (PyMapping_Check(object) &&
             PyObject_HasAttrString(object, "items")) {
    if (!from_mapping(method, object, weights.get())) return false;
  } else {
    PyErr_Format(PyExc_TypeError,
                 "%s() argument 'weights' must be a mapping of str to float "
                 "or the path of a word<TAB>count file, not %T",
                 method, object);
    return false;
  }
  *out = std::move(weights);
  return true;
}

}  // namespace vorpalyx
