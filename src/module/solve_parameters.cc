// See solve_parameters.h.

#include "module/solve_parameters.h"

#include "module/messages.h"

namespace vorpalyx {

bool convert_solve_arguments(PyObject* const* bound, SolveRequest* request) {
  for (std::size_t i = 0; i < kSolveParameterCount; ++i) {
    const SolveParameter& parameter = kSolveParameters[i];
    PyObject* argument = bound[i];
    if (!parameter.required && (argument == nullptr || argument == Py_None)) {
      continue;
    }
    if (!parameter.convert(argument, *request)) {
      messages::name_argument_in_type_error(parameter.name);
      return false;
    }
  }
  return true;
}

}  // namespace vorpalyx
