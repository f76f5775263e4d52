#include "engine/register.h"

#include "base/messages.h"

namespace velquin::engine {

Result<Register> Register::create(std::uint64_t n_qubits, std::optional<std::uint64_t> seed) {
  if (n_qubits == 0 || n_qubits > kMaxQubits) {
    return Error{ErrorKind::kValueError, messages::kQubitCountRange};
  }
  Result<AmplitudeArray> data = AmplitudeArray::zeroed(std::uint64_t{1} << n_qubits);
  if (!data) return std::move(data).error();
  data.value().data()[0] = Complex64{1.0, 0.0};
  // The array is released by its destructor if entropy fails.
  Result<random::StdRng> rng =
      seed ? random::StdRng::seed_from_u64(*seed) : random::StdRng::from_entropy();
  if (!rng) return std::move(rng).error();
  return Register(n_qubits, std::move(data).value(), std::move(rng).value());
}

Status Register::check_qubit(std::uint64_t q) const {
  if (q < n_qubits_) return Status::Ok();
  return Error{ErrorKind::kIndexError, messages::kQubitIndexRange};
}

Result<std::pair<double, double>> Register::amplitude(std::uint64_t i) const {
  if (i >= data_.size()) return Error{ErrorKind::kIndexError, messages::kAmplitudeIndexRange};
  const Complex64 a = data_.data()[i];
  return std::pair<double, double>{a.re, a.im};
}

}  // namespace velquin::engine
