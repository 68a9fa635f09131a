// The state behind a vorpalyx.Lexicon and the lock over it.
//
// LexiconState holds one engine dictionary, the weights set on it and a
// reader-writer lock: searches hold it for reading (ReadHold), loads for
// writing. A signal handler runs Python code on a searching thread; a read
// from there shares the hold already taken, since a thread may not lock a
// shared_mutex twice. The bundled English weights are read once per
// process, by the first ranking of an english() lexicon that needs them.
//
// Cost: a lock per call; the bundled weights, once read, a few bytes a word.
//
// Tested by tests/python/test_lexicon.py and tests/python/test_ranking.py.

#ifndef VORPALYX_LEXICON_MODULE_LEXICON_STATE_H_
#define VORPALYX_LEXICON_MODULE_LEXICON_STATE_H_

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "lexicon_module/engine_call.h"
#include "solver/anagram_solver.h"
#include "solver/word_weights.h"

namespace vorpalyx {

struct LexiconState {
  AnagramSolver solver;
  std::shared_ptr<const WordWeights> weights;  // null: see bundled_weights
  // With no weights set: whether the bundled ones apply (english()), else
  // every word has the floor.
  std::atomic<bool> bundled_weights{false};
  std::shared_mutex mutex;
};

struct LexiconObject {
  PyObject_HEAD LexiconState* state;
};

inline LexiconState& state_of(PyObject* self) {
  return *reinterpret_cast<LexiconObject*>(self)->state;
}

// A hold of a lexicon's lock for reading, on this thread. Python code can
// run while a search holds it: a signal handler, which the search's
// interrupt poll runs on the searching thread. A read from there shares the
// hold already taken (a thread may not lock a shared_mutex twice), and a
// load from there is refused, since it would wait for itself forever.
class ReadHold {
 public:
  // Waits for the lock, letting go of the interpreter lock meanwhile when
  // this thread holds it.
  ReadHold(LexiconState& state, bool holds_interpreter)
      : state_(&state), outer_(innermost_) {
    if (!held_here(state)) {
      lock_ =
          std::shared_lock<std::shared_mutex>(state.mutex, std::try_to_lock);
      if (!lock_.owns_lock() && holds_interpreter) {
        Py_BEGIN_ALLOW_THREADS lock_.lock();
        Py_END_ALLOW_THREADS
      } else if (!lock_.owns_lock()) {
        lock_.lock();
      }
    }
    innermost_ = this;
  }
  ReadHold(const ReadHold&) = delete;
  ReadHold& operator=(const ReadHold&) = delete;
  ~ReadHold() { innermost_ = outer_; }

  static bool held_here(const LexiconState& state) {
    for (const ReadHold* hold = innermost_; hold; hold = hold->outer_) {
      if (hold->state_ == &state) return true;
    }
    return false;
  }

 private:
  const LexiconState* state_;
  const ReadHold* outer_;
  std::shared_lock<std::shared_mutex> lock_;
  static thread_local const ReadHold* innermost_;
};

// Runs `body` with every C++ exception turned into a Python one.
template <typename Body>
PyObject* guarded(Body&& body) {
  try {
    return body();
  } catch (...) {
    set_python_error_from_current_exception();
    return nullptr;
  }
}

// The bundled word list, which english() loads; set once, at import.
void set_english_words_path(std::string path);
const std::string& english_words_path();

// The weights of a call: its own `weights=` when given (into `out`), else
// the lexicon's, read under the search's hold (weights_for); the bundled
// ones are read here first when a call that `ranks` may use them.
bool convert_call_weights(const char* method, PyObject* argument,
                          const LexiconState& state, bool ranks,
                          std::shared_ptr<const WordWeights>* out);

const WordWeights& weights_for(const LexiconState& state,
                               const std::shared_ptr<const WordWeights>& own);

}  // namespace vorpalyx

#endif  // VORPALYX_LEXICON_MODULE_LEXICON_STATE_H_
