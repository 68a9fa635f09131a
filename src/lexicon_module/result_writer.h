// Writing a view of a solution list to a Python file, formatted natively.
//
// The solutions are formatted in chunks of about a megabyte (see
// solver/solution_text.h). A file with a working fileno() is flushed first
// and then written to directly, without the interpreter lock, when it is
// one of io's own files over a descriptor (what open() gives: a FileIO, or
// a buffered or text file over one, or subclasses that keep their write())
// or no file of io at all (tempfile's wrapper), and does not encode in
// another encoding than UTF-8.
// Any other file, a gzip file among them, gets each chunk through its
// write(): bytes for a binary file (io.RawIOBase or io.BufferedIOBase, or a
// mode with 'b' and no encoding), str for the rest. A write that takes only
// part of a chunk is given the rest; a raw file's write() that takes nothing
// (None: it would block) raises BlockingIOError. Ctrl-C is checked about
// every 20 ms, and a closed pipe raises BrokenPipeError; what was written
// stays written.
// A long run in order written to a descriptor is formatted on two threads
// when the machine has a second core (solver/ordered_formatting.h), in
// segments of 262,144 solutions, while the calling thread writes.
//
// Cost: one pass of formatting, a megabyte of buffer (a few segments of
// text for a long run), one system call or write() call per chunk.
//
// Tested by tests/python/test_lexicon.py.

#ifndef VORPALYX_LEXICON_MODULE_RESULT_WRITER_H_
#define VORPALYX_LEXICON_MODULE_RESULT_WRITER_H_

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>

#include "solver/solution_list.h"
#include "solver/solution_text.h"

namespace vorpalyx {

// Writes the solutions at first, first + step, ... (`count` of them) of
// `list` to `file`. Returns false with an exception set on failure.
bool write_solutions(const SolutionList& list, std::size_t first,
                     std::ptrdiff_t step, std::size_t count, PyObject* file,
                     SolutionFormat format);

}  // namespace vorpalyx

#endif  // VORPALYX_LEXICON_MODULE_RESULT_WRITER_H_
