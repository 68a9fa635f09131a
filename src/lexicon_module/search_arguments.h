// The arguments of Lexicon.search and Lexicon.count: the phrase, the eight
// constraints of Solver.solve (same names and meaning, keyword-only), the
// number of threads, the extended constraints and whether to fold the
// phrase, patterns and words (fold.h), converted into plain C++ values
// before the engine runs. Each '?' in the phrase is a blank.
//
// Conversion may run Python code (__index__, __float__, a sequence's
// iteration), so it finishes before the lexicon is locked. Errors are the
// ordinary Python ones: a TypeError naming the argument and the type it
// must have, a ValueError for a value out of range. None is the same as
// leaving a constraint out. Cost: one copy of each value.
//
// Tested by tests/python/test_lexicon.py.

#ifndef VORPALYX_LEXICON_MODULE_SEARCH_ARGUMENTS_H_
#define VORPALYX_LEXICON_MODULE_SEARCH_ARGUMENTS_H_

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <functional>
#include <string>
#include <string_view>

#include "lexicon_module/keyword_arguments.h"
#include "module/py_ref.h"
#include "solver/search_records.h"

namespace vorpalyx {

// A blank in a phrase: any one letter.
inline constexpr char kBlank = '?';
inline constexpr int kMostBlanks = 3;

struct SearchRequest {
  std::string phrase;  // folded unless fold=False
  SolverConstraints constraints;
  ExtendedConstraints extended;
  bool second_core = true;  // threads=None or more than one
};

// The signature of a search method called `name`, and the number of its
// parameters (the size of `bound`).
Signature search_signature(const char* name);
inline constexpr Py_ssize_t kSearchParameterCount = 18;

// search(): the parameters of search_signature, then `order` and `weights`.
Signature ordered_search_signature();
// best(): `phrase`, then `k` (also by position) and `weights`, then the
// keyword-only parameters of search_signature.
Signature best_signature();

// Converts what bind_arguments bound for search_signature(name).
bool convert_search_arguments(const char* name, PyObject* const* bound,
                              SearchRequest* request);

// The conversions other methods share. `method` and `argument` name the
// argument in messages.
bool convert_str(const char* method, const char* argument, PyObject* object,
                 std::string* out);

// fold=: a bool; left out (null) or None, true.
bool convert_fold(const char* method, PyObject* object, bool* fold);

// A str, bytes or os.PathLike path, the argument named `argument`: `*path`
// the object os.fspath gives (for messages), `*name` its bytes for the file
// system.
bool convert_path(const char* method, const char* argument, PyObject* object,
                  PyRef* path, std::string* name);

// Sets a UnicodeDecodeError for the first line of `text` that is not UTF-8,
// naming its number and the file `path`.
void set_decode_error(std::string_view text, PyObject* path);

// Reads the UTF-8 file that `object`, the path argument named `argument`,
// names into `*contents` without the interpreter lock, and runs
// `use(*contents)` there too when given. Raises OSError naming the path, or
// UnicodeDecodeError naming the line; `*path` is the path object (for
// messages).
bool read_text_file(
    const char* method, const char* argument, PyObject* object, PyRef* path,
    std::string* contents,
    const std::function<void(const std::string&)>& use = nullptr);

}  // namespace vorpalyx

#endif  // VORPALYX_LEXICON_MODULE_SEARCH_ARGUMENTS_H_
