// See solver_object.h. Every method checks in the same order: argument
// binding, then the Solver's borrow, then conversion of the arguments (which
// may run Python code), then the work itself.

#include "module/solver_object.h"

#include <chrono>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "module/arguments.h"
#include "module/borrow.h"
#include "module/dictionary_file.h"
#include "module/messages.h"
#include "module/result_conversion.h"
#include "module/solve_parameters.h"
#include "solver/anagram_solver.h"
#include "solver/memory_budget.h"
#include "solver/search_stop.h"

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

const MethodDescription kNewDescription{
    "Solver.__new__()", std::span<const char* const>(kNoParameters, 0), 0};
const MethodDescription kLoadWordsDescription{
    "Solver.load_dictionary_from_words()", kWordsParameters, 1};
const MethodDescription kLoadPathDescription{
    "Solver.load_dictionary_from_path()", kPathParameters, 1};
const MethodDescription kAddWordDescription{"Solver.add_word()",
                                            kWordParameters, 1};

// What a solution costs here once the engine has found it: a list of
// `word_count` shared str (56 bytes with its header, 8 per item, 8 for its
// slot in the result), and the time to build it, measured on the project's
// machine kind with a margin.
constexpr FinishCosts kConversionCosts{
    .seconds_per_solution = 100e-9,
    .seconds_per_word = 6e-9,
    .bytes_per_solution = 64 + 8,
    .bytes_per_word = 8,
};

// Limits beyond this (about 30 years) set no deadline for the conversion.
constexpr double kLongestDeadlineSeconds = 1e9;

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

// The body of the three methods that change the dictionary: one argument,
// converted by `convert` into a Value under the exclusive borrow, then handed
// to `change`, which returns false with an exception set on failure.
template <typename Value, typename Convert, typename Change>
PyObject* change_dictionary(const MethodDescription& description,
                            PyObject* self, PyObject* const* args,
                            Py_ssize_t nargs, PyObject* kwnames,
                            Convert convert, Change change) {
  return guard_entry([&]() -> PyObject* {
    PyObject* bound[1];
    if (!bind_fastcall(description, args, nargs, kwnames, bound)) {
      return nullptr;
    }
    BorrowGuard use(as_solver(self)->borrow_counter,
                    BorrowGuard::Kind::kExclusive);
    if (!use.acquired()) return messages::already_borrowed();
    Value value;
    if (!convert(bound[0], &value)) {
      return messages::name_argument_in_type_error(description.parameters[0]);
    }
    if (!change(as_solver(self)->solver, value)) return nullptr;
    Py_RETURN_NONE;
  });
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
  return change_dictionary<std::vector<std::string>>(
      kLoadWordsDescription, self, args, nargs, kwnames, convert_text_list,
      [](AnagramSolver& solver, const std::vector<std::string>& words) {
        for (const std::string& word : words) solver.insert(word);
        return true;
      });
}

PyObject* load_dictionary_from_path(PyObject* self, PyObject* const* args,
                                    Py_ssize_t nargs, PyObject* kwnames) {
  return change_dictionary<std::string>(
      kLoadPathDescription, self, args, nargs, kwnames, convert_text,
      [](AnagramSolver& solver, const std::string& path) {
        std::string contents;
        if (!read_dictionary_file(path, &contents)) return false;
        solver.load_dictionary_from_text(contents);
        return true;
      });
}

PyObject* add_word(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) {
  return change_dictionary<std::string>(
      kAddWordDescription, self, args, nargs, kwnames, convert_text,
      [](AnagramSolver& solver, const std::string& word) {
        solver.insert(word);
        return true;
      });
}

PyObject* solve(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                PyObject* kwnames) {
  return guard_entry([&]() -> PyObject* {
    PyObject* bound[kSolveParameterCount];
    if (!bind_fastcall(kSolveDescription, args, nargs, kwnames, bound)) {
      return nullptr;
    }
    BorrowGuard use(as_solver(self)->borrow_counter,
                    BorrowGuard::Kind::kShared);
    if (!use.acquired()) return messages::already_mutably_borrowed();
    SolveRequest request;
    if (!convert_solve_arguments(bound, &request)) return nullptr;
    // Measured, as the search measures it, from after the arguments: time
    // spent in the caller's conversion code (a slow __float__, say) is not
    // the search's, which planned its result's conversion from its start.
    const auto start = std::chrono::steady_clock::now();
    SolutionList solutions;
    bool traced = false;
    try {
      solutions = as_solver(self)->solver.solve(
          request.phrase, request.constraints, kConversionCosts, &traced);
    } catch (const ResultTooLarge& error) {
      return messages::result_too_large(error);
    }
    std::optional<std::chrono::steady_clock::time_point> deadline;
    // Untraced, the time limit bounds the whole call: what could not be
    // converted in time is left out, from the end of the result order.
    // A limit of NaN never ends a search, nor does one past any clock; a
    // negative one has ended it before it began.
    const std::optional<double>& limit = request.constraints.timeout_seconds;
    if (limit && !traced && *limit >= 0 && *limit < kLongestDeadlineSeconds) {
      deadline =
          start +
          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
              std::chrono::duration<double>(*limit));
    }
    return solutions_to_python(solutions, deadline);
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
     METH_FASTCALL | METH_KEYWORDS, kSolveDocstring.data()},
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
