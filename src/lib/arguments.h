// Matching of positional and keyword arguments to a member's parameters, and
// conversion of each parameter, with the module's own error texts (not those
// of the interpreter's argument parser).
#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "lib/glue.h"

namespace velquin::lib {

/// The constant argument descriptor of one member that takes arguments.
struct FunctionDescription {
  std::string_view cls_name;   // empty: a function outside any class
  std::string_view func_name;  // text::kConstructor for constructors
  std::span<const std::string_view> positional_parameter_names;
  std::size_t positional_only_parameters = 0;
  std::size_t required_positional_parameters = 0;

  /// "Class.func()", the prefix of every matching error.
  std::string full_name() const;
};

/// One borrowed argument per parameter; null for a parameter not given.
using Slots = std::span<PyObject*>;

/// Fills `slots` from a fast call (positional array, then the values of the
/// keywords named in `kwnames`). Fails with TypeError: too many positional
/// arguments, a keyword naming a filled or unknown parameter, or missing
/// required parameters.
std::optional<CallError> extract_arguments_fastcall(const FunctionDescription& description,
                                                    PyObject* const* args, Py_ssize_t nargs,
                                                    PyObject* kwnames, Slots slots);

/// The same for constructors: a tuple and a dict (or null).
std::optional<CallError> extract_arguments_tuple_dict(const FunctionDescription& description,
                                                      PyObject* args, PyObject* kwargs,
                                                      Slots slots);

/// An unsigned 64-bit integer from an int (bool included) or any object with
/// __index__. OverflowError for negatives and 2**64 and beyond.
PyResult<std::uint64_t> extract_index(PyObject* object, std::string_view name);

/// A binary64 from a float, or through __float__ / __index__.
PyResult<double> extract_angle(PyObject* object, std::string_view name);

/// None or an empty slot give no seed; anything else converts as an index.
PyResult<std::optional<std::uint64_t>> extract_optional_seed(PyObject* object,
                                                             std::string_view name);

/// Relabels a conversion failure: a TypeError (exactly) becomes
/// TypeError("argument '<name>': <message>") keeping the original's
/// __cause__; any other error passes unchanged.
CallError argument_extraction_error(std::string_view name, CallError error);

}  // namespace velquin::lib
