#include "lexicon_module/engine_call.h"

#include <exception>
#include <new>
#include <stdexcept>

#include "solver/letter_variants.h"
#include "solver/memory_budget.h"

namespace vorpalyx {

void set_python_error_from_current_exception() {
  try {
    throw;
  } catch (const SearchInterrupted&) {
    // The poll left the handler's exception set; a poll that stopped the
    // search without one still owes the caller an error.
    if (!PyErr_Occurred()) PyErr_SetNone(PyExc_KeyboardInterrupt);
  } catch (const ResultTooLarge& error) {
    PyErr_SetString(PyExc_MemoryError, error.message().c_str());
  } catch (const TooManyVariants&) {
    PyErr_Format(PyExc_ValueError,
                 "the blanks and 'leftover' allow more than %zu sets of "
                 "letters; give a smaller 'leftover'",
                 TooManyVariants::kMost);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::length_error&) {
    PyErr_NoMemory();
  } catch (const std::exception& error) {
    PyErr_SetString(PyExc_RuntimeError, error.what());
  } catch (...) {
    PyErr_SetString(PyExc_RuntimeError, "unknown engine failure");
  }
}

bool run_without_gil(const std::function<void(const InterruptPoll&)>& work) {
  PyThreadState* state = PyEval_SaveThread();
  InterruptPoll poll;
  poll.interrupted = [&state] {
    PyEval_RestoreThread(state);
    const bool raised = PyErr_CheckSignals() != 0;
    state = PyEval_SaveThread();
    return raised;
  };
  std::exception_ptr failure;
  try {
    work(poll);
  } catch (...) {
    failure = std::current_exception();
  }
  PyEval_RestoreThread(state);
  if (!failure) return true;
  try {
    std::rethrow_exception(failure);
  } catch (...) {
    set_python_error_from_current_exception();
  }
  return false;
}

}  // namespace vorpalyx
