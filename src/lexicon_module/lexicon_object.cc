#include "lexicon_module/lexicon_object.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "lexicon_module/engine_call.h"
#include "lexicon_module/keyword_arguments.h"
#include "lexicon_module/lexicon_queries.h"
#include "lexicon_module/lexicon_state.h"
#include "lexicon_module/search_arguments.h"
#include "lexicon_module/weights_arguments.h"
#include "module/py_ref.h"
#include "solver/anagram_solver.h"

namespace vorpalyx {
namespace {

// Runs `change(solver)` alone on the lexicon, without the interpreter lock.
template <typename Change>
bool change_alone(PyObject* self, const char* method, Change change) {
  LexiconState& state = state_of(self);
  if (ReadHold::held_here(state)) {
    PyErr_Format(PyExc_RuntimeError,
                 "%s() cannot change a Lexicon while this thread searches it "
                 "(from a signal handler); change it after the search",
                 method);
    return false;
  }
  return run_without_gil([&](const InterruptPoll& poll) {
    // A search may hold the lexicon for minutes: wait in short steps, so
    // that Ctrl-C still ends the wait.
    std::unique_lock<std::shared_mutex> lock(state.mutex, std::try_to_lock);
    for (auto next_poll = std::chrono::steady_clock::now() + poll.interval;
         !lock.owns_lock(); lock.try_lock()) {
      if (std::chrono::steady_clock::now() >= next_poll) {
        if (poll.interrupted()) throw SearchInterrupted();
        next_poll = std::chrono::steady_clock::now() + poll.interval;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    change(state.solver);
  });
}

bool insert_words(PyObject* self, const std::vector<std::string>& words,
                  const char* method, bool fold) {
  return change_alone(self, method, [&](AnagramSolver& solver) {
    for (const std::string& word : words) solver.add_word(word, fold);
  });
}

bool load_path_into(PyObject* self, PyObject* path_argument, const char* method,
                    bool fold) {
  PyRef path;
  std::string contents;
  if (!read_text_file(method, "path", path_argument, &path, &contents)) {
    return false;
  }
  return change_alone(self, method, [&](AnagramSolver& solver) {
    solver.load_words_from_text(contents, fold);
  });
}

bool load_words_into(PyObject* self, PyObject* iterable, const char* method,
                     bool fold) {
  if (PyUnicode_Check(iterable) || PyBytes_Check(iterable)) {
    PyErr_Format(PyExc_TypeError,
                 "%s() argument 'words' must be an iterable of str, not %T",
                 method, iterable);
    return false;
  }
  PyRef iterator = PyRef::steal(PyObject_GetIter(iterable));
  if (!iterator) {
    if (PyErr_ExceptionMatches(PyExc_TypeError)) {
      PyErr_Clear();
      PyErr_Format(PyExc_TypeError,
                   "%s() argument 'words' must be an iterable of str, not %T",
                   method, iterable);
    }
    return false;
  }
  std::vector<std::string> words;
  while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
    if (!PyUnicode_Check(item.get())) {
      PyErr_Format(PyExc_TypeError,
                   "%s() argument 'words' must hold only str, not %T "
                   "(item %zu)",
                   method, item.get(), words.size());
      return false;
    }
    Py_ssize_t size;
    const char* utf8 = PyUnicode_AsUTF8AndSize(item.get(), &size);
    if (utf8 == nullptr) return false;
    words.emplace_back(utf8, static_cast<std::size_t>(size));
  }
  if (PyErr_Occurred()) return false;
  return insert_words(self, words, method, fold);
}

PyObject* lexicon_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  // Arguments are for the __init__ of a subclass that has one, as
  // object.__new__ lets them through.
  if ((PyTuple_GET_SIZE(args) != 0 || (kwargs && PyDict_GET_SIZE(kwargs))) &&
      type->tp_init == PyBaseObject_Type.tp_init) {
    PyErr_SetString(PyExc_TypeError,
                    "Lexicon() takes no arguments; load words with "
                    "Lexicon.from_path, Lexicon.from_words or the load "
                    "methods");
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    auto state = std::make_unique<LexiconState>();
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    reinterpret_cast<LexiconObject*>(self)->state = state.release();
    return self;
  });
}

void lexicon_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  delete reinterpret_cast<LexiconObject*>(self)->state;
  type->tp_free(self);
  Py_DECREF(type);
}

constexpr const char* kPathParameter[] = {"path"};
constexpr const char* kWordsParameter[] = {"words"};
constexpr const char* kWordParameter[] = {"word"};
constexpr const char* kWeightsParameter[] = {"weights"};
constexpr std::span<const char* const> kNoKeywords;
constexpr const char* kFoldKeyword[] = {"fold"};

PyObject* load_path(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames) {
  PyObject* bound[2];
  bool fold = true;
  if (!bind_arguments({"load_path", kPathParameter, kFoldKeyword}, args, nargs,
                      kwnames, bound) ||
      !convert_fold("load_path", bound[1], &fold)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    if (!load_path_into(self, bound[0], "load_path", fold)) return nullptr;
    Py_RETURN_NONE;
  });
}

PyObject* load_words(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) {
  PyObject* bound[2];
  bool fold = true;
  if (!bind_arguments({"load_words", kWordsParameter, kFoldKeyword}, args,
                      nargs, kwnames, bound) ||
      !convert_fold("load_words", bound[1], &fold)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    if (!load_words_into(self, bound[0], "load_words", fold)) return nullptr;
    Py_RETURN_NONE;
  });
}

PyObject* add_word(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames) {
  PyObject* bound[2];
  bool fold = true;
  if (!bind_arguments({"add_word", kWordParameter, kFoldKeyword}, args, nargs,
                      kwnames, bound) ||
      !convert_fold("add_word", bound[1], &fold)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    std::vector<std::string> words(1);
    if (!convert_str("add_word", "word", bound[0], &words[0]) ||
        !insert_words(self, words, "add_word", fold)) {
      return nullptr;
    }
    Py_RETURN_NONE;
  });
}

// A new lexicon of class `cls`, loaded by `load`.
template <typename Load>
PyObject* new_loaded(PyObject* cls, Load load) {
  PyRef lexicon = PyRef::steal(PyObject_CallNoArgs(cls));
  if (!lexicon) return nullptr;
  if (!PyObject_TypeCheck(lexicon.get(),
                          reinterpret_cast<PyTypeObject*>(cls))) {
    PyErr_SetString(PyExc_TypeError, "the class did not make a Lexicon");
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    if (!load(lexicon.get())) return nullptr;
    return lexicon.release();
  });
}

PyObject* from_path(PyObject* cls, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames) {
  PyObject* bound[2];
  bool fold = true;
  if (!bind_arguments({"from_path", kPathParameter, kFoldKeyword}, args, nargs,
                      kwnames, bound) ||
      !convert_fold("from_path", bound[1], &fold)) {
    return nullptr;
  }
  return new_loaded(cls, [&](PyObject* self) {
    return load_path_into(self, bound[0], "from_path", fold);
  });
}

PyObject* from_words(PyObject* cls, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames) {
  PyObject* bound[2];
  bool fold = true;
  if (!bind_arguments({"from_words", kWordsParameter, kFoldKeyword}, args,
                      nargs, kwnames, bound) ||
      !convert_fold("from_words", bound[1], &fold)) {
    return nullptr;
  }
  return new_loaded(cls, [&](PyObject* self) {
    return load_words_into(self, bound[0], "from_words", fold);
  });
}

PyObject* english(PyObject* cls, PyObject*) {
  return new_loaded(cls, [&](PyObject* self) {
    PyRef path = PyRef::steal(PyUnicode_DecodeFSDefaultAndSize(
        english_words_path().data(),
        static_cast<Py_ssize_t>(english_words_path().size())));
    // The bundled list is plain a-z: folding would change nothing.
    if (!path || !load_path_into(self, path.get(), "english", false)) {
      return false;
    }
    state_of(self).bundled_weights = true;
    return true;
  });
}

PyObject* set_weights(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) {
  PyObject* bound[1];
  if (!bind_arguments({"set_weights", kWeightsParameter, kNoKeywords}, args,
                      nargs, kwnames, bound)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    std::shared_ptr<const WordWeights> weights;
    if (bound[0] != Py_None &&
        !convert_weights("set_weights", bound[0], &weights)) {
      return nullptr;
    }
    LexiconState& state = state_of(self);
    if (!change_alone(self, "set_weights", [&](AnagramSolver&) {
          state.weights = std::move(weights);
          state.bundled_weights = false;
        })) {
      return nullptr;
    }
    Py_RETURN_NONE;
  });
}

Py_ssize_t lexicon_length(PyObject* self) {
  LexiconState& state = state_of(self);
  const ReadHold hold(state, true);
  return static_cast<Py_ssize_t>(state.solver.spelling_count());
}

int lexicon_contains(PyObject* self, PyObject* word) {
  if (!PyUnicode_Check(word)) return 0;
  Py_ssize_t size;
  const char* utf8 = PyUnicode_AsUTF8AndSize(word, &size);
  if (utf8 == nullptr) {
    // A str that cannot be UTF-8 (a lone surrogate) holds no stored word.
    PyErr_Clear();
    return 0;
  }
  try {
    LexiconState& state = state_of(self);
    const ReadHold hold(state, true);
    return state.solver.holds_spelling(
        std::string_view(utf8, static_cast<std::size_t>(size)));
  } catch (...) {
    set_python_error_from_current_exception();
    return -1;
  }
}

PyObject* lexicon_repr(PyObject* self) {
  const Py_ssize_t words = lexicon_length(self);
  return PyUnicode_FromFormat("<vorpalyx.Lexicon of %zd word%s>", words,
                              words == 1 ? "" : "s");
}

template <auto Method>
PyCFunction fastcall() {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Method));
}

#define CONSTRAINT_KEYWORDS                                            \
  "must_start_with=None, can_only_ever_start_with=None, "              \
  "must_not_start_with=None, max_words=None, min_word_length=None, "   \
  "timeout_seconds=None, max_solutions=None, contains_patterns=None, " \
  "threads=None, max_word_length=None, min_words=None, lengths=None, " \
  "include=None, exclude=None, distinct=None, leftover=None, fold=True"

#define SEARCH_KEYWORDS "*, " CONSTRAINT_KEYWORDS

#define CONSTRAINTS_DOC                                                       \
  "The constraints are those of Solver.solve, keyword-only and with the\n"    \
  "same meaning: must_start_with (for each letter, at least as many words\n"  \
  "start with it as it occurs), can_only_ever_start_with,\n"                  \
  "must_not_start_with, max_words, min_word_length, timeout_seconds (a\n"     \
  "bound on the whole call), max_solutions and contains_patterns (some\n"     \
  "word holds each text's letters in a row). threads=None uses every\n"       \
  "core, threads=1 only the calling thread; either way the answer is the\n"   \
  "same. fold=True (the default) folds the phrase, the patterns and the\n"    \
  "words of include and exclude as vorpalyx.fold does; with fold=False a\n"   \
  "letter outside a-z in the phrase leaves no solution. The interpreter\n"    \
  "lock is released while the engine runs, and Ctrl-C stops it with\n"        \
  "KeyboardInterrupt.\n\n"                                                    \
  "More constraints, applied inside the search: max_word_length, min_words\n" \
  "(at least that many words), lengths (exact word lengths, a crossword\n"    \
  "enumeration: each solution then gives its words in that order, and the\n"  \
  "list is ordered by that sequence), include (words in every solution,\n"    \
  "each as often as listed), exclude, distinct (no word twice) and\n"         \
  "leftover (up to that many of the phrase's letters unused). Each '?' in\n"  \
  "the phrase is a blank, any one letter (at most 3); details(i) of the\n"    \
  "result tells the letters blanks became and those left over.\n"

PyMethodDef lexicon_methods[] = {
    {"from_path", fastcall<from_path>(),
     METH_FASTCALL | METH_KEYWORDS | METH_CLASS,
     "from_path($cls, path, *, fold=True)\n--\n\n"
     "A new lexicon holding the words of a UTF-8 file, one per line,\n"
     "folded as load_words folds them.\n\n"
     "`path` is a str, bytes or os.PathLike. Raises FileNotFoundError (or\n"
     "another OSError) naming the path, and UnicodeDecodeError naming the\n"
     "line that is not UTF-8."},
    {"from_words", fastcall<from_words>(),
     METH_FASTCALL | METH_KEYWORDS | METH_CLASS,
     "from_words($cls, words, *, fold=True)\n--\n\n"
     "A new lexicon holding the words of an iterable of str, folded as\n"
     "load_words folds them."},
    {"english", english, METH_NOARGS | METH_CLASS,
     "english($cls, /)\n--\n\n"
     "A new lexicon holding the bundled English word list."},
    {"load_path", fastcall<load_path>(), METH_FASTCALL | METH_KEYWORDS,
     "load_path($self, path, *, fold=True)\n--\n\n"
     "Adds the words of a UTF-8 file, one per line (a '\\r' before the\n"
     "'\\n' is dropped), folded as load_words folds them. Waits for the\n"
     "searches running on this lexicon.\n"
     "Nothing is added when the file cannot be read or is not UTF-8."},
    {"load_words", fastcall<load_words>(), METH_FASTCALL | METH_KEYWORDS,
     "load_words($self, words, *, fold=True)\n--\n\n"
     "Adds each str of an iterable as one word. Nothing is added when an\n"
     "item is not a str.\n\n"
     "With fold=True a word is searched by its letters folded to a-z\n"
     "(vorpalyx.fold) and shown in its own spelling: lower case, accents\n"
     "kept, other characters dropped. Spellings that fold alike ('cote',\n"
     "'côte') are distinct words with the same letters. fold=False keeps\n"
     "only the letters a-z of a word, each also its spelling."},
    {"add_word", fastcall<add_word>(), METH_FASTCALL | METH_KEYWORDS,
     "add_word($self, word, *, fold=True)\n--\n\n"
     "Adds one word, folded as load_words folds it."},
    {"set_weights", fastcall<set_weights>(), METH_FASTCALL | METH_KEYWORDS,
     "set_weights($self, weights)\n--\n\n"
     "Sets how common each word is, for best() and search(order='score').\n\n"
     "`weights` is a mapping of word to weight, the base-10 logarithm of\n"
     "the word's relative frequency (a finite number at most 0, such as\n"
     "-3.61 for 'room'), or the path of a UTF-8 file of word<TAB>count\n"
     "lines (a word's weight is then log10(count / total of the counts)).\n"
     "Weights are kept in hundredths and named by spelling (see\n"
     "load_words): a spelling with accents that they do not name has the\n"
     "weight of its folded letters, if named ('cafe' for 'café'). A word of\n"
     "the dictionary that they do not name gets the floor, one hundredth\n"
     "below the lowest weight given;\n"
     "None goes back to no weights, where every word has the same floor.\n"
     "Raises ValueError for a weight that is positive or not finite and for\n"
     "a bad line of a file (naming its number), TypeError for a key that is\n"
     "not a str."},
    {"search", fastcall<lexicon_search>(), METH_FASTCALL | METH_KEYWORDS,
     "search($self, phrase, " SEARCH_KEYWORDS
     ", order='standard', weights=None)\n--\n\n"
     "Every combination of words that spells exactly the letters of\n"
     "`phrase`, as an Anagrams: a lazy sequence of lists of words in result\n"
     "order, the same as Solver.solve gives for the same words.\n\n"
     "order='score' gives the same solutions best first: by score (the sum\n"
     "of their words' weights, see set_weights) descending, ties in result\n"
     "order; its scores() are their scores. `weights` (a mapping or a path,\n"
     "as set_weights takes) stands for the lexicon's own in this "
     "call.\n\n" CONSTRAINTS_DOC},
    {"best", fastcall<lexicon_best>(), METH_FASTCALL | METH_KEYWORDS,
     "best($self, phrase, k=10, *, weights=None, " CONSTRAINT_KEYWORDS
     ")\n--\n\n"
     "The k best solutions of `phrase`, best first, as a list of\n"
     "Ranked(score, words): exactly the first k of search(phrase,\n"
     "order='score') with the same constraints, found without enumerating\n"
     "the rest. A solution's score is the sum of its words' weights (see\n"
     "set_weights; a word met twice counts twice), so common words and few\n"
     "of them come first; without weights, fewest words first. Ties keep\n"
     "result order, and words are in the order search gives them.\n"
     "`weights` stands for the lexicon's own in this call. k=0 gives [];\n"
     "a k past the number of solutions gives them all.\n\n"
     "The constraints are those of search. A time limit returns the best\n"
     "found in time; with max_solutions, the best of the first ones found,\n"
     "as search would keep them. The interpreter lock is released while the\n"
     "engine runs, and Ctrl-C stops it with KeyboardInterrupt."},
    {"count", fastcall<lexicon_count>(), METH_FASTCALL | METH_KEYWORDS,
     "count($self, phrase, " SEARCH_KEYWORDS ")\n--\n\n"
     "The number of solutions search would give, found without storing\n"
     "them: memory does not grow with the count.\n\n" CONSTRAINTS_DOC},
    {nullptr, nullptr, 0, nullptr},
};

constexpr const char kLexiconDoc[] =
    "Lexicon()\n--\n\n"
    "A word list ready for searching.\n\n"
    "Words are searched by their letters folded to a-z (vorpalyx.fold:\n"
    "'Côté' has the letters 'cote') and shown in their own spelling\n"
    "('côté'); see load_words. len() is the number of distinct spellings.\n"
    "`word in lexicon` is true when the spelling of `word` is held, or when\n"
    "`word` is written in a-z only and some held spelling folds to it\n"
    "('cafe' for 'café', not 'cafè'). A lexicon may be\n"
    "shared between threads: searches run side by side, and a load waits\n"
    "for the searches running on it. best() and search(order='score') rank\n"
    "solutions by how common their words are: see set_weights().";

PyType_Slot lexicon_slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(lexicon_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(lexicon_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(lexicon_repr)},
    {Py_tp_methods, lexicon_methods},
    {Py_tp_doc, const_cast<char*>(kLexiconDoc)},
    {Py_sq_length, reinterpret_cast<void*>(lexicon_length)},
    {Py_sq_contains, reinterpret_cast<void*>(lexicon_contains)},
    {0, nullptr},
};

PyType_Spec lexicon_spec = {
    "vorpalyx.Lexicon",
    static_cast<int>(sizeof(LexiconObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE,
    lexicon_slots,
};

}  // namespace

PyObject* create_lexicon_type(std::string english_path) {
  set_english_words_path(std::move(english_path));
  return PyType_FromSpec(&lexicon_spec);
}

}  // namespace vorpalyx
