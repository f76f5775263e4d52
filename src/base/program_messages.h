// The texts of velquin's companion module (programs, observables, sampling):
// every message it shows a user, as named constants and the builders of the
// texts composed at run time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velquin::messages::program {

/// "operation <index> (<name>): <what>": every error of one operation names it.
std::string operation_error(std::uint64_t index, std::string_view name, std::string_view what);

std::string unknown_operation(std::uint64_t index, std::string_view name);
std::string wrong_target_count(std::uint64_t index, std::string_view name, std::uint64_t wanted,
                               std::uint64_t given);
std::string no_targets(std::uint64_t index, std::string_view name);
std::string too_many_targets(std::uint64_t index, std::string_view name, std::uint64_t most);
std::string qubit_out_of_range(std::uint64_t index, std::string_view name, std::uint64_t qubit,
                               std::uint64_t n_qubits);
std::string repeated_qubit(std::uint64_t index, std::string_view name, std::uint64_t qubit);
std::string control_values_length(std::uint64_t index, std::string_view name,
                                  std::uint64_t controls, std::uint64_t values);
std::string control_value_not_bit(std::uint64_t index, std::string_view name);
std::string wrong_parameter_count(std::uint64_t index, std::string_view name, std::uint64_t wanted,
                                  std::uint64_t given);
std::string parameter_out_of_range(std::uint64_t index, std::string_view name,
                                   std::uint64_t parameter, std::uint64_t n_params);
std::string wrong_payload(std::uint64_t index, std::string_view name, std::string_view wanted);
std::string unexpected_payload(std::uint64_t index, std::string_view name);
std::string not_a_permutation(std::uint64_t index, std::string_view name);
std::string bad_word(std::uint64_t index, std::string_view name);

inline constexpr const char* kQubitCount = "n_qubits must be between 1 and 30";
inline constexpr char kForAdjointStates[] = "the adjoint method's states";
inline constexpr const char* kCancelled = "cancelled";
inline constexpr char kDynamicRefused[] =
    " is for programs without measurements, resets, noise or conditions: their shots come from "
    "run_shots";
std::string not_differentiable(std::uint64_t index, std::string_view name);
std::string parameter_set_length(std::uint64_t wanted, std::uint64_t given);
std::string global_phase_parameter(std::uint64_t parameter, std::uint64_t n_params);

}  // namespace velquin::messages::program
