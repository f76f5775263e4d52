#include "lib/arguments.h"

#include "base/messages.h"
#include "lib/glue.h"

namespace velquin::lib {
namespace {

CallError type_error(const std::string& text) {
  PyRef message =
      PyRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
  if (!message) return CallError::fetch();
  return CallError::make(PyExc_TypeError, message.get());
}

CallError too_many_positional_arguments(const FunctionDescription& d, std::size_t given) {
  return type_error(messages::too_many_positional(d.full_name(), d.required_positional_parameters,
                                                  d.positional_parameter_names.size(), given));
}

CallError multiple_values_for_argument(const FunctionDescription& d, std::string_view name) {
  return type_error(messages::multiple_values(d.full_name(), name));
}

CallError unexpected_keyword_argument(const FunctionDescription& d, PyObject* keyword) {
  const std::string prefix = messages::unexpected_keyword_prefix(d.full_name());
  PyRef message =
      PyRef::steal(PyUnicode_FromFormat("%s%S%s", prefix.c_str(), keyword, messages::kQuoteEnd));
  if (!message) return CallError::fetch();
  return CallError::make(PyExc_TypeError, message.get());
}

CallError missing_required_positional_arguments(const FunctionDescription& d, Slots slots) {
  std::string_view missing[8];
  std::size_t count = 0;
  for (std::size_t i = 0; i < d.required_positional_parameters; ++i) {
    if (slots[i] == nullptr && count < std::size(missing)) {
      missing[count++] = d.positional_parameter_names[i];
    }
  }
  return type_error(messages::missing_positional(
      d.full_name(), std::span<const std::string_view>(missing, count)));
}

// Steps shared by both matching forms, after the positional arguments are placed.
std::optional<CallError> place_keyword(const FunctionDescription& d, PyObject* keyword,
                                       PyObject* value, Slots slots) {
  const auto names = d.positional_parameter_names;
  for (std::size_t k = 0; k < names.size(); ++k) {
    const std::string name(names[k]);
    if (PyUnicode_Check(keyword) && PyUnicode_CompareWithASCIIString(keyword, name.c_str()) == 0) {
      if (slots[k] != nullptr) return multiple_values_for_argument(d, names[k]);
      slots[k] = value;
      return std::nullopt;
    }
  }
  return unexpected_keyword_argument(d, keyword);
}

std::optional<CallError> place_positional(const FunctionDescription& d, PyObject* const* args,
                                          std::size_t n, Slots slots) {
  const std::size_t count = std::min(n, slots.size());
  for (std::size_t i = 0; i < count; ++i) slots[i] = args[i];
  if (n > slots.size()) return too_many_positional_arguments(d, n);
  return std::nullopt;
}

std::optional<CallError> check_required(const FunctionDescription& d, std::size_t n, Slots slots) {
  if (n >= d.required_positional_parameters) return std::nullopt;
  for (std::size_t i = 0; i < d.required_positional_parameters; ++i) {
    if (slots[i] == nullptr) return missing_required_positional_arguments(d, slots);
  }
  return std::nullopt;
}

// Reads an unsigned 64-bit value from an exact or derived int.
PyResult<std::uint64_t> read_unsigned(PyObject* integer) {
  const unsigned long long value = PyLong_AsUnsignedLongLong(integer);
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return CallError::fetch();
  return static_cast<std::uint64_t>(value);
}

}  // namespace

std::string FunctionDescription::full_name() const {
  return messages::member_name(cls_name, func_name);
}

std::optional<CallError> extract_arguments_fastcall(const FunctionDescription& description,
                                                    PyObject* const* args, Py_ssize_t nargs,
                                                    PyObject* kwnames, Slots slots) {
  const auto n = static_cast<std::size_t>(nargs);
  if (auto error = place_positional(description, args, n, slots)) return error;
  if (kwnames != nullptr) {
    const Py_ssize_t keywords = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t i = 0; i < keywords; ++i) {
      if (auto error =
              place_keyword(description, PyTuple_GET_ITEM(kwnames, i), args[nargs + i], slots)) {
        return error;
      }
    }
  }
  return check_required(description, n, slots);
}

std::optional<CallError> extract_arguments_tuple_dict(const FunctionDescription& description,
                                                      PyObject* args, PyObject* kwargs,
                                                      Slots slots) {
  const auto n = static_cast<std::size_t>(PyTuple_GET_SIZE(args));
  if (auto error = place_positional(description, PySequence_Fast_ITEMS(args), n, slots)) {
    return error;
  }
  if (kwargs != nullptr) {
    Py_ssize_t position = 0;
    PyObject* keyword = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &keyword, &value)) {
      if (auto error = place_keyword(description, keyword, value, slots)) return error;
    }
  }
  return check_required(description, n, slots);
}

PyResult<std::uint64_t> extract_index(PyObject* object, std::string_view name) {
  PyResult<std::uint64_t> value = [&]() -> PyResult<std::uint64_t> {
    if (PyLong_Check(object)) return read_unsigned(object);
    PyRef integer = PyRef::steal(PyNumber_Index(object));
    if (!integer) return CallError::fetch();
    return read_unsigned(integer.get());
  }();
  if (!value.ok()) return argument_extraction_error(name, std::move(value).error());
  return value;
}

PyResult<double> extract_angle(PyObject* object, std::string_view name) {
  if (PyFloat_CheckExact(object)) return PyFloat_AS_DOUBLE(object);
  const double value = PyFloat_AsDouble(object);
  if (value == -1.0 && PyErr_Occurred()) {
    return argument_extraction_error(name, CallError::fetch());
  }
  return value;
}

PyResult<std::optional<std::uint64_t>> extract_optional_seed(PyObject* object,
                                                             std::string_view name) {
  if (object == nullptr || object == Py_None) return std::optional<std::uint64_t>{};
  PyResult<std::uint64_t> seed = extract_index(object, name);
  if (!seed.ok()) return std::move(seed).error();
  return std::optional<std::uint64_t>{seed.value()};
}

CallError argument_extraction_error(std::string_view name, CallError error) {
  PyRef original = std::move(error).into_exception();
  if (Py_TYPE(original.get()) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
    return CallError::from_exception(std::move(original));
  }
  const std::string prefix = messages::argument_prefix(name);
  PyRef message = PyRef::steal(PyUnicode_FromFormat("%s%S", prefix.c_str(), original.get()));
  if (!message) return CallError::fetch();
  PyRef relabelled = PyRef::steal(PyObject_CallOneArg(PyExc_TypeError, message.get()));
  if (!relabelled) return CallError::fetch();
  PyException_SetCause(relabelled.get(), PyException_GetCause(original.get()));
  return CallError::from_exception(std::move(relabelled));
}

}  // namespace velquin::lib
