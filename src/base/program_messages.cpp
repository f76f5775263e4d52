#include "base/program_messages.h"

namespace velquin::messages::program {
namespace {

std::string number(std::uint64_t value) { return std::to_string(value); }
std::string plural(std::uint64_t count, std::string_view one) {
  return number(count) + " " + std::string(one) + (count == 1 ? "" : "s");
}

}  // namespace

std::string operation_error(std::uint64_t index, std::string_view name, std::string_view what) {
  return "operation " + number(index) + " (" + std::string(name) + "): " + std::string(what);
}

std::string unknown_operation(std::uint64_t index, std::string_view name) {
  return "operation " + number(index) + ": unknown operation '" + std::string(name) + "'";
}

std::string wrong_target_count(std::uint64_t index, std::string_view name, std::uint64_t wanted,
                               std::uint64_t given) {
  return operation_error(index, name,
                         "acts on " + plural(wanted, "qubit") + ", got " + number(given));
}

std::string no_targets(std::uint64_t index, std::string_view name) {
  return operation_error(index, name, "needs at least one target qubit");
}

std::string too_many_targets(std::uint64_t index, std::string_view name, std::uint64_t most) {
  return operation_error(index, name, "acts on at most " + plural(most, "target qubit"));
}

std::string qubit_out_of_range(std::uint64_t index, std::string_view name, std::uint64_t qubit,
                               std::uint64_t n_qubits) {
  return operation_error(
      index, name, "qubit " + number(qubit) + " is out of range for " + plural(n_qubits, "qubit"));
}

std::string repeated_qubit(std::uint64_t index, std::string_view name, std::uint64_t qubit) {
  return operation_error(index, name, "qubit " + number(qubit) + " appears more than once");
}

std::string control_values_length(std::uint64_t index, std::string_view name,
                                  std::uint64_t controls, std::uint64_t values) {
  return operation_error(index, name,
                         plural(controls, "control") + " but " + plural(values, "control value"));
}

std::string control_value_not_bit(std::uint64_t index, std::string_view name) {
  return operation_error(index, name, "control values must be 0 or 1");
}

std::string wrong_parameter_count(std::uint64_t index, std::string_view name, std::uint64_t wanted,
                                  std::uint64_t given) {
  return operation_error(index, name,
                         "takes " + plural(wanted, "parameter") + ", got " + number(given));
}

std::string parameter_out_of_range(std::uint64_t index, std::string_view name,
                                   std::uint64_t parameter, std::uint64_t n_params) {
  return operation_error(index, name,
                         "refers to parameter " + number(parameter) + " of a program with " +
                             plural(n_params, "parameter"));
}

std::string wrong_payload(std::uint64_t index, std::string_view name, std::string_view wanted) {
  return operation_error(index, name, "needs " + std::string(wanted));
}

std::string unexpected_payload(std::uint64_t index, std::string_view name) {
  return operation_error(index, name, "takes no matrix, permutation or word");
}

std::string not_a_permutation(std::uint64_t index, std::string_view name) {
  return operation_error(index, name, "the permutation must hold each member index once");
}

std::string bad_word(std::uint64_t index, std::string_view name) {
  return operation_error(index, name, "the word must hold one letter X, Y or Z per target");
}

std::string not_differentiable(std::uint64_t index, std::string_view name) {
  return operation_error(index, name,
                         "cannot be differentiated: its phase under controls made it a matrix "
                         "whose own angles depend on the parameter");
}

std::string parameter_set_length(std::uint64_t wanted, std::uint64_t given) {
  return "a parameter set must hold " + plural(wanted, "value") + ", got " + number(given);
}

std::string global_phase_parameter(std::uint64_t parameter, std::uint64_t n_params) {
  return "the global phase refers to parameter " + number(parameter) + " of a program with " +
         plural(n_params, "parameter");
}

}  // namespace velquin::messages::program
