// Reading a whole file into memory.
//
// The file is opened by name, read to its end (retrying interrupted reads)
// and closed on every path, an allocation failure included. A file without
// end (a device, a pipe that keeps writing) is read until memory runs out,
// unless a poll stops it first. Cost: one pass over the file, one
// allocation sized from its length when it has one.
//
// Tested through tests/python/test_dictionary.py and test_lexicon.py.

#ifndef VORPALYX_SOLVER_FILE_CONTENTS_H_
#define VORPALYX_SOLVER_FILE_CONTENTS_H_

#include <string>

#include "solver/search_stop.h"

namespace vorpalyx {

// Replaces `*contents` by the bytes of the file at `path` (no NUL in it).
// Returns 0, or the errno of the open or read that failed. With `poll`,
// asks it between reads, at its interval, and throws SearchInterrupted when
// it says yes.
int read_file_contents(const std::string& path, std::string* contents,
                       const InterruptPoll* poll = nullptr);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_FILE_CONTENTS_H_
