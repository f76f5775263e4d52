#include "lib/results.h"

namespace velquin::lib {

PyResult<PyRef> to_python(const engine::MeasurementCounts& counts) {
  // Sized up front: a measurement can have as many outcomes as shots.
  PyRef dict = PyRef::steal(_PyDict_NewPresized(static_cast<Py_ssize_t>(counts.entries.size())));
  if (!dict) return CallError::fetch();
  const auto width = static_cast<Py_ssize_t>(counts.n_qubits);
  for (const auto& [index, count] : counts.entries) {
    // Each distinct outcome is formatted once, straight into a new str.
    PyRef key = PyRef::steal(PyUnicode_New(width, 127));
    if (!key) return CallError::fetch();
    Py_UCS1* digits = PyUnicode_1BYTE_DATA(key.get());
    for (Py_ssize_t position = 0; position < width; ++position) {
      const auto bit = static_cast<std::uint64_t>(width - 1 - position);
      digits[position] = static_cast<Py_UCS1>(((index >> bit) & 1U) != 0 ? '1' : '0');
    }
    PyRef value = PyRef::steal(PyLong_FromUnsignedLongLong(count));
    if (!value) return CallError::fetch();
    if (PyDict_SetItem(dict.get(), key.get(), value.get()) < 0) return CallError::fetch();
  }
  return dict;
}

}  // namespace velquin::lib
