// The memory layout of a Python instance: the interpreter's object header,
// the engine value held by value, then the borrow word.
#pragma once

#include <Python.h>

#include <new>
#include <utility>

#include "lib/borrow.h"

namespace velquin::lib {

template <class T>
struct Instance {
  PyObject_HEAD T value;
  BorrowFlag borrow;

  static Instance* from(PyObject* object) noexcept { return reinterpret_cast<Instance*>(object); }

  /// Moves `value` into freshly allocated (zeroed) instance memory.
  static void construct_in(PyObject* object, T&& value) noexcept {
    Instance* self = from(object);
    new (&self->value) T(std::move(value));
    self->borrow = 0;
  }

  /// tp_dealloc: releases the engine value, frees the instance, then drops the
  /// instance's reference to its heap type.
  static void dealloc(PyObject* object) noexcept {
    PyTypeObject* type = Py_TYPE(object);
    from(object)->value.~T();
    type->tp_free(object);
    Py_DECREF(type);
  }
};

}  // namespace velquin::lib
