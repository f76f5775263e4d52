// Cancel: a flag shared with the work it is handed to. Setting it from any
// thread stops that work at its next whole-prefix point, where it raises
// KeyboardInterrupt "cancelled".
#include <new>

#include "native/types.h"

namespace velquin::native {
namespace {

struct CancelObject {
  PyObject_HEAD CancelFlag flag;
};

PyTypeObject* cancel_type = nullptr;  // made once, never freed

PyObject* make(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  if (PyTuple_GET_SIZE(args) != 0 || (kwargs != nullptr && PyDict_GET_SIZE(kwargs) != 0)) {
    PyErr_SetString(PyExc_TypeError, "Cancel() takes no arguments");
    return nullptr;
  }
  PyObject* self = type->tp_alloc(type, 0);
  if (self == nullptr) return nullptr;
  try {
    new (&reinterpret_cast<CancelObject*>(self)->flag)
        CancelFlag(std::make_shared<std::atomic<bool>>(false));
  } catch (const std::bad_alloc&) {
    Py_DECREF(self);
    return PyErr_NoMemory();
  }
  return self;
}

void dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  reinterpret_cast<CancelObject*>(self)->flag.~CancelFlag();
  type->tp_free(self);
  Py_DECREF(type);
}

PyObject* cancel(PyObject* self, PyObject*) {
  reinterpret_cast<CancelObject*>(self)->flag->store(true);
  Py_RETURN_NONE;
}

PyObject* cancelled(PyObject* self, void*) {
  return PyBool_FromLong(reinterpret_cast<CancelObject*>(self)->flag->load() ? 1 : 0);
}

PyMethodDef methods[] = {
    {"cancel", cancel, METH_NOARGS,
     "cancel($self, /)\n--\n\nStop the work this flag was handed to, at its next whole-prefix "
     "point."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef getset[] = {
    {"cancelled", cancelled, nullptr, "Whether cancel() has been called.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(make)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {Py_tp_doc, const_cast<char*>("Cancel()\n--\n\nA flag that stops the work it is handed to "
                                  "(the cancel= argument), from any thread.")},
    {0, nullptr},
};

PyType_Spec spec = {"_velquin_native.Cancel", sizeof(CancelObject), 0, Py_TPFLAGS_DEFAULT, slots};

}  // namespace

pyglue::PyResult<PyObject*> cancel_class(PyObject* module) {
  if (cancel_type == nullptr) {
    cancel_type = reinterpret_cast<PyTypeObject*>(PyType_FromModuleAndSpec(module, &spec, nullptr));
    if (cancel_type == nullptr) return pyglue::CallError::fetch();
  }
  return reinterpret_cast<PyObject*>(cancel_type);
}

CancelFlag cancel_flag_of(PyObject* object) {
  if (cancel_type == nullptr || !PyObject_TypeCheck(object, cancel_type)) return nullptr;
  return reinterpret_cast<CancelObject*>(object)->flag;
}

}  // namespace velquin::native
