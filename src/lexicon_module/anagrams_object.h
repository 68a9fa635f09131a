// vorpalyx.Anagrams: the solutions of one search, as an immutable, lazy
// sequence of lists of words.
//
// An Anagrams object views part of a SolutionList that it shares with the
// other views of the same search (slices are views too): positions first,
// first + step, ... (`count` of them) in result order. The list owns its
// words, so a view outlives the lexicon it came from and ignores later
// loads. Nothing is built per solution until asked for: an item is decoded
// from the engine's compact keys into a new list of shared str objects.
//
// Cost: 8 or 16 bytes per solution (the engine's keys) plus the words; an
// item costs a decode and a list; len() and slicing cost nothing; index()
// and count(), the rest of Sequence, build the items they pass.
//
// Tested by tests/python/test_lexicon.py.

#ifndef VORPALYX_LEXICON_MODULE_ANAGRAMS_OBJECT_H_
#define VORPALYX_LEXICON_MODULE_ANAGRAMS_OBJECT_H_

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>

#include "solver/score_order.h"
#include "solver/solution_list.h"

namespace vorpalyx {

// Creates the Anagrams and its iterator types; false with an exception set
// on failure.
bool create_anagrams_types();
PyObject* anagrams_type();

// A new Anagrams holding all of `list`.
PyObject* new_anagrams(SolutionList list);

// A new Anagrams holding all of a list in score order, with its scores.
PyObject* new_scored_anagrams(ScoredList scored);

}  // namespace vorpalyx

#endif  // VORPALYX_LEXICON_MODULE_ANAGRAMS_OBJECT_H_
