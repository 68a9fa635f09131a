// Reading a whole file into memory.
//
// The file is opened by name, read to its end (retrying interrupted reads)
// and closed on every path, an allocation failure included. Cost: one pass
// over the file, one allocation sized from its length when it has one.
//
// Tested through tests/python/test_dictionary.py and test_lexicon.py.

#ifndef VORPALYX_SOLVER_FILE_CONTENTS_H_
#define VORPALYX_SOLVER_FILE_CONTENTS_H_

#include <string>

namespace vorpalyx {

// Replaces `*contents` by the bytes of the file at `path` (no NUL in it).
// Returns 0, or the errno of the open or read that failed.
int read_file_contents(const std::string& path, std::string* contents);

}  // namespace vorpalyx

#endif  // VORPALYX_SOLVER_FILE_CONTENTS_H_
