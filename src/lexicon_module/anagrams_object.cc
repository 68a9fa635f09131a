#include "lexicon_module/anagrams_object.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <utility>
#include <vector>

#include "lexicon_module/engine_call.h"
#include "lexicon_module/keyword_arguments.h"
#include "lexicon_module/result_writer.h"
#include "module/py_ref.h"

namespace vorpalyx {
namespace {

// What the views of one search share: the engine's list and the str of
// each word, made when first needed. Only ever destroyed with the lock held
// (by the last view's deallocation).
struct SharedSolutions {
  explicit SharedSolutions(SolutionList list)
      : SharedSolutions(std::move(list), {}, false) {}
  SharedSolutions(SolutionList list, std::vector<std::int64_t> scores,
                  bool ranked)
      : list(std::move(list)),
        word_objects(this->list.words.size()),
        scores(std::move(scores)),
        ranked(ranked) {
    // A list in score order has a group for each run of one word count;
    // finding an item then needs a search, not a walk.
    std::size_t start = 0;
    for (const SolutionGroup& group : this->list.groups) {
      group_starts.push_back(start);
      start += group.solution_count;
    }
  }

  // Where solution `position` is: its group and its place there.
  std::pair<std::size_t, std::size_t> locate(std::size_t position) const {
    const auto after =
        std::upper_bound(group_starts.begin(), group_starts.end(), position);
    const auto group =
        static_cast<std::size_t>(after - group_starts.begin()) - 1;
    return {group, position - group_starts[group]};
  }

  SolutionList list;
  std::vector<PyRef> word_objects;
  std::vector<std::size_t> group_starts;
  std::vector<std::int64_t> scores;  // by position; empty in result order
  bool ranked;                       // in score order, even when empty
};

struct AnagramsObject {
  PyObject_HEAD std::shared_ptr<SharedSolutions> shared;
  std::size_t first;
  std::ptrdiff_t step;
  std::size_t count;
};

struct IteratorObject {
  PyObject_HEAD PyObject* anagrams;  // owned; null once exhausted
  std::size_t next;
};

PyTypeObject* anagrams_type_object = nullptr;  // for the process
PyTypeObject* iterator_type_object = nullptr;

AnagramsObject* as_anagrams(PyObject* self) {
  return reinterpret_cast<AnagramsObject*>(self);
}

PyObject* new_view(std::shared_ptr<SharedSolutions> shared, std::size_t first,
                   std::ptrdiff_t step, std::size_t count) {
  PyObject* self = anagrams_type_object->tp_alloc(anagrams_type_object, 0);
  if (self == nullptr) return nullptr;
  AnagramsObject* view = as_anagrams(self);
  new (&view->shared) std::shared_ptr<SharedSolutions>(std::move(shared));
  view->first = first;
  view->step = step;
  view->count = count;
  return self;
}

PyObject* word_object(SharedSolutions& shared, std::uint32_t id) {
  PyRef& word = shared.word_objects[id];
  if (!word) {
    const std::string& text = shared.list.words[id];
    word = PyRef::steal(PyUnicode_DecodeUTF8(
        text.data(), static_cast<Py_ssize_t>(text.size()), "strict"));
    if (!word) return nullptr;
  }
  return word.get();
}

// The solution at `index` of the view (index < count), as a new list.
PyObject* item_at(AnagramsObject* view, std::size_t index) {
  SharedSolutions& shared = *view->shared;
  const std::size_t position =
      view->first + static_cast<std::size_t>(view->step) * index;
  const auto [group_index, offset] = shared.locate(position);
  const SolutionGroup& group = shared.list.groups[group_index];
  std::uint32_t ids_on_stack[16];
  std::vector<std::uint32_t> ids_on_heap;
  std::uint32_t* ids = ids_on_stack;
  if (group.word_count > std::size(ids_on_stack)) {
    ids_on_heap.resize(group.word_count);
    ids = ids_on_heap.data();
  }
  group.ids_at(offset, ids);
  PyRef solution =
      PyRef::steal(PyList_New(static_cast<Py_ssize_t>(group.word_count)));
  if (!solution) return nullptr;
  for (std::size_t k = 0; k < group.word_count; ++k) {
    PyObject* word = word_object(shared, ids[k]);
    if (word == nullptr) return nullptr;
    PyList_SET_ITEM(solution.get(), static_cast<Py_ssize_t>(k),
                    Py_NewRef(word));
  }
  return solution.release();
}

void anagrams_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  as_anagrams(self)->shared.~shared_ptr();
  type->tp_free(self);
  Py_DECREF(type);
}

Py_ssize_t anagrams_length(PyObject* self) {
  return static_cast<Py_ssize_t>(as_anagrams(self)->count);
}

PyObject* anagrams_item(PyObject* self, Py_ssize_t index) {
  AnagramsObject* view = as_anagrams(self);
  const auto count = static_cast<Py_ssize_t>(view->count);
  if (index < 0 || index >= count) {
    PyErr_SetString(PyExc_IndexError, "Anagrams index out of range");
    return nullptr;
  }
  try {
    return item_at(view, static_cast<std::size_t>(index));
  } catch (...) {
    set_python_error_from_current_exception();
    return nullptr;
  }
}

PyObject* anagrams_subscript(PyObject* self, PyObject* key) {
  AnagramsObject* view = as_anagrams(self);
  if (PySlice_Check(key)) {
    Py_ssize_t start, stop, step;
    if (PySlice_Unpack(key, &start, &stop, &step) < 0) return nullptr;
    const Py_ssize_t length = PySlice_AdjustIndices(
        static_cast<Py_ssize_t>(view->count), &start, &stop, step);
    // An empty slice keeps no position of this view.
    const std::size_t first =
        length == 0 ? 0
                    : view->first + static_cast<std::size_t>(view->step) *
                                        static_cast<std::size_t>(start);
    // Past one position the step cannot overflow: it stays within the list.
    return new_view(view->shared, first, length <= 1 ? 1 : view->step * step,
                    static_cast<std::size_t>(length));
  }
  if (!PyIndex_Check(key)) {
    PyErr_Format(PyExc_TypeError,
                 "Anagrams indices must be integers or slices, not %T", key);
    return nullptr;
  }
  Py_ssize_t index = PyNumber_AsSsize_t(key, PyExc_IndexError);
  if (index == -1 && PyErr_Occurred()) return nullptr;
  if (index < 0) index += static_cast<Py_ssize_t>(view->count);
  return anagrams_item(self, index);
}

PyObject* anagrams_iter(PyObject* self) {
  IteratorObject* iterator = PyObject_New(IteratorObject, iterator_type_object);
  if (iterator == nullptr) return nullptr;
  iterator->anagrams = Py_NewRef(self);
  iterator->next = 0;
  return reinterpret_cast<PyObject*>(iterator);
}

PyObject* anagrams_repr(PyObject* self) {
  const std::size_t count = as_anagrams(self)->count;
  return PyUnicode_FromFormat("<vorpalyx.Anagrams of %zu solution%s>", count,
                              count == 1 ? "" : "s");
}

void iterator_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  Py_XDECREF(reinterpret_cast<IteratorObject*>(self)->anagrams);
  PyObject_Free(self);
  Py_DECREF(type);
}

PyObject* iterator_next(PyObject* self) {
  IteratorObject* iterator = reinterpret_cast<IteratorObject*>(self);
  if (iterator->anagrams == nullptr) return nullptr;
  AnagramsObject* view = as_anagrams(iterator->anagrams);
  if (iterator->next >= view->count) {
    Py_CLEAR(iterator->anagrams);
    return nullptr;
  }
  return anagrams_item(iterator->anagrams,
                       static_cast<Py_ssize_t>(iterator->next++));
}

PyObject* iterator_length_hint(PyObject* self, PyObject*) {
  IteratorObject* iterator = reinterpret_cast<IteratorObject*>(self);
  if (iterator->anagrams == nullptr) return PyLong_FromLong(0);
  return PyLong_FromSize_t(as_anagrams(iterator->anagrams)->count -
                           iterator->next);
}

// Calls `found(index)` for each position from `start` to `stop` whose item
// equals `value`, building every item in turn, until it returns false.
// False with an exception set when an item or a comparison fails.
template <typename Found>
bool find_equal(PyObject* self, PyObject* value, Py_ssize_t start,
                Py_ssize_t stop, Found found) {
  for (Py_ssize_t index = start; index < stop; ++index) {
    PyRef item = PyRef::steal(anagrams_item(self, index));
    if (!item) return false;
    const int equal = PyObject_RichCompareBool(item.get(), value, Py_EQ);
    if (equal < 0) return false;
    if (equal && !found(index)) return true;
  }
  return true;
}

// A bound of index(), clipped to the range of Py_ssize_t as list.index
// clips it.
int clipped_bound(PyObject* object, void* bound) {
  const Py_ssize_t value = PyNumber_AsSsize_t(object, nullptr);
  if (value == -1 && PyErr_Occurred()) return 0;
  *static_cast<Py_ssize_t*>(bound) = value;
  return 1;
}

// Sequence.index, with list.index's bounds.
PyObject* anagrams_index(PyObject* self, PyObject* args) {
  PyObject* value;
  Py_ssize_t start = 0;
  Py_ssize_t stop = PY_SSIZE_T_MAX;
  if (!PyArg_ParseTuple(args, "O|O&O&:index", &value, clipped_bound, &start,
                        clipped_bound, &stop)) {
    return nullptr;
  }
  const auto length = static_cast<Py_ssize_t>(as_anagrams(self)->count);
  if (start < 0) start = std::max<Py_ssize_t>(start + length, 0);
  if (stop < 0) stop = std::max<Py_ssize_t>(stop + length, 0);
  Py_ssize_t position = -1;
  if (!find_equal(self, value, start, std::min(stop, length),
                  [&](Py_ssize_t index) {
                    position = index;
                    return false;
                  })) {
    return nullptr;
  }
  if (position < 0) {
    PyErr_Format(PyExc_ValueError, "%R is not in Anagrams", value);
    return nullptr;
  }
  return PyLong_FromSsize_t(position);
}

// Sequence.count: how many items equal `value`.
PyObject* anagrams_count(PyObject* self, PyObject* value) {
  Py_ssize_t equal = 0;
  if (!find_equal(self, value, 0,
                  static_cast<Py_ssize_t>(as_anagrams(self)->count),
                  [&](Py_ssize_t) {
                    ++equal;
                    return true;
                  })) {
    return nullptr;
  }
  return PyLong_FromSsize_t(equal);
}

constexpr const char* kWriteFile[] = {"file"};
constexpr const char* kWriteFormat[] = {"format"};

PyObject* anagrams_write(PyObject* self, PyObject* const* args,
                         Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* bound[2];
  if (!bind_arguments({"write", kWriteFile, kWriteFormat, 1}, args, nargs,
                      kwnames, bound)) {
    return nullptr;
  }
  SolutionFormat format = SolutionFormat::kText;
  if (bound[1] != nullptr) {
    // Compared whole: 'json\0' is not 'json'.
    const bool is_str = PyUnicode_Check(bound[1]);
    if (is_str && PyUnicode_CompareWithASCIIString(bound[1], "json") == 0) {
      format = SolutionFormat::kJson;
    } else if (!is_str ||
               PyUnicode_CompareWithASCIIString(bound[1], "text") != 0) {
      PyErr_Format(PyExc_ValueError,
                   "write() argument 'format' must be 'text' or 'json', not "
                   "%R",
                   bound[1]);
      return nullptr;
    }
  }
  AnagramsObject* view = as_anagrams(self);
  // The view's list lives at least as long as this call.
  const std::shared_ptr<SharedSolutions> shared = view->shared;
  if (!write_solutions(shared->list, view->first, view->step, view->count,
                       bound[0], format)) {
    return nullptr;
  }
  Py_RETURN_NONE;
}

// The scores of the view's solutions, for a result in score order.
PyObject* anagrams_scores(PyObject* self, PyObject*) {
  AnagramsObject* view = as_anagrams(self);
  const std::vector<std::int64_t>& scores = view->shared->scores;
  if (!view->shared->ranked) {
    PyErr_SetString(PyExc_ValueError,
                    "scores() needs a result in score order: "
                    "search(..., order='score')");
    return nullptr;
  }
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(view->count)));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < view->count; ++i) {
    const std::size_t position =
        view->first + static_cast<std::size_t>(view->step) * i;
    PyObject* score =
        PyFloat_FromDouble(static_cast<double>(scores[position]) / 100);
    if (score == nullptr) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), score);
  }
  return list.release();
}

PyObject* text_object(const std::string& text) {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()),
                              "strict");
}

// The solution at `index`, with the letters it spells beyond or short of
// the phrase, as a vorpalyx.Anagram.
PyObject* anagrams_details(PyObject* self, PyObject* argument) {
  AnagramsObject* view = as_anagrams(self);
  Py_ssize_t index = PyNumber_AsSsize_t(argument, PyExc_IndexError);
  if (index == -1 && PyErr_Occurred()) return nullptr;
  if (index < 0) index += static_cast<Py_ssize_t>(view->count);
  if (index < 0 || static_cast<std::size_t>(index) >= view->count) {
    PyErr_SetString(PyExc_IndexError, "Anagrams index out of range");
    return nullptr;
  }
  PyRef words = PyRef::steal(item_at(view, static_cast<std::size_t>(index)));
  if (!words) return nullptr;
  const SharedSolutions& shared = *view->shared;
  const LetterVariant* letters = nullptr;
  if (!shared.list.variants.empty()) {
    const auto [group, place] =
        shared.locate(view->first + static_cast<std::size_t>(view->step) *
                                        static_cast<std::size_t>(index));
    letters =
        &shared.list.variants[shared.list.groups[group].variant_ids[place]];
  }
  PyRef blanks = PyRef::steal(text_object(letters ? letters->blanks : ""));
  PyRef leftover = PyRef::steal(text_object(letters ? letters->leftover : ""));
  if (!blanks || !leftover) return nullptr;
  PyRef module = PyRef::steal(PyImport_ImportModule("vorpalyx._ranked"));
  if (!module) return nullptr;
  PyRef anagram_type =
      PyRef::steal(PyObject_GetAttrString(module.get(), "Anagram"));
  if (!anagram_type) return nullptr;
  return PyObject_CallFunctionObjArgs(anagram_type.get(), words.get(),
                                      blanks.get(), leftover.get(), nullptr);
}

// Pickle protocols 0 and 1 would otherwise write a result that no load can
// make again; every protocol refuses it, as 2 and later do by themselves.
PyObject* anagrams_reduce(PyObject* self, PyObject*) {
  PyErr_Format(PyExc_TypeError, "cannot pickle '%s' object",
               Py_TYPE(self)->tp_name);
  return nullptr;
}

PyMethodDef anagrams_methods[] = {
    {"__reduce__", anagrams_reduce, METH_NOARGS, nullptr},
    {"details", anagrams_details, METH_O,
     "details($self, index, /)\n--\n\n"
     "The solution at `index` as a vorpalyx.Anagram: its words, the\n"
     "letters the phrase's blanks ('?') became, and the letters left over\n"
     "under `leftover` ('?' for a blank left unused), each in alphabetical\n"
     "order and empty when there are none."},
    {"scores", anagrams_scores, METH_NOARGS,
     "scores($self, /)\n--\n\n"
     "The score of each solution, in order, for a result of\n"
     "search(..., order='score'): the sum of its words' weights (base-10\n"
     "logarithms of their frequencies). ValueError for a result in result\n"
     "order."},
    {"write",
     reinterpret_cast<PyCFunction>(
         reinterpret_cast<void (*)()>(anagrams_write)),
     METH_FASTCALL | METH_KEYWORDS,
     "write($self, /, file, format='text')\n--\n\n"
     "Writes the solutions to `file`, formatted natively in large chunks.\n\n"
     "format='text': the words of a solution joined by one space, one\n"
     "solution per line. format='json': one array of arrays of words, the\n"
     "same text as json.dumps(list(self)). A file with a fileno() is\n"
     "flushed and then written to directly, in UTF-8, unless it is a text\n"
     "file of another encoding or a file of io that open() does not give\n"
     "(a gzip file, say); any other is given str (bytes for a binary file)\n"
     "through its write(). A closed pipe raises BrokenPipeError, Ctrl-C\n"
     "KeyboardInterrupt."},
    {"index", anagrams_index, METH_VARARGS,
     "index($self, value, start=0, stop=sys.maxsize, /)\n--\n\n"
     "The first position of `value` from `start` to `stop`; ValueError\n"
     "when it is not there. Builds each item it passes."},
    {"count", anagrams_count, METH_O,
     "count($self, value, /)\n--\n\n"
     "How many solutions equal `value`. Builds every item."},
    {nullptr, nullptr, 0, nullptr},
};

PyObject* anagrams_partial(PyObject* self, void*) {
  return PyBool_FromLong(as_anagrams(self)->shared->list.partial);
}

PyGetSetDef anagrams_getset[] = {
    {"partial", anagrams_partial, nullptr,
     "True when a limit (timeout_seconds or max_solutions) ended the search\n"
     "before it was done, so that solutions may be missing; a slice tells\n"
     "the same as the result it was cut from.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef iterator_methods[] = {
    {"__length_hint__", iterator_length_hint, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

constexpr const char kAnagramsDoc[] =
    "The solutions of one search, best read lazily.\n\n"
    "An immutable sequence of lists of words, in the engine's result order\n"
    "(fewest words first, then those whose shortest word is longer, then\n"
    "alphabetically word by word). len() and slicing cost nothing and build\n"
    "no list; each item is built when it is asked for. A slice is again an\n"
    "Anagrams. The result stays valid when its Lexicon changes or is gone.";

PyType_Slot anagrams_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(anagrams_dealloc)},
    {Py_tp_iter, reinterpret_cast<void*>(anagrams_iter)},
    {Py_tp_repr, reinterpret_cast<void*>(anagrams_repr)},
    {Py_tp_methods, anagrams_methods},
    {Py_tp_getset, anagrams_getset},
    {Py_tp_doc, const_cast<char*>(kAnagramsDoc)},
    {Py_sq_length, reinterpret_cast<void*>(anagrams_length)},
    {Py_sq_item, reinterpret_cast<void*>(anagrams_item)},
    {Py_mp_length, reinterpret_cast<void*>(anagrams_length)},
    {Py_mp_subscript, reinterpret_cast<void*>(anagrams_subscript)},
    {0, nullptr},
};

PyType_Spec anagrams_spec = {
    "vorpalyx.Anagrams",
    static_cast<int>(sizeof(AnagramsObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION |
        Py_TPFLAGS_SEQUENCE | Py_TPFLAGS_IMMUTABLETYPE,
    anagrams_slots,
};

PyType_Slot iterator_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(iterator_dealloc)},
    {Py_tp_iter, reinterpret_cast<void*>(PyObject_SelfIter)},
    {Py_tp_iternext, reinterpret_cast<void*>(iterator_next)},
    {Py_tp_methods, iterator_methods},
    {0, nullptr},
};

PyType_Spec iterator_spec = {
    "vorpalyx._engine.AnagramsIterator",
    static_cast<int>(sizeof(IteratorObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION |
        Py_TPFLAGS_IMMUTABLETYPE,
    iterator_slots,
};

}  // namespace

bool create_anagrams_types() {
  if (anagrams_type_object == nullptr) {
    anagrams_type_object =
        reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&anagrams_spec));
    if (anagrams_type_object == nullptr) return false;
  }
  if (iterator_type_object == nullptr) {
    iterator_type_object =
        reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&iterator_spec));
    if (iterator_type_object == nullptr) return false;
  }
  return true;
}

PyObject* anagrams_type() {
  return reinterpret_cast<PyObject*>(anagrams_type_object);
}

PyObject* new_anagrams(SolutionList list) {
  const std::size_t count = list.size();
  auto shared = std::make_shared<SharedSolutions>(std::move(list));
  return new_view(std::move(shared), 0, 1, count);
}

PyObject* new_scored_anagrams(ScoredList scored) {
  const std::size_t count = scored.list.size();
  auto shared = std::make_shared<SharedSolutions>(
      std::move(scored.list), std::move(scored.scores), true);
  return new_view(std::move(shared), 0, 1, count);
}

}  // namespace vorpalyx
