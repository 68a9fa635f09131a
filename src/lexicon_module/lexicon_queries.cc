#include "lexicon_module/lexicon_queries.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "lexicon_module/anagrams_object.h"
#include "lexicon_module/engine_call.h"
#include "lexicon_module/keyword_arguments.h"
#include "lexicon_module/lexicon_state.h"
#include "lexicon_module/search_arguments.h"
#include "module/py_ref.h"
#include "solver/score_order.h"

namespace vorpalyx {
namespace {

// The engine options of a search: its threads, and the poll that lets
// Ctrl-C stop it.
FastSearchOptions options_for(const SearchRequest& request,
                              const InterruptPoll& poll) {
  FastSearchOptions options = FastSearchOptions::for_this_machine();
  options.second_core = options.second_core && request.second_core;
  options.interrupt = poll;
  return options;
}

// What each of the k best costs from when the engine finds it, as far as
// the engine knows: ranking it into place and copying its words, then its
// Ranked with a str per word (measured on the project's machine kind, with
// a margin).
constexpr double kSecondsPerRanked = 1.5e-6;
constexpr double kSecondsPerRankedWord = 3e-7;
constexpr std::uint64_t kBytesPerRanked = 320;
constexpr std::uint64_t kBytesPerRankedWord = 144;

}  // namespace

PyObject* lexicon_search(PyObject* self, PyObject* const* args,
                         Py_ssize_t nargs, PyObject* kwnames) {
  constexpr Py_ssize_t kOrder = kSearchParameterCount;
  PyObject* bound[kSearchParameterCount + 2];
  if (!bind_arguments(ordered_search_signature(), args, nargs, kwnames,
                      bound)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    SearchRequest request;
    if (!convert_search_arguments("search", bound, &request)) return nullptr;
    bool by_score = false;
    if (bound[kOrder] != nullptr) {
      const bool is_str = PyUnicode_Check(bound[kOrder]);
      by_score = is_str &&
                 PyUnicode_CompareWithASCIIString(bound[kOrder], "score") == 0;
      if (!by_score && (!is_str || PyUnicode_CompareWithASCIIString(
                                       bound[kOrder], "standard") != 0)) {
        PyErr_Format(PyExc_ValueError,
                     "search() argument 'order' must be 'standard' or "
                     "'score', not %R",
                     bound[kOrder]);
        return nullptr;
      }
    }
    std::shared_ptr<const WordWeights> weights;
    LexiconState& state = state_of(self);
    if (!convert_call_weights("search", bound[kOrder + 1], state, by_score,
                              &weights)) {
      return nullptr;
    }
    SolutionList solutions;
    ScoredList scored;
    if (!run_without_gil([&](const InterruptPoll& poll) {
          const ReadHold hold(state, false);
          if (by_score) {
            scored = state.solver.search_by_score(
                request.phrase, request.constraints,
                weights_for(state, weights), options_for(request, poll),
                request.extended);
          } else {
            solutions = state.solver.search(request.phrase, request.constraints,
                                            options_for(request, poll),
                                            request.extended);
          }
        })) {
      return nullptr;
    }
    if (by_score) return new_scored_anagrams(std::move(scored));
    return new_anagrams(std::move(solutions));
  });
}

namespace {

// k: a whole number from 0; past 2**64 - 1 it asks for everything anyway.
bool convert_k(PyObject* object, std::uint64_t* k) {
  if (!PyIndex_Check(object)) {
    PyErr_Format(PyExc_TypeError, "best() argument 'k' must be int, not %T",
                 object);
    return false;
  }
  PyRef integer = PyRef::steal(PyNumber_Index(object));
  if (!integer) return false;
  int overflow = 0;
  const long long small =
      PyLong_AsLongLongAndOverflow(integer.get(), &overflow);
  if (small == -1 && PyErr_Occurred()) return false;
  if (overflow < 0 || (overflow == 0 && small < 0)) {
    PyErr_Format(PyExc_ValueError,
                 "best() argument 'k' must be at least 0, not %S",
                 integer.get());
    return false;
  }
  *k = overflow > 0 ? UINT64_MAX : static_cast<std::uint64_t>(small);
  return true;
}

// The ranked solutions as a list of vorpalyx.Ranked.
PyObject* ranked_list(const std::vector<RankedSolution>& ranked) {
  PyRef module = PyRef::steal(PyImport_ImportModule("vorpalyx._ranked"));
  if (!module) return nullptr;
  PyRef ranked_type =
      PyRef::steal(PyObject_GetAttrString(module.get(), "Ranked"));
  if (!ranked_type) return nullptr;
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(ranked.size())));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < ranked.size(); ++i) {
    PyRef words = PyRef::steal(
        PyList_New(static_cast<Py_ssize_t>(ranked[i].words.size())));
    if (!words) return nullptr;
    for (std::size_t j = 0; j < ranked[i].words.size(); ++j) {
      const std::string& text = ranked[i].words[j];
      PyObject* word = PyUnicode_DecodeUTF8(
          text.data(), static_cast<Py_ssize_t>(text.size()), "strict");
      if (word == nullptr) return nullptr;
      PyList_SET_ITEM(words.get(), static_cast<Py_ssize_t>(j), word);
    }
    PyRef score = PyRef::steal(
        PyFloat_FromDouble(static_cast<double>(ranked[i].score) / 100));
    if (!score) return nullptr;
    PyRef item = PyRef::steal(PyObject_CallFunctionObjArgs(
        ranked_type.get(), score.get(), words.get(), nullptr));
    if (!item) return nullptr;
    const LetterVariant& letters = ranked[i].letters;
    if (!letters.blanks.empty() || !letters.leftover.empty()) {
      PyRef blanks = PyRef::steal(PyUnicode_FromStringAndSize(
          letters.blanks.data(),
          static_cast<Py_ssize_t>(letters.blanks.size())));
      PyRef leftover = PyRef::steal(PyUnicode_FromStringAndSize(
          letters.leftover.data(),
          static_cast<Py_ssize_t>(letters.leftover.size())));
      if (!blanks || !leftover ||
          PyObject_SetAttrString(item.get(), "blanks", blanks.get()) < 0 ||
          PyObject_SetAttrString(item.get(), "leftover", leftover.get()) < 0) {
        return nullptr;
      }
    }
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
  }
  return list.release();
}

}  // namespace

PyObject* lexicon_best(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) {
  // phrase, k, weights, then the parameters of search from the first
  // constraint on.
  PyObject* bound[kSearchParameterCount + 2];
  if (!bind_arguments(best_signature(), args, nargs, kwnames, bound)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    std::uint64_t k = 10;
    if (bound[1] != nullptr && !convert_k(bound[1], &k)) return nullptr;
    std::shared_ptr<const WordWeights> weights;
    if (!convert_call_weights("best", bound[2], state_of(self), true,
                              &weights)) {
      return nullptr;
    }
    PyObject* search_bound[kSearchParameterCount];
    search_bound[0] = bound[0];
    std::copy(bound + 3, bound + 3 + kSearchParameterCount - 1,
              search_bound + 1);
    SearchRequest request;
    if (!convert_search_arguments("best", search_bound, &request)) {
      return nullptr;
    }
    LexiconState& state = state_of(self);
    std::vector<RankedSolution> ranked;
    if (!run_without_gil([&](const InterruptPoll& poll) {
          const ReadHold hold(state, false);
          FastSearchOptions options = options_for(request, poll);
          options.finish_costs.kept_most = k;
          options.finish_costs.seconds_per_kept = kSecondsPerRanked;
          options.finish_costs.seconds_per_kept_word = kSecondsPerRankedWord;
          options.finish_costs.bytes_per_kept = kBytesPerRanked;
          options.finish_costs.bytes_per_kept_word = kBytesPerRankedWord;
          ranked = state.solver.best(request.phrase, request.constraints,
                                     weights_for(state, weights), k, options,
                                     request.extended);
        })) {
      return nullptr;
    }
    return ranked_list(ranked);
  });
}

PyObject* lexicon_count(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
  PyObject* bound[kSearchParameterCount];
  if (!bind_arguments(search_signature("count"), args, nargs, kwnames, bound)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    SearchRequest request;
    if (!convert_search_arguments("count", bound, &request)) return nullptr;
    LexiconState& state = state_of(self);
    SolutionCount count;
    if (!run_without_gil([&](const InterruptPoll& poll) {
          const ReadHold hold(state, false);
          count =
              state.solver.count(request.phrase, request.constraints,
                                 options_for(request, poll), request.extended);
        })) {
      return nullptr;
    }
    if (count.saturated) {
      PyErr_SetString(PyExc_OverflowError,
                      "the phrase has more than 2**128 - 1 solutions");
      return nullptr;
    }
    return PyLong_FromUnsignedNativeBytes(
        &count.solutions, sizeof count.solutions,
        Py_ASNATIVEBYTES_NATIVE_ENDIAN | Py_ASNATIVEBYTES_UNSIGNED_BUFFER);
  });
}

}  // namespace vorpalyx
