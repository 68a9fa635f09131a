// See result_conversion.h.

#include "module/result_conversion.h"

#include <cstdint>
#include <string>
#include <vector>

#include "module/py_ref.h"

namespace vorpalyx {
namespace {

// Pauses the cyclic garbage collector while a large result is built: the
// new lists cannot form cycles, so scanning them is wasted work.
class GarbageCollectorPause {
 public:
  GarbageCollectorPause() : was_enabled_(PyGC_Disable()) {}
  ~GarbageCollectorPause() {
    if (was_enabled_) PyGC_Enable();
  }

 private:
  int was_enabled_;
};

}  // namespace

PyObject* solutions_to_python(
    SolutionList& solutions,
    std::optional<std::chrono::steady_clock::time_point> deadline) {
  std::vector<PyRef> words(solutions.words.size());
  GarbageCollectorPause pause;
  PyRef result =
      PyRef::steal(PyList_New(static_cast<Py_ssize_t>(solutions.size())));
  if (!result) return nullptr;
  Py_ssize_t index = 0;
  bool out_of_time = false;
  for (SolutionGroup& group : solutions.groups) {
    const auto word_count = static_cast<Py_ssize_t>(group.word_count);
    bool failed = false;
    group.for_each([&](const std::uint32_t* ids) {
      if (failed || out_of_time) return;
      // The clock every 4096 solutions: a few hundred microseconds apart.
      // Not before the first ones: when sorting has overrun the limit (on a
      // loaded machine, say), the first solutions still come back, at a
      // cost of well under a millisecond, rather than none at all.
      if (deadline && index != 0 && index % 4096 == 0 &&
          std::chrono::steady_clock::now() > *deadline) {
        out_of_time = true;
        return;
      }
      PyObject* solution = PyList_New(word_count);
      if (solution == nullptr) {
        failed = true;
        return;
      }
      // The result steals `solution`; each item is a new reference.
      PyList_SET_ITEM(result.get(), index++, solution);
      for (Py_ssize_t k = 0; k < word_count; ++k) {
        PyRef& word = words[ids[k]];
        if (!word) {
          const std::string& text = solutions.words[ids[k]];
          word = PyRef::steal(PyUnicode_FromStringAndSize(
              text.data(), static_cast<Py_ssize_t>(text.size())));
          if (!word) {
            failed = true;
            return;
          }
        }
        PyList_SET_ITEM(solution, k, Py_NewRef(word.get()));
      }
    });
    if (failed) return nullptr;
    group.release();
    if (out_of_time) break;
  }
  // The slots not reached are empty; removing them decrements nothing.
  if (index < PyList_GET_SIZE(result.get()) &&
      PyList_SetSlice(result.get(), index, PyList_GET_SIZE(result.get()),
                      nullptr) != 0) {
    return nullptr;
  }
  return result.release();
}

}  // namespace vorpalyx
