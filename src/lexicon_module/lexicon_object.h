// vorpalyx.Lexicon: a word list ready for searching.
//
// A Lexicon owns one engine dictionary, whose words it folds to a-z and
// shows in their own spellings unless told fold=False (solver/spellings.h),
// and a reader-writer lock over it: searches and counts share it and run
// side by side, each without the interpreter lock; a load converts its
// words first (with the interpreter lock, since that may run Python code),
// then waits for the searches running on the lexicon and inserts alone. No
// thread ever waits for the lexicon's lock while it holds the interpreter
// lock, so the two cannot deadlock. A signal handler runs inside a search,
// on its thread: it may read the lexicon, but a load from there raises
// RuntimeError instead of waiting for itself. The dictionary only grows. A
// lexicon also holds the weights that rank solutions (best(),
// search(order='score')): set ones, the bundled ones of english() (read
// once per process, by the first ranking that needs them), or none.
//
// Cost: the dictionary's trie (12 bytes a node) and spellings; a search or
// count costs what the engine does, plus one view object.
//
// Tested by tests/python/test_lexicon.py and tests/python/test_fold.py.

#ifndef VORPALYX_LEXICON_MODULE_LEXICON_OBJECT_H_
#define VORPALYX_LEXICON_MODULE_LEXICON_OBJECT_H_

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string>

namespace vorpalyx {

// Creates the Lexicon type (once per process); `english_path` is the
// bundled list that Lexicon.english() loads. Null with an exception set on
// failure.
PyObject* create_lexicon_type(std::string english_path);

}  // namespace vorpalyx

#endif  // VORPALYX_LEXICON_MODULE_LEXICON_OBJECT_H_
