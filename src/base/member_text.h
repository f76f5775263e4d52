// The Python-visible texts of the module's classes and of their members that
// are not gates (the gates' are in gate_table.h): names, parameter names and
// docstrings. The module composes each stored docstring from them: the name,
// the text signature ("(...)" after "$self, " for a method), the separator
// "\n--\n\n" and the description.
#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace velquin {

/// One member's (or one class's constructor's) Python-visible texts.
struct MemberText {
  // A constructor rather than an aggregate: GCC 12 refuses to read the
  // implicitly value-initialised parameter names of an aggregate in constant
  // expressions.
  constexpr MemberText(std::string_view name_, std::initializer_list<std::string_view> params_ = {},
                       std::size_t required_ = 0, std::string_view description_ = "")
      : name(name_), required(required_), description(description_) {
    std::size_t i = 0;
    for (const std::string_view param : params_) params[i++] = param;
  }

  std::string_view name;  // the Python name
  std::array<std::string_view, 2> params{std::string_view(""), std::string_view("")};
  std::size_t required;          // params before this are required; the rest default to None
  std::string_view description;  // the docstring after the signature; may be empty

  /// How many parameters the member takes after self.
  constexpr std::size_t param_count() const noexcept {
    return params[1].empty() ? (params[0].empty() ? 0 : 1) : 2;
  }
};

/// The stored docstring of a member: its name, its text signature (after
/// "$self, " for a method; parameters from `required` on default to None),
/// the separator "\n--\n\n" and, if `with_description`, its description:
/// "measure_counts($self, shots, seed=None)\n--\n\nSample counts ...". For a
/// class (`method` false) the signature is its constructor's: "StateVecPy(n_qubits,
/// seed=None)\n--\n\n". The interpreter reads the signature off it and shows
/// the rest as __doc__.
std::string stored_docstring(const MemberText& text, bool method, bool with_description);

namespace text {

inline constexpr char kModuleName[] = "velquin";

// Where an internal failure arose, in its diagnostic: the entry points that
// are no method of their own.
inline constexpr char kModuleInit[] = "PyInit_velquin";
inline constexpr char kConstructor[] = "__new__";
inline constexpr char kDeallocation[] = "__del__";

// The capsule that keeps a circuit's state vector alive under its NumPy array.
inline constexpr char kAmplitudesCapsule[] = "velquin.amplitudes";

// The classes: name, the constructor's parameters, and the type's full name.
inline constexpr MemberText kRegisterClass{"StateVecPy", {"n_qubits", "seed"}, 1};
inline constexpr char kRegisterTypeName[] = "builtins.StateVecPy";
inline constexpr MemberText kCircuitClass{"QuantumCircuit", {"n_qubits"}, 1};
inline constexpr char kCircuitTypeName[] = "builtins.QuantumCircuit";

// StateVecPy's members that are not gates.
inline constexpr MemberText kNQubits{"n_qubits"};  // the read-only attribute
inline constexpr MemberText kAmplitude{
    "amplitude", {"i"}, 1, "Return amplitude of basis index `i` as (re, im)."};
inline constexpr MemberText kAmplitudes{
    "amplitudes", {}, 0, "Return full state vector as a NumPy array of complex128."};
inline constexpr MemberText kStatevector{
    "statevector", {}, 0, "Alias for amplitudes(), matching earlier API."};
inline constexpr MemberText kLength{"length"};
inline constexpr MemberText kMeasureCounts{
    "measure_counts", {"shots", "seed"}, 1, "Sample counts dict of bitstrings -> counts."};

// QuantumCircuit's members that are not gates.
inline constexpr MemberText kRun{"run", {"shots", "seed"}, 1};
inline constexpr MemberText kCircuitStatevector{"statevector"};
inline constexpr MemberText kApplyGates{"apply_gates", {"sv"}, 1};

}  // namespace text
}  // namespace velquin
