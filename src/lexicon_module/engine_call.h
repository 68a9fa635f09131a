// Running engine work with the interpreter lock released.
//
// The work touches no Python object. It gets an InterruptPoll that takes
// the lock back about every 20 ms to run Python's signal handlers, so that
// Ctrl-C stops it: the handler's exception (KeyboardInterrupt) is then the
// call's. Every C++ exception is turned into a Python one once the lock is
// held again; none escapes. Cost: two lock hand-overs per call and one per
// poll.
//
// Tested by tests/python/test_lexicon.py.

#ifndef VORPALYX_LEXICON_MODULE_ENGINE_CALL_H_
#define VORPALYX_LEXICON_MODULE_ENGINE_CALL_H_

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <functional>

#include "solver/search_stop.h"

namespace vorpalyx {

// Runs `work(poll)` without the interpreter lock. Returns false with an
// exception set when it threw: MemoryError for an allocation or a result
// too large, the signal handler's exception when the poll stopped it,
// RuntimeError for anything else.
bool run_without_gil(const std::function<void(const InterruptPoll&)>& work);

// Converts the C++ exception being handled into a Python one; for entry
// points that hold the lock. Call only inside a catch block.
void set_python_error_from_current_exception();

}  // namespace vorpalyx

#endif  // VORPALYX_LEXICON_MODULE_ENGINE_CALL_H_
