// The bandwidth floor for an in-place gate: one read-modify-write pass over
// every double of an array, split into contiguous blocks, one per thread.
// The factor comes from the caller so the compiler cannot drop the pass.
#include <cstddef>
#include <omp.h>

extern "C" {

/// Multiplies every element of data[0, count) by factor in place, using
/// exactly `threads` OpenMP threads with a static schedule.
void rmw_pass(double* data, std::size_t count, double factor, int threads) {
  const long long n = static_cast<long long>(count);
#pragma omp parallel for num_threads(threads) schedule(static)
  for (long long i = 0; i < n; ++i) data[i] = data[i] * factor;
}

/// The OpenMP runtime's version date, so the report can name it.
int rmw_openmp_version() { return _OPENMP; }
}
