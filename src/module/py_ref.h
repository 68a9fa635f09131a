// PyRef: the one owner of a strong reference to a Python object.
//
// Ownership rules, so that every line says who owns what:
//  - PyRef::steal(p) adopts a reference the caller already owns, such as the
//    result of an API documented to return a new reference. A null `p` gives
//    an empty PyRef (the API failed and set an exception).
//  - PyRef::borrow(p) takes a new reference to an object the caller only
//    borrows.
//  - get() lends the pointer without changing the count; release() gives the
//    reference away (to an API that steals it, or as a return value).
// The destructor drops the reference, if any. Cost: one pointer, nothing
// beyond the reference count updates it stands for.
//
// Tested through every Python test, for leaks by tests/python/test_leaks.py.

#ifndef VORPALYX_MODULE_PY_REF_H_
#define VORPALYX_MODULE_PY_REF_H_

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace vorpalyx {

class PyRef {
 public:
  PyRef() = default;
  static PyRef steal(PyObject* object) { return PyRef(object); }
  static PyRef borrow(PyObject* object) {
    Py_XINCREF(object);
    return PyRef(object);
  }

  PyRef(PyRef&& other) noexcept : object_(other.release()) {}
  PyRef& operator=(PyRef&& other) noexcept {
    PyRef(std::move(other)).swap(*this);
    return *this;
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  ~PyRef() { Py_XDECREF(object_); }

  PyObject* get() const { return object_; }
  PyObject* release() { return std::exchange(object_, nullptr); }
  explicit operator bool() const { return object_ != nullptr; }
  void swap(PyRef& other) noexcept { std::swap(object_, other.object_); }

 private:
  explicit PyRef(PyObject* object) : object_(object) {}

  PyObject* object_ = nullptr;
};

}  // namespace vorpalyx

#endif  // VORPALYX_MODULE_PY_REF_H_
