// The parameters of Solver.solve, in one table: each one's name, whether it
// must be given, and the conversion that fills its field of the request. The
// names, in table order, are what binding matches; the table drives the
// conversion of a call's arguments; the method's text signature is written
// from it at compile time.
//
// Invariants: required parameters come first (binding checks a prefix).
// Arguments are converted in table order and the first failure is the one
// reported, a TypeError renamed after its parameter. An optional parameter
// given as None is the same as one left out: its field stays unset. Cost:
// nothing at run time beyond the conversions.
//
// Tested by tests/python/test_solve_arguments.py and, for the signature,
// tests/python/test_module.py.

#ifndef VORPALYX_MODULE_SOLVE_PARAMETERS_H_
#define VORPALYX_MODULE_SOLVE_PARAMETERS_H_

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>

#include "module/arguments.h"
#include "solver/search_records.h"

namespace vorpalyx {

// What one call of Solver.solve asks for, once its arguments are converted.
struct SolveRequest {
  std::string phrase;
  SolverConstraints constraints;
};

struct SolveParameter {
  const char* name;
  bool required;
  // Converts a given argument (for an optional parameter, one that is not
  // None) into its field. Returns false with an exception set on failure.
  bool (*convert)(PyObject* argument, SolveRequest& request);
};

namespace solve_parameters_internal {

template <auto Field, auto Convert>
bool into_request(PyObject* argument, SolveRequest& request) {
  return Convert(argument, &(request.*Field));
}

template <auto Field, auto Convert>
bool into_constraint(PyObject* argument, SolveRequest& request) {
  return Convert(argument, &(request.constraints.*Field).emplace());
}

}  // namespace solve_parameters_internal

inline constexpr SolveParameter kSolveParameters[] = {
    {"phrase", true,
     solve_parameters_internal::into_request<&SolveRequest::phrase,
                                             convert_text>},
    {"must_start_with", false,
     solve_parameters_internal::into_constraint<
         &SolverConstraints::must_start_with, convert_letter_counts>},
    {"can_only_ever_start_with", false,
     solve_parameters_internal::into_constraint<
         &SolverConstraints::can_only_ever_start_with, convert_letter_set>},
    {"must_not_start_with", false,
     solve_parameters_internal::into_constraint<
         &SolverConstraints::must_not_start_with, convert_letter_set>},
    {"max_words", false,
     solve_parameters_internal::into_constraint<&SolverConstraints::max_words,
                                                convert_unsigned>},
    {"min_word_length", false,
     solve_parameters_internal::into_constraint<
         &SolverConstraints::min_word_length, convert_unsigned>},
    {"timeout_seconds", false,
     solve_parameters_internal::into_constraint<
         &SolverConstraints::timeout_seconds, convert_float>},
    {"max_solutions", false,
     solve_parameters_internal::into_constraint<
         &SolverConstraints::max_solutions, convert_unsigned>},
    {"contains_patterns", false,
     solve_parameters_internal::into_constraint<
         &SolverConstraints::contains_patterns, convert_patterns>},
};

inline constexpr std::size_t kSolveParameterCount = std::size(kSolveParameters);

namespace solve_parameters_internal {

constexpr auto names() {
  std::array<const char*, kSolveParameterCount> names{};
  for (std::size_t i = 0; i < kSolveParameterCount; ++i) {
    names[i] = kSolveParameters[i].name;
  }
  return names;
}

constexpr Py_ssize_t required_count() {
  Py_ssize_t count = 0;
  while (count < static_cast<Py_ssize_t>(kSolveParameterCount) &&
         kSolveParameters[count].required) {
    ++count;
  }
  return count;
}

constexpr bool required_come_first() {
  for (std::size_t i = static_cast<std::size_t>(required_count());
       i < kSolveParameterCount; ++i) {
    if (kSolveParameters[i].required) return false;
  }
  return true;
}
static_assert(required_come_first());

// Writes "solve($self, <parameters>)\n--\n\n", the form from which Python
// takes __text_signature__, into `out` unless it is null; returns its length.
constexpr std::size_t write_signature(char* out) {
  std::size_t length = 0;
  auto put = [&](std::string_view text) {
    for (const char c : text) {
      if (out != nullptr) out[length] = c;
      ++length;
    }
  };
  put("solve($self");
  for (const SolveParameter& parameter : kSolveParameters) {
    put(", ");
    put(parameter.name);
    if (!parameter.required) put("=None");
  }
  put(")\n--\n\n");
  return length;
}

constexpr auto signature() {
  std::array<char, write_signature(nullptr) + 1> text{};
  write_signature(text.data());
  return text;
}

}  // namespace solve_parameters_internal

inline constexpr auto kSolveParameterNames = solve_parameters_internal::names();

inline constexpr MethodDescription kSolveDescription{
    "Solver.solve()", kSolveParameterNames,
    solve_parameters_internal::required_count()};

// The docstring of Solver.solve: its text signature only.
inline constexpr auto kSolveDocstring = solve_parameters_internal::signature();

// Converts the arguments bound to the table's parameters (`bound` holds
// kSolveParameterCount slots, null where not given) into `request`. Returns
// false with an exception set on failure.
bool convert_solve_arguments(PyObject* const* bound, SolveRequest* request);

}  // namespace vorpalyx

#endif  // VORPALYX_MODULE_SOLVE_PARAMETERS_H_
