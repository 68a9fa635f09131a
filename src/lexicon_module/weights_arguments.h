// Word weights as Python hands them to a Lexicon: a mapping of word to
// weight, or the path of a file of `word<TAB>count` lines.
//
// A mapping is read through one snapshot of its items (so one that changes
// while its weights are converted, by a __float__ say, is read as it was);
// keys must be str and are normalised as dictionary words (a key without
// letters a-z names no word), values real numbers, finite and at most 0.
// A file is read without the interpreter lock and parsed by the engine
// (word_weights.h). Errors: TypeError for a wrong type, ValueError for a
// weight out of range or a bad line of a file (its number in the message),
// OSError and UnicodeDecodeError as a load raises them. Cost: one pass over
// the items or the file.
//
// Tested by tests/python/test_ranking.py.

#ifndef VORPALYX_LEXICON_MODULE_WEIGHTS_ARGUMENTS_H_
#define VORPALYX_LEXICON_MODULE_WEIGHTS_ARGUMENTS_H_

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>

#include "solver/word_weights.h"

namespace vorpalyx {

// Converts `object` (a mapping or a path) for argument 'weights' of
// `method`. Returns false with an exception set when it cannot.
bool convert_weights(const char* method, PyObject* object,
                     std::shared_ptr<const WordWeights>* out);

}  // namespace vorpalyx

#endif  // VORPALYX_LEXICON_MODULE_WEIGHTS_ARGUMENTS_H_
