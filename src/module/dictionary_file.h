// Reading the word-list file of Solver.load_dictionary_from_path.
//
// The file is read whole into memory with plain system calls (no Python
// file objects, so no Python code runs) and must be valid UTF-8; the
// descriptor is closed on every path, an allocation failure included. Cost:
// one pass over the file in 64 KiB reads, the buffer reserved once from the
// file's size where that is known.
//
// Tested by tests/python/test_dictionary.py and
// tests/python/test_hostile_inputs.py.

#ifndef VORPALYX_MODULE_DICTIONARY_FILE_H_
#define VORPALYX_MODULE_DICTIONARY_FILE_H_

#include <string>

namespace vorpalyx {

// Reads the whole file at `path` into `contents`. On failure returns false
// with the method's OSError set ("Failed to read dictionary: ...").
bool read_dictionary_file(const std::string& path, std::string* contents);

}  // namespace vorpalyx

#endif  // VORPALYX_MODULE_DICTIONARY_FILE_H_
