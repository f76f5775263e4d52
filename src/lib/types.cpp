#include "lib/types.h"

#include <string>
#include <vector>

#include "lib/glue.h"

namespace velquin::lib {

PyResult<PyObject*> create_class_once(const ClassParts& parts, PyObject*& created) {
  if (created != nullptr) return created;
  // The interpreter copies the docstring and reads the slots once, here.
  const std::string doc = stored_docstring(parts.text, false, false);
  std::vector<PyType_Slot> slots = {
      {Py_tp_base, &PyBaseObject_Type},    {Py_tp_new, parts.new_slot},
      {Py_tp_dealloc, parts.dealloc_slot}, {Py_tp_doc, const_cast<char*>(doc.c_str())},
      {Py_tp_methods, parts.methods},
  };
  if (parts.attributes != nullptr) slots.push_back({Py_tp_getset, parts.attributes});
  slots.push_back({0, nullptr});
  PyType_Spec layout = {parts.type_name, parts.instance_size, 0, Py_TPFLAGS_DEFAULT, slots.data()};
  PyRef type = PyRef::steal(PyType_FromSpec(&layout));
  if (!type) return CallError::fetch();
  // No descriptive text after the signature means __doc__ None, as for methods.
  if (PyObject_SetAttrString(type.get(), "__doc__", Py_None) < 0) return CallError::fetch();
  created = type.release();
  return created;
}

}  // namespace velquin::lib
