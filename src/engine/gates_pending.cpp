// Gate and measurement members whose implementation has not landed yet. They
// fail loudly instead of pretending to succeed.
#include "engine/state_vec_py.h"

namespace velquin::engine {
namespace {
Error pending(const char* name) {
  return Error{ErrorKind::kNotImplementedError, std::string(name) + " is not implemented yet"};
}
}  // namespace

Status StateVecPy::h(std::uint64_t) { return pending("h"); }
Status StateVecPy::x(std::uint64_t) { return pending("x"); }
Status StateVecPy::y(std::uint64_t) { return pending("y"); }
Status StateVecPy::z(std::uint64_t) { return pending("z"); }
Status StateVecPy::s(std::uint64_t) { return pending("s"); }
Status StateVecPy::sdg(std::uint64_t) { return pending("sdg"); }
Status StateVecPy::t(std::uint64_t) { return pending("t"); }
Status StateVecPy::tdg(std::uint64_t) { return pending("tdg"); }
Status StateVecPy::sx(std::uint64_t) { return pending("sx"); }
Status StateVecPy::rx(std::uint64_t, double) { return pending("rx"); }
Status StateVecPy::ry(std::uint64_t, double) { return pending("ry"); }
Status StateVecPy::rz(std::uint64_t, double) { return pending("rz"); }
Status StateVecPy::cx(std::uint64_t, std::uint64_t) { return pending("cx"); }
Status StateVecPy::cy(std::uint64_t, std::uint64_t) { return pending("cy"); }
Status StateVecPy::cz(std::uint64_t, std::uint64_t) { return pending("cz"); }
Status StateVecPy::swap(std::uint64_t, std::uint64_t) { return pending("swap"); }
Status StateVecPy::h_cpp(std::uint64_t) { return pending("h_cpp"); }
Status StateVecPy::x_cpp(std::uint64_t) { return pending("x_cpp"); }
Status StateVecPy::cx_cpp(std::uint64_t, std::uint64_t) { return pending("cx_cpp"); }

}  // namespace velquin::engine
