// The extension module vorpalyx._engine: the Lexicon and Anagrams types,
// and fold().
//
// Single-phase initialisation, as vorpalyx.core: the types and the module
// are created once per process and belong to the first interpreter that
// imports the module; others are refused.

#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "char_utils/fold.h"
#include "lexicon_module/anagrams_object.h"
#include "lexicon_module/lexicon_object.h"
#include "module/py_ref.h"

// Declared ahead: english_words_path finds this library by its address.
// PyMODINIT_FUNC carries the C linkage.
PyMODINIT_FUNC PyInit__engine();

namespace vorpalyx {
namespace {

PyObject* fold(PyObject*, PyObject* text) {
  if (!PyUnicode_Check(text)) {
    PyErr_Format(PyExc_TypeError, "fold() argument must be str, not %T", text);
    return nullptr;
  }
  Py_ssize_t size;
  const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size);
  if (utf8 == nullptr) return nullptr;
  try {
    const std::string folded =
        fold_text(std::string_view(utf8, static_cast<std::size_t>(size)));
    return PyUnicode_FromStringAndSize(folded.data(),
                                       static_cast<Py_ssize_t>(folded.size()));
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
}

PyMethodDef engine_functions[] = {
    {"fold", fold, METH_O,
     "fold(text, /)\n--\n\n"
     "`text` spelt in the letters a-z, as a Lexicon reads words and "
     "phrases.\n\n"
     "Letters are lower-cased and decomposed, and their accents dropped\n"
     "('Côté' is 'cote'); Latin letters that do not decompose have a plain\n"
     "spelling ('ß' is 'ss', 'æ' 'ae', 'ø' 'o', 'þ' 'th'). Everything else\n"
     "is dropped: apostrophes, hyphens, spaces, digits, other scripts."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef engine_definition = {
    PyModuleDef_HEAD_INIT,
    "_engine",
    "The native types behind vorpalyx.Lexicon and vorpalyx.Anagrams, and\n"
    "the folding of text to a-z.",
    0,
    engine_functions,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

constexpr std::int64_t kNoInterpreter = -1;
std::int64_t owning_interpreter = kNoInterpreter;
PyObject* lexicon_type = nullptr;   // kept for the life of the process
PyObject* engine_module = nullptr;  // kept for the life of the process

// The bundled word list: next to this shared library, as installed; else
// where the package's own Python files find it (an editable install keeps
// the compiled modules apart from them). When neither has it, the path
// next to the library, which a load then names as missing.
std::string english_words_path() {
  Dl_info info;
  std::string path;
  if (dladdr(reinterpret_cast<void*>(&PyInit__engine), &info) != 0 &&
      info.dli_fname != nullptr) {
    path = info.dli_fname;
  }
  const std::size_t slash = path.rfind('/');
  path = slash == std::string::npos ? "." : path.substr(0, slash);
  path += "/data/english_words.txt";
  struct stat status;
  if (stat(path.c_str(), &status) == 0) return path;
  PyRef module = PyRef::steal(PyImport_ImportModule("vorpalyx._dictionary"));
  PyRef found = module ? PyRef::steal(PyObject_CallMethod(
                             module.get(), "default_dictionary_path", nullptr))
                       : PyRef();
  Py_ssize_t size = 0;
  const char* text = found && PyUnicode_Check(found.get())
                         ? PyUnicode_AsUTF8AndSize(found.get(), &size)
                         : nullptr;
  if (text == nullptr || stat(text, &status) != 0) {
    PyErr_Clear();
    return path;
  }
  return std::string(text, static_cast<std::size_t>(size));
}

PyObject* initialise() {
  const std::int64_t interpreter =
      PyInterpreterState_GetID(PyInterpreterState_Get());
  if (owning_interpreter == kNoInterpreter) owning_interpreter = interpreter;
  if (interpreter != owning_interpreter) {
    PyErr_SetString(PyExc_ImportError,
                    "vorpalyx._engine does not support sub-interpreters: "
                    "import it in the main interpreter only");
    return nullptr;
  }
  if (engine_module != nullptr) return Py_NewRef(engine_module);
  if (!create_anagrams_types()) return nullptr;
  if (lexicon_type == nullptr) {
    try {
      lexicon_type = create_lexicon_type(english_words_path());
    } catch (...) {
      return PyErr_NoMemory();
    }
    if (lexicon_type == nullptr) return nullptr;
  }
  PyRef module =
      PyRef::steal(PyModule_Create2(&engine_definition, PYTHON_API_VERSION));
  if (!module ||
      PyModule_AddObjectRef(module.get(), "Lexicon", lexicon_type) < 0 ||
      PyModule_AddObjectRef(module.get(), "Anagrams", anagrams_type()) < 0) {
    return nullptr;
  }
  engine_module = Py_NewRef(module.get());
  return module.release();
}

}  // namespace
}  // namespace vorpalyx

PyMODINIT_FUNC PyInit__engine() { return vorpalyx::initialise(); }
