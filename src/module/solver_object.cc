#include "module/solver_object.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "char_utils/letter_lists.h"
#include "char_utils/utf8.h"
#include "module/arguments.h"
#include "module/borrow.h"
#include "module/messages.h"
#include "module/py_ref.h"
#include "solver/anagram_solver.h"
#include "solver/prepare_patterns.h"

namespace vorpalyx {
namespace {

struct PySolver {
  PyObject_HEAD AnagramSolver solver;
  BorrowCounter borrow_counter;
};

PySolver* as_solver(PyObject* self) {
  return reinterpret_cast<PySolver*>(self);
}

constexpr const char* kNoParameters[] = {nullptr};
constexpr const char* kWordsParameters[] = {"words"};
constexpr const char* kPathParameters[] = {"path"};
constexpr const char* kWordParameters[] = {"word"};
constexpr const char* kSolveParameters[] = {"phrase",
                                            "must_start_with",
                                            "can_only_ever_start_with",
                                            "must_not_start_with",
                                            "max_words",
                                            "min_word_length",
                                            "timeout_seconds",
                                            "max_solutions",
                                            "contains_patterns"};

const MethodDescription kNewDescription{
    "Solver.__new__()", std::span<const char* const>(kNoParameters, 0), 0};
const MethodDescription kLoadWordsDescription{
    "Solver.load_dictionary_from_words()", kWordsParameters, 1};
const MethodDescription kLoadPathDescription{
    "Solver.load_dictionary_from_path()", kPathParameters, 1};
const MethodDescription kAddWordDescription{"Solver.add_word()",
                                            kWordParameters, 1};
const MethodDescription kSolveDescription{"Solver.solve()", kSolveParameters,
                                          1};

// Every entry point runs its body through this, so that no C++ exception
// reaches the interpreter.
template <typename Body>
PyObject* guard_entry(Body&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  } catch (const std::length_error&) {
    return PyErr_NoMemory();
  }
}

// Closes a file descriptor when it goes out of scope, so that an allocation
// failure while the file is read does not leak it.
class ClosingDescriptor {
 public:
  explicit ClosingDescriptor(int file_descriptor)
      : file_descriptor_(file_descriptor) {}
  ClosingDescriptor(const ClosingDescriptor&) = delete;
  ClosingDescriptor& operator=(const ClosingDescriptor&) = delete;
  ~ClosingDescriptor() { ::close(file_descriptor_); }

 private:
  int file_descriptor_;
};

// Reads the whole file at `path`. On failure returns false and sets the
// OSError of load_dictionary_from_path.
bool read_dictionary_file(const std::string& path, std::string* contents) {
  if (path.find('\0') != std::string::npos) {
    messages::dictionary_path_has_nul();
    return false;
  }
  const int file_descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file_descriptor < 0) {
    messages::dictionary_os_error(errno);
    return false;
  }
  const ClosingDescriptor closing(file_descriptor);
  struct stat status;
  if (::fstat(file_descriptor, &status) == 0 && status.st_size > 0) {
    contents->reserve(static_cast<std::size_t>(status.st_size));
  }
  char buffer[1 << 16];
  for (;;) {
    const ssize_t count = ::read(file_descriptor, buffer, sizeof buffer);
    if (count == 0) break;
    if (count < 0) {
      if (errno == EINTR) continue;
      messages::dictionary_os_error(errno);
      return false;
    }
    contents->append(buffer, static_cast<std::size_t>(count));
  }
  if (!is_valid_utf8(*contents)) {
    messages::dictionary_not_utf8();
    return false;
  }
  return true;
}

// Pauses the cyclic garbage collector while a large result is built: the
// new lists cannot form cycles, so scanning them is wasted work.
class GarbageCollectorPause {
 public:
  GarbageCollectorPause() : was_enabled_(PyGC_Disable()) {}
  ~GarbageCollectorPause() {
    if (was_enabled_) PyGC_Enable();
  }

 private:
  int was_enabled_;
};

// The result as a new list of lists of str. Each distinct word becomes one
// str, made when first needed and shared by every solution that holds it.
// Consumes `solutions`, releasing each group once it has been converted.
PyObject* solutions_to_python(SolutionList& solutions) {
  std::vector<PyRef> words(solutions.words.size());
  GarbageCollectorPause pause;
  PyRef result =
      PyRef::steal(PyList_New(static_cast<Py_ssize_t>(solutions.size())));
  if (!result) return nullptr;
  Py_ssize_t index = 0;
  for (SolutionGroup& group : solutions.groups) {
    const auto word_count = static_cast<Py_ssize_t>(group.word_count);
    bool failed = false;
    group.for_each([&](const std::uint32_t* ids) {
      if (failed) return;
      PyObject* solution = PyList_New(word_count);
      if (solution == nullptr) {
        failed = true;
        return;
      }
      // The result steals `solution`; each item is a new reference.
      PyList_SET_ITEM(result.get(), index++, solution);
      for (Py_ssize_t k = 0; k < word_count; ++k) {
        PyRef& word = words[ids[k]];
        if (!word) {
          const std::string& text = solutions.words[ids[k]];
          word = PyRef::steal(PyUnicode_FromStringAndSize(
              text.data(), static_cast<Py_ssize_t>(text.size())));
          if (!word) {
            failed = true;
            return;
          }
        }
        PyList_SET_ITEM(solution, k, Py_NewRef(word.get()));
      }
    });
    if (failed) return nullptr;
    group.release();
  }
  return result.release();
}

// Converts an optional text argument; None and absence both give nullopt.
bool convert_optional_text(PyObject* object, const char* parameter,
                           std::optional<std::string>* out) {
  if (object == nullptr || object == Py_None) return true;
  if (!convert_text(object, &out->emplace())) {
    messages::name_argument_in_type_error(parameter);
    return false;
  }
  return true;
}

template <typename Value, typename Convert>
bool convert_optional(PyObject* object, const char* parameter, Convert convert,
                      std::optional<Value>* out) {
  if (object == nullptr || object == Py_None) return true;
  if (!convert(object, &out->emplace())) {
    messages::name_argument_in_type_error(parameter);
    return false;
  }
  return true;
}

std::optional<std::string_view> view_of(
    const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return std::string_view(*text);
}

PyObject* solver_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guard_entry([&]() -> PyObject* {
    PyObject* bound[1];
    if (!bind_tuple_and_dict(kNewDescription, args, kwargs, bound)) {
      return nullptr;
    }
    AnagramSolver solver;
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    new (&as_solver(self)->solver) AnagramSolver(std::move(solver));
    new (&as_solver(self)->borrow_counter) BorrowCounter(0);
    return self;
  });
}

void solver_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  as_solver(self)->solver.~AnagramSolver();
  as_solver(self)->borrow_counter.~BorrowCounter();
  type->tp_free(self);
  Py_DECREF(type);
}

PyObject* load_dictionary_from_words(PyObject* self, PyObject* const* args,
                                     Py_ssize_t nargs, PyObject* kwnames) {
  return guard_entry([&]() -> PyObject* {
    PyObject* bound[1];
    if (!bind_fastcall(kLoadWordsDescription, args, nargs, kwnames, bound)) {
      return nullptr;
    }
    BorrowGuard use(as_solver(self)->borrow_counter,
                    BorrowGuard::Kind::kExclusive);
    if (!use.acquired()) return messages::already_borrowed();
    std::vector<std::string> words;
    if (!convert_text_list(bound[0], &words)) {
      return messages::name_argument_in_type_error("words");
    }
    for (const std::string& word : words) as_solver(self)->solver.insert(word);
    Py_RETURN_NONE;
  });
}

PyObject* load_dictionary_from_path(PyObject* self, PyObject* const* args,
                                    Py_ssize_t nargs, PyObject* kwnames) {
  return guard_entry([&]() -> PyObject* {
    PyObject* bound[1];
    if (!bind_fastcall(kLoadPathDescription, args, nargs, kwnames, bound)) {
      return nullptr;
    }
    BorrowGuard use(as_solver(self)->borrow_counter,
                    BorrowGuard::Kind::kExclusive);
    if (!use.acquired()) return messages::already_borrowed();
    std::string path;
    if (!convert_text(bound[0], &path)) {
      return messages::name_argument_in_type_error("path");
    }
    std::string contents;
    if (!read_dictionary_file(path, &contents)) return nullptr;
    as_solver(self)->solver.load_dictionary_from_text(contents);
    Py_RETURN_NONE;
  });
}

PyObject* add_word(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) {
  return guard_entry([&]() -> PyObject* {
    PyObject* bound[1];
    if (!bind_fastcall(kAddWordDescription, args, nargs, kwnames, bound)) {
      return nullptr;
    }
    BorrowGuard use(as_solver(self)->borrow_counter,
                    BorrowGuard::Kind::kExclusive);
    if (!use.acquired()) return messages::already_borrowed();
    std::string word;
    if (!convert_text(bound[0], &word)) {
      return messages::name_argument_in_type_error("word");
    }
    as_solver(self)->solver.insert(word);
    Py_RETURN_NONE;
  });
}

PyObject* solve(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) {
  return guard_entry([&]() -> PyObject* {
    PyObject* bound[std::size(kSolveParameters)];
    if (!bind_fastcall(kSolveDescription, args, nargs, kwnames, bound)) {
      return nullptr;
    }
    BorrowGuard use(as_solver(self)->borrow_counter,
                    BorrowGuard::Kind::kShared);
    if (!use.acquired()) return messages::already_mutably_borrowed();

    std::string phrase;
    if (!convert_text(bound[0], &phrase)) {
      return messages::name_argument_in_type_error("phrase");
    }
    std::optional<std::string> must_start_with;
    std::optional<std::string> can_only_ever_start_with;
    std::optional<std::string> must_not_start_with;
    std::optional<std::uint64_t> max_words;
    std::optional<std::uint64_t> min_word_length;
    std::optional<double> timeout_seconds;
    std::optional<std::uint64_t> max_solutions;
    std::optional<std::vector<std::string>> contains_patterns;
    if (!convert_optional_text(bound[1], "must_start_with", &must_start_with) ||
        !convert_optional_text(bound[2], "can_only_ever_start_with",
                               &can_only_ever_start_with) ||
        !convert_optional_text(bound[3], "must_not_start_with",
                               &must_not_start_with) ||
        !convert_optional(bound[4], "max_words", convert_unsigned,
                          &max_words) ||
        !convert_optional(bound[5], "min_word_length", convert_unsigned,
                          &min_word_length) ||
        !convert_optional(bound[6], "timeout_seconds", convert_float,
                          &timeout_seconds) ||
        !convert_optional(bound[7], "max_solutions", convert_unsigned,
                          &max_solutions) ||
        !convert_optional(bound[8], "contains_patterns", convert_text_list,
                          &contains_patterns)) {
      return nullptr;
    }

    SolverConstraints constraints;
    constraints.must_start_with =
        parse_char_list_to_counts(view_of(must_start_with));
    constraints.can_only_ever_start_with =
        parse_char_list_to_set(view_of(can_only_ever_start_with));
    constraints.must_not_start_with =
        parse_char_list_to_set(view_of(must_not_start_with));
    constraints.max_words = max_words;
    constraints.min_word_length = min_word_length;
    constraints.timeout_seconds = timeout_seconds;
    constraints.max_solutions = max_solutions;
    if (contains_patterns) {
      constraints.contains_patterns = prepare_patterns(*contains_patterns);
    }

    SolutionList solutions = as_solver(self)->solver.solve(phrase, constraints);
    return solutions_to_python(solutions);
  });
}

PyMethodDef solver_methods[] = {
    {"load_dictionary_from_words",
     reinterpret_cast<PyCFunction>(
         reinterpret_cast<void (*)()>(load_dictionary_from_words)),
     METH_FASTCALL | METH_KEYWORDS,
     "load_dictionary_from_words($self, words)\n--\n\n"},
    {"load_dictionary_from_path",
     reinterpret_cast<PyCFunction>(
         reinterpret_cast<void (*)()>(load_dictionary_from_path)),
     METH_FASTCALL | METH_KEYWORDS,
     "load_dictionary_from_path($self, path)\n--\n\n"},
    {"add_word",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(add_word)),
     METH_FASTCALL | METH_KEYWORDS, "add_word($self, word)\n--\n\n"},
    {"solve",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(solve)),
     METH_FASTCALL | METH_KEYWORDS,
     "solve($self, phrase, must_start_with=None, "
     "can_only_ever_start_with=None, "
     "must_not_start_with=None, max_words=None, min_word_length=None, "
     "timeout_seconds=None, max_solutions=None, "
     "contains_patterns=None)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot solver_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(solver_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(solver_dealloc)},
    {Py_tp_methods, solver_methods},
    {Py_tp_doc, const_cast<char*>("Solver()\n--\n\n")},
    {0, nullptr},
};

// "builtins." gives the type no module of its own: __module__ is "builtins".
PyType_Spec solver_spec = {
    "builtins.Solver",
    static_cast<int>(sizeof(PySolver)),
    0,
    Py_TPFLAGS_DEFAULT,
    solver_slots,
};

}  // namespace

PyObject* create_solver_type() { return PyType_FromSpec(&solver_spec); }

}  // namespace vorpalyx
