#include "lexicon_module/lexicon_state.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "lexicon_module/weights_arguments.h"
#include "solver/file_contents.h"

namespace vorpalyx {

thread_local const ReadHold* ReadHold::innermost_ = nullptr;

namespace {

std::string* english_words = nullptr;  // for the process
// The bundled weights, read by the first ranking that needs them.
std::shared_ptr<const WordWeights>* english_weights = nullptr;

// The bundled weights, beside the bundled list: english_words_weights.txt
// for english_words.txt.
bool read_english_weights(const char* method) {
  if (*english_weights) return true;
  std::string weights_path = *english_words;
  weights_path.insert(weights_path.size() - std::string_view(".txt").size(),
                      "_weights");
  std::shared_ptr<const WordWeights> read;
  int error_number = 0;
  const std::string* unread = nullptr;
  std::string misfit;
  if (!run_without_gil([&](const InterruptPoll&) {
        std::string words;
        std::string weights;
        unread = english_words;
        error_number = read_file_contents(*english_words, &words);
        if (error_number == 0) {
          unread = &weights_path;
          error_number = read_file_contents(weights_path, &weights);
        }
        if (error_number != 0) return;
        try {
          read = std::make_shared<const WordWeights>(
              weights_from_aligned_lines(words, weights));
        } catch (const std::invalid_argument& error) {
          misfit = error.what();
        }
      })) {
    return false;
  }
  if (error_number != 0) {
    errno = error_number;
    PyErr_SetFromErrnoWithFilename(PyExc_OSError, unread->c_str());
    return false;
  }
  if (!misfit.empty()) {
    // A damaged install, or a list edited without its weights.
    PyErr_Format(PyExc_ValueError,
                 "%s(): the bundled weights '%s' do not fit the bundled list: "
                 "%s",
                 method, weights_path.c_str(), misfit.c_str());
    return false;
  }
  // Another thread may have read them meanwhile, and its search may be
  // using them without the interpreter lock: keep those.
  if (!*english_weights) *english_weights = std::move(read);
  return true;
}

}  // namespace

void set_english_words_path(std::string path) {
  english_words = new std::string(std::move(path));
  english_weights = new std::shared_ptr<const WordWeights>();
}

const std::string& english_words_path() { return *english_words; }

bool convert_call_weights(const char* method, PyObject* argument,
                          const LexiconState& state, bool ranks,
                          std::shared_ptr<const WordWeights>* out) {
  if (argument != nullptr && argument != Py_None) {
    return convert_weights(method, argument, out);
  }
  return !ranks || !state.bundled_weights || read_english_weights(method);
}

const WordWeights& weights_for(const LexiconState& state,
                               const std::shared_ptr<const WordWeights>& own) {
  static const WordWeights unweighted;
  if (own) return *own;
  if (state.weights) return *state.weights;
  return state.bundled_weights && *english_weights ? **english_weights
                                                   : unweighted;
}

}  // namespace vorpalyx
