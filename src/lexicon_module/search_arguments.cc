#include "lexicon_module/search_arguments.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <vector>

#include "char_utils/fold.h"
#include "char_utils/letter_lists.h"
#include "char_utils/normalize.h"
#include "char_utils/utf8.h"
#include "lexicon_module/engine_call.h"
#include "module/py_ref.h"
#include "solver/file_contents.h"
#include "solver/prepare_patterns.h"

namespace vorpalyx {
namespace {

constexpr const char* kPositional[] = {"phrase"};
constexpr std::array<const char*, 17> kKeywordOnly = {
    "must_start_with",
    "can_only_ever_start_with",
    "must_not_start_with",
    "max_words",
    "min_word_length",
    "timeout_seconds",
    "max_solutions",
    "contains_patterns",
    "threads",
    "max_word_length",
    "min_words",
    "lengths",
    "include",
    "exclude",
    "distinct",
    "leftover",
    "fold",
};
static_assert(std::size(kPositional) + std::size(kKeywordOnly) ==
              kSearchParameterCount);

template <std::size_t kFirst, std::size_t kSecond>
constexpr std::array<const char*, kFirst + kSecond> joined(
    const std::array<const char*, kFirst>& first,
    const std::array<const char*, kSecond>& second) {
  std::array<const char*, kFirst + kSecond> all{};
  std::copy(first.begin(), first.end(), all.begin());
  std::copy(second.begin(), second.end(), all.begin() + kFirst);
  return all;
}

// search() also takes the order and weights of its result; best() takes k
// (also by position) and weights before the rest.
constexpr auto kOrderedKeywordOnly =
    joined(kKeywordOnly, std::array<const char*, 2>{"order", "weights"});
constexpr auto kBestKeywordOnly =
    joined(std::array<const char*, 2>{"k", "weights"}, kKeywordOnly);

bool wrong_type(const char* method, const char* argument, const char* expected,
                PyObject* object) {
  PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be %s, not %T", method,
               argument, expected, object);
  return false;
}

// A whole number from `least` to 2**64 - 1.
bool convert_count(const char* method, const char* argument, PyObject* object,
                   std::uint64_t least, std::uint64_t* out) {
  if (!PyIndex_Check(object)) {
    return wrong_type(method, argument, "int or None", object);
  }
  PyRef integer = PyRef::steal(PyNumber_Index(object));
  if (!integer) return false;
  int overflow = 0;
  const long long small =
      PyLong_AsLongLongAndOverflow(integer.get(), &overflow);
  if (small == -1 && PyErr_Occurred()) return false;
  if (overflow < 0 || (overflow == 0 && small < 0) ||
      (overflow == 0 && static_cast<std::uint64_t>(small) < least)) {
    PyErr_Format(PyExc_ValueError,
                 "%s() argument '%s' must be at least %llu, "
                 "not %S",
                 method, argument, static_cast<unsigned long long>(least),
                 integer.get());
    return false;
  }
  const unsigned long long value = PyLong_AsUnsignedLongLong(integer.get());
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    PyErr_Clear();
    PyErr_Format(PyExc_ValueError,
                 "%s() argument '%s' must be at most 18446744073709551615, "
                 "not %S",
                 method, argument, integer.get());
    return false;
  }
  *out = value;
  return true;
}

// A real number: a float, or an object with __float__ or __index__, whose
// own errors pass unchanged.
bool convert_seconds(const char* method, const char* argument, PyObject* object,
                     double* out) {
  const PyNumberMethods* number = Py_TYPE(object)->tp_as_number;
  if (!PyFloat_Check(object) && !PyIndex_Check(object) &&
      (number == nullptr || number->nb_float == nullptr)) {
    return wrong_type(method, argument, "a number or None", object);
  }
  const double value = PyFloat_AsDouble(object);
  if (value == -1.0 && PyErr_Occurred()) return false;
  *out = value;
  return true;
}

// The items of an iterable (not a str or bytes), each converted by
// `convert(item)`, which may run Python code.
template <typename Convert>
bool convert_items(const char* method, const char* argument, PyObject* object,
                   const char* expected, Convert&& convert) {
  if (PyUnicode_Check(object) || PyBytes_Check(object)) {
    return wrong_type(method, argument, expected, object);
  }
  PyRef iterator = PyRef::steal(PyObject_GetIter(object));
  if (!iterator) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
    PyErr_Clear();
    return wrong_type(method, argument, expected, object);
  }
  while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
    if (!convert(item.get())) return false;
  }
  return !PyErr_Occurred();
}

bool convert_texts(const char* method, const char* argument, PyObject* object,
                   std::vector<std::string>* texts) {
  return convert_items(
      method, argument, object, "an iterable of str", [&](PyObject* item) {
        if (!PyUnicode_Check(item)) {
          PyErr_Format(PyExc_TypeError,
                       "%s() argument '%s' must hold only str, not %T", method,
                       argument, item);
          return false;
        }
        return convert_str(method, argument, item, &texts->emplace_back());
      });
}

bool convert_patterns(const char* method, const char* argument,
                      PyObject* object, bool fold,
                      std::vector<ProcessedPattern>* out) {
  std::vector<std::string> texts;
  if (!convert_texts(method, argument, object, &texts)) return false;
  if (fold) {
    for (std::string& text : texts) text = fold_text(text);
  }
  *out = prepare_patterns(texts);
  return true;
}

// Words as the dictionary holds them: their letters a-z or, with `fold`,
// their spelling (`spelt`) or their folded letters. With `need_letters`, a
// word that has none is refused.
bool convert_words(const char* method, const char* argument, PyObject* object,
                   bool fold, bool spelt, bool need_letters,
                   std::vector<std::string>* out) {
  std::vector<std::string> texts;
  if (!convert_texts(method, argument, object, &texts)) return false;
  std::string folded;
  std::string spelling;
  for (const std::string& text : texts) {
    std::string word;
    if (fold) {
      fold_word(text, &folded, &spelling);
      if (!folded.empty()) word = spelt ? spelling : folded;
    } else {
      word = normalize_word(text);
    }
    if (word.empty()) {
      if (!need_letters) continue;
      PyRef shown = PyRef::steal(PyUnicode_DecodeUTF8(
          text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
      if (shown) {
        PyErr_Format(PyExc_ValueError,
                     "%s() argument '%s' holds a word without letters: %R",
                     method, argument, shown.get());
      }
      return false;
    }
    out->push_back(std::move(word));
  }
  return true;
}

// A crossword enumeration: whole numbers of at least 1, at least one.
bool convert_lengths(const char* method, PyObject* object,
                     std::vector<std::uint64_t>* out) {
  if (!convert_items(
          method, "lengths", object, "an iterable of int", [&](PyObject* item) {
            if (!PyLong_Check(item)) {
              PyErr_Format(PyExc_TypeError,
                           "%s() argument 'lengths' must hold only int, "
                           "not %T",
                           method, item);
              return false;
            }
            return convert_count(method, "lengths", item, 1,
                                 &out->emplace_back());
          })) {
    return false;
  }
  if (out->empty()) {
    PyErr_Format(PyExc_ValueError,
                 "%s() argument 'lengths' must hold at least one length",
                 method);
    return false;
  }
  return true;
}

}  // namespace

Signature search_signature(const char* name) {
  return {name, kPositional, kKeywordOnly};
}

Signature ordered_search_signature() {
  return {"search", kPositional, kOrderedKeywordOnly};
}

Signature best_signature() {
  return {"best", kPositional, kBestKeywordOnly, 1};
}

bool convert_str(const char* method, const char* argument, PyObject* object,
                 std::string* out) {
  if (!PyUnicode_Check(object))
    return wrong_type(method, argument, "str", object);
  Py_ssize_t size;
  const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
  if (utf8 == nullptr) return false;
  out->assign(utf8, static_cast<std::size_t>(size));
  return true;
}

bool convert_fold(const char* method, PyObject* object, bool* fold) {
  if (object == nullptr || object == Py_None) return true;
  if (!PyBool_Check(object)) return wrong_type(method, "fold", "bool", object);
  *fold = object == Py_True;
  return true;
}

bool convert_path(const char* method, const char* argument, PyObject* object,
                  PyRef* path, std::string* name) {
  const auto not_a_path = [&] {
    PyErr_Format(PyExc_TypeError,
                 "%s() argument '%s' must be str, bytes or os.PathLike, not %T",
                 method, argument, object);
    return false;
  };
  if (PyUnicode_Check(object) || PyBytes_Check(object)) {
    *path = PyRef::borrow(object);
  } else {
    // Called here rather than through os.fspath, so that an error that
    // __fspath__ raises passes unchanged, a TypeError too.
    PyRef fspath = PyRef::steal(PyObject_GetAttrString(
        reinterpret_cast<PyObject*>(Py_TYPE(object)), "__fspath__"));
    if (!fspath) {
      if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
      PyErr_Clear();
      return not_a_path();
    }
    if (fspath.get() == Py_None) return not_a_path();
    *path = PyRef::steal(PyObject_CallOneArg(fspath.get(), object));
    if (!*path) return false;
    if (!PyUnicode_Check(path->get()) && !PyBytes_Check(path->get())) {
      return not_a_path();
    }
  }
  PyRef encoded = PyUnicode_Check(path->get())
                      ? PyRef::steal(PyUnicode_EncodeFSDefault(path->get()))
                      : PyRef::borrow(path->get());
  if (!encoded) return false;
  name->assign(PyBytes_AS_STRING(encoded.get()),
               static_cast<std::size_t>(PyBytes_GET_SIZE(encoded.get())));
  if (name->find('\0') != std::string::npos) {
    PyErr_Format(PyExc_ValueError, "%s(): embedded null byte", method);
    return false;
  }
  return true;
}

// A UnicodeDecodeError for the first line of `text` that is not UTF-8,
// naming its number and the file.
void set_decode_error(std::string_view text, PyObject* path) {
  std::size_t number = 1;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    if (!is_valid_utf8(line)) {
      PyRef decoded = PyRef::steal(PyUnicode_DecodeUTF8(
          line.data(), static_cast<Py_ssize_t>(line.size()), "strict"));
      if (decoded || !PyErr_ExceptionMatches(PyExc_UnicodeDecodeError)) break;
      PyObject* type;
      PyObject* value;
      PyObject* traceback;
      PyErr_Fetch(&type, &value, &traceback);
      PyRef error = PyRef::steal(value);
      Py_XDECREF(type);
      Py_XDECREF(traceback);
      Py_ssize_t start = 0, stop = 0;
      PyRef reason = PyRef::steal(PyUnicodeDecodeError_GetReason(error.get()));
      if (!reason || PyUnicodeDecodeError_GetStart(error.get(), &start) < 0 ||
          PyUnicodeDecodeError_GetEnd(error.get(), &stop) < 0) {
        return;
      }
      PyRef full_reason = PyRef::steal(PyUnicode_FromFormat(
          "%U (line %zu of %R)", reason.get(), number, path));
      if (!full_reason) return;
      const char* reason_text = PyUnicode_AsUTF8(full_reason.get());
      if (reason_text == nullptr) return;
      PyRef replacement = PyRef::steal(PyUnicodeDecodeError_Create(
          "utf-8", line.data(), static_cast<Py_ssize_t>(line.size()), start,
          stop, reason_text));
      if (replacement) {
        PyErr_SetObject(PyExc_UnicodeDecodeError, replacement.get());
      }
      return;
    }
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
    ++number;
  }
  if (!PyErr_Occurred()) {
    PyErr_SetString(PyExc_UnicodeError, "the file is not UTF-8");
  }
}

bool convert_search_arguments(const char* name, PyObject* const* bound,
                              SearchRequest* request) {
  if (!convert_str(name, "phrase", bound[0], &request->phrase)) return false;
  // Blanks are counted before folding, which drops every '?'.
  const auto blanks =
      std::count(request->phrase.begin(), request->phrase.end(), kBlank);
  if (blanks > kMostBlanks) {
    PyErr_Format(PyExc_ValueError,
                 "%s() argument 'phrase' has %zd blanks ('?'); at most %d "
                 "are allowed",
                 name, static_cast<Py_ssize_t>(blanks), kMostBlanks);
    return false;
  }
  ExtendedConstraints& extended = request->extended;
  extended.blanks = static_cast<std::uint32_t>(blanks);
  bool fold = true;
  if (!convert_fold(name, bound[17], &fold)) return false;
  if (fold) request->phrase = fold_text(request->phrase);
  SolverConstraints& constraints = request->constraints;
  std::string text;
  auto given = [&](int slot) {
    return bound[slot] != nullptr && bound[slot] != Py_None;
  };
  auto letters = [&](int slot) {
    if (!PyUnicode_Check(bound[slot])) {
      return wrong_type(name, kKeywordOnly[slot - 1], "str or None",
                        bound[slot]);
    }
    return convert_str(name, kKeywordOnly[slot - 1], bound[slot], &text);
  };
  if (given(1)) {
    if (!letters(1)) return false;
    constraints.must_start_with = *parse_char_list_to_counts(text);
  }
  if (given(2)) {
    if (!letters(2)) return false;
    constraints.can_only_ever_start_with = *parse_char_list_to_set(text);
  }
  if (given(3)) {
    if (!letters(3)) return false;
    constraints.must_not_start_with = *parse_char_list_to_set(text);
  }
  std::uint64_t count = 0;
  if (given(4)) {
    if (!convert_count(name, "max_words", bound[4], 0, &count)) return false;
    constraints.max_words = count;
  }
  if (given(5)) {
    if (!convert_count(name, "min_word_length", bound[5], 0, &count)) {
      return false;
    }
    constraints.min_word_length = count;
  }
  if (given(6)) {
    double seconds = 0;
    if (!convert_seconds(name, "timeout_seconds", bound[6], &seconds)) {
      return false;
    }
    constraints.timeout_seconds = seconds;
  }
  if (given(7)) {
    if (!convert_count(name, "max_solutions", bound[7], 0, &count)) {
      return false;
    }
    constraints.max_solutions = count;
  }
  if (given(8)) {
    if (!convert_patterns(name, "contains_patterns", bound[8], fold,
                          &constraints.contains_patterns.emplace())) {
      return false;
    }
  }
  if (given(9)) {
    if (!convert_count(name, "threads", bound[9], 1, &count)) return false;
    request->second_core = count > 1;
  }
  if (given(10)) {
    if (!convert_count(name, "max_word_length", bound[10], 1, &count)) {
      return false;
    }
    extended.max_word_length = count;
  }
  if (given(11)) {
    if (!convert_count(name, "min_words", bound[11], 0, &count)) return false;
    extended.min_words = count;
  }
  if (given(12) &&
      !convert_lengths(name, bound[12], &extended.lengths.emplace())) {
    return false;
  }
  if (given(13) && !convert_words(name, "include", bound[13], fold, true, true,
                                  &extended.include)) {
    return false;
  }
  if (given(14) && !convert_words(name, "exclude", bound[14], fold, false,
                                  false, &extended.exclude)) {
    return false;
  }
  if (given(15)) {
    if (!PyBool_Check(bound[15])) {
      return wrong_type(name, "distinct", "bool", bound[15]);
    }
    extended.distinct = bound[15] == Py_True;
  }
  if (given(16)) {
    if (!convert_count(name, "leftover", bound[16], 0, &extended.leftover)) {
      return false;
    }
  }
  return true;
}

bool read_text_file(const char* method, const char* argument, PyObject* object,
                    PyRef* path, std::string* contents,
                    const std::function<void(const std::string&)>& use) {
  std::string name;
  if (!convert_path(method, argument, object, path, &name)) return false;
  int error_number = 0;
  bool valid = false;
  if (!run_without_gil([&](const InterruptPoll& poll) {
        error_number = read_file_contents(name, contents, &poll);
        valid = error_number == 0 && is_valid_utf8(*contents);
        if (valid && use) use(*contents);
      })) {
    return false;
  }
  if (error_number != 0) {
    errno = error_number;
    PyErr_SetFromErrnoWithFilenameObject(PyExc_OSError, path->get());
    return false;
  }
  if (!valid) {
    set_decode_error(*contents, path->get());
    return false;
  }
  return true;
}

}  // namespace vorpalyx
