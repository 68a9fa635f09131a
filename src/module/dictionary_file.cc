// See dictionary_file.h. The order of the checks fixes which error a caller
// sees: a NUL in the path, then open, then each read, then the encoding.

#include "module/dictionary_file.h"

#include "char_utils/utf8.h"
#include "module/messages.h"
#include "solver/file_contents.h"

namespace vorpalyx {
bool read_dictionary_file(const std::string& path, std::string* contents) {
  if (path.find('\0') != std::string::npos) {
    messages::dictionary_path_has_nul();
    return false;
  }
  const int error_number = read_file_contents(path, contents);
  if (error_number != 0) {
    messages::dictionary_os_error(error_number);
    return false;
  }
  if (!is_valid_utf8(*contents)) {
    messages::dictionary_not_utf8();
    return false;
  }
  return true;
}

}  // namespace vorpalyx
