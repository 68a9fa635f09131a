// The extension module vorpalyx.core: single-phase initialisation, one class.
//
// The module object is created once per process and handed out again by
// later initialisations in the same interpreter (after the module was dropped
// from sys.modules, say). Other interpreters are refused: the Solver type and
// the module are process-wide and belong to the first interpreter.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "module/messages.h"
#include "module/py_ref.h"
#include "module/solver_object.h"

namespace vorpalyx {
namespace {

PyModuleDef core_definition = {
    PyModuleDef_HEAD_INIT,
    "core",
    "",
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

constexpr std::int64_t kNoInterpreter = -1;
std::int64_t owning_interpreter = kNoInterpreter;
PyObject* solver_type = nullptr;  // kept for the life of the process
PyObject* core_module = nullptr;  // kept for the life of the process

// Appends the type's name to the module's __all__ (made if missing) and
// sets the type as an attribute of the module.
bool add_type(PyObject* module, PyObject* type) {
  PyRef name = PyRef::steal(PyObject_GetAttrString(type, "__name__"));
  if (!name) return false;
  PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
    PyErr_Clear();
    all = PyRef::steal(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) {
      return false;
    }
  }
  if (!PyList_Check(all.get())) {
    PyErr_SetString(PyExc_TypeError, "__all__ must be a list");
    return false;
  }
  return PyList_Append(all.get(), name.get()) == 0 &&
         PyObject_SetAttr(module, name.get(), type) == 0;
}

PyObject* initialise() {
  const std::int64_t interpreter =
      PyInterpreterState_GetID(PyInterpreterState_Get());
  if (owning_interpreter == kNoInterpreter) owning_interpreter = interpreter;
  if (interpreter != owning_interpreter) {
    return messages::subinterpreters_unsupported();
  }
  if (core_module != nullptr) return Py_NewRef(core_module);

  PyRef module =
      PyRef::steal(PyModule_Create2(&core_definition, PYTHON_API_VERSION));
  if (!module) return nullptr;
  if (solver_type == nullptr) {
    solver_type = create_solver_type();
    if (solver_type == nullptr) return nullptr;
  }
  if (!add_type(module.get(), solver_type)) return nullptr;
  core_module = Py_NewRef(module.get());
  return module.release();
}

}  // namespace
}  // namespace vorpalyx

PyMODINIT_FUNC PyInit_core() { return vorpalyx::initialise(); }
