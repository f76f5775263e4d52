#include "engine/register.h"

#include <cstring>

#include "base/messages.h"
#include "engine/memory_budget.h"
#include "engine/thread_pool.h"

namespace velquin::engine {

Result<Register> Register::create(std::uint64_t n_qubits, std::optional<std::uint64_t> seed,
                                  unsigned threads) {
  if (n_qubits == 0 || n_qubits > kMaxQubits) {
    return Error{ErrorKind::kValueError, messages::kQubitCountRange};
  }
  Result<AmplitudeArray> data = AmplitudeArray::zeroed(std::uint64_t{1} << n_qubits, threads);
  if (!data) return std::move(data).error();
  data.value().data()[0] = Complex64{1.0, 0.0};
  // The array is released by its destructor if entropy fails.
  Result<random::StdRng> rng =
      seed ? random::StdRng::seed_from_u64(*seed) : random::StdRng::from_entropy();
  if (!rng) return std::move(rng).error();
  return Register(n_qubits, std::move(data).value(), std::move(rng).value());
}

Result<std::pair<double, double>> Register::amplitude(std::uint64_t i) const {
  if (i >= data_.size()) return Error{ErrorKind::kIndexError, messages::kAmplitudeIndexRange};
  const Complex64 a = data_.data()[i];
  return std::pair<double, double>{a.re, a.im};
}

Status Register::copy_out(FunctionRef<Complex64*(std::uint64_t)> allocate, unsigned threads) const {
  const std::uint64_t bytes = data_.size() * sizeof(Complex64);
  if (Status room = check_allocation(bytes, messages::kForStateVectorCopy); !room) return room;
  auto* target = reinterpret_cast<unsigned char*>(allocate(bytes));
  if (target == nullptr) {
    return Error{ErrorKind::kMemoryError,
                 messages::allocation_failed(bytes, messages::kForStateVectorCopy)};
  }
  // The copy also faults in the fresh pages: spread it over the threads.
  const auto* source = reinterpret_cast<const unsigned char*>(data_.data());
  constexpr std::uint64_t kPiece = std::uint64_t{1} << 22;  // bytes
  parallel_for(threads, bytes, kPiece, 4 * kPiece, [&](std::uint64_t begin, std::uint64_t end) {
    std::memcpy(target + begin, source + begin, end - begin);
  });
  return Status::Ok();
}

}  // namespace velquin::engine
