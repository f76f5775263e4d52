#include "lib/types.h"

namespace velquin::lib {

PyResult<PyObject*> create_class_once(PyType_Spec& layout, PyObject*& created) {
  if (created != nullptr) return created;
  PyObject* type = PyType_FromSpec(&layout);
  if (type == nullptr) return CallError::fetch();
  // No descriptive text after the signature means __doc__ None, as for methods.
  if (PyObject_SetAttrString(type, "__doc__", Py_None) < 0) {
    Py_DECREF(type);
    return CallError::fetch();
  }
  created = type;
  return created;
}

}  // namespace velquin::lib
