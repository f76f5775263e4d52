#include "native/parse.h"

#include <cstring>
#include <string>

#include "base/program_messages.h"
#include "native/types.h"
#include "pyglue/py_ref.h"

namespace velquin::native {
namespace {

using pyglue::PyRef;

CallError type_error(const std::string& text) { return Error{ErrorKind::kTypeError, text}; }
CallError value_error(const std::string& text) { return Error{ErrorKind::kValueError, text}; }

std::string where(std::uint64_t index) { return "operation " + std::to_string(index) + ": "; }

// A buffer held for the life of this object.
class Buffer {
 public:
  Buffer() = default;
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  ~Buffer() {
    if (held_) PyBuffer_Release(&view_);
  }
  // False (with the interpreter's error cleared) when `object` has no C-contiguous buffer.
  bool take(PyObject* object) {
    if (PyObject_GetBuffer(object, &view_, PyBUF_FORMAT | PyBUF_C_CONTIGUOUS) < 0) {
      PyErr_Clear();
      return false;
    }
    held_ = true;
    return true;
  }
  const Py_buffer& view() const { return view_; }
  bool format_is(const char* accepted) const {
    const char* f = view_.format == nullptr ? "B" : view_.format;
    if (*f == '<' || *f == '=' || *f == '@') ++f;
    for (const char* a = accepted; *a != '\0'; a += std::strlen(a) + 1) {
      if (std::strcmp(f, a) == 0) return true;
    }
    return false;
  }

 private:
  Py_buffer view_{};
  bool held_ = false;
};

// Formats, as lists of null-terminated names ending in an empty one.
constexpr char kFloat64[] = "d\0";
constexpr char kComplex128[] = "Zd\0";
constexpr char kUint64[] = "Q\0L\0";

PyResult<std::vector<std::uint64_t>> u64_list(PyObject* object, const std::string& what) {
  std::vector<std::uint64_t> out;
  if (object == Py_None) return out;
  PyRef items = PyRef::steal(PySequence_Fast(object, ""));
  if (!items) return type_error(what + " must be a sequence of integers");
  const Py_ssize_t n = PySequence_Fast_GET_SIZE(items.get());
  out.reserve(static_cast<std::size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    PyObject* item = PySequence_Fast_GET_ITEM(items.get(), i);
    PyRef number = PyRef::steal(PyNumber_Index(item));
    if (!number) {
      PyErr_Clear();
      return type_error(what + " must be a sequence of integers");
    }
    const unsigned long long value = PyLong_AsUnsignedLongLong(number.get());
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
      PyErr_Clear();
      return value_error(what + " must be non-negative integers below 2**64");
    }
    out.push_back(value);
  }
  return out;
}

PyResult<double> as_double(PyObject* object, const std::string& what) {
  const double value = PyFloat_AsDouble(object);
  if (value == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    return type_error(what + " must be a real number");
  }
  return value;
}

}  // namespace

PyResult<program::Expression> parse_expression(PyObject* object, std::uint64_t index) {
  const std::string what = where(index) + "an angle";
  if (!PyTuple_Check(object)) {
    PyResult<double> value = as_double(object, what);
    if (!value.ok()) return std::move(value).error();
    return program::Expression::of(value.value());
  }
  if (PyTuple_GET_SIZE(object) != 2) {
    return type_error(what + " must be a number or (constant, ((parameter, coefficient), ...))");
  }
  program::Expression e;
  PyResult<double> constant = as_double(PyTuple_GET_ITEM(object, 0), what);
  if (!constant.ok()) return std::move(constant).error();
  e.constant = constant.value();
  PyRef terms = PyRef::steal(PySequence_Fast(PyTuple_GET_ITEM(object, 1), ""));
  if (!terms) {
    PyErr_Clear();
    return type_error(what + "'s terms must be a sequence of (parameter, coefficient)");
  }
  for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(terms.get()); ++i) {
    PyObject* term = PySequence_Fast_GET_ITEM(terms.get(), i);
    if (!PyTuple_Check(term) || PyTuple_GET_SIZE(term) != 2) {
      return type_error(what + "'s terms must be (parameter, coefficient) pairs");
    }
    const unsigned long long slot = PyLong_AsUnsignedLongLong(PyTuple_GET_ITEM(term, 0));
    if (slot == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
      PyErr_Clear();
      return type_error(what + " refers to a parameter by a non-negative integer");
    }
    if (slot > 0xffffffffull)
      return value_error(what + " refers to parameter " + std::to_string(slot));
    PyResult<double> coefficient = as_double(PyTuple_GET_ITEM(term, 1), what);
    if (!coefficient.ok()) return std::move(coefficient).error();
    e.terms.emplace_back(static_cast<std::uint32_t>(slot), coefficient.value());
  }
  return e;
}

// The dynamic part of an operation: a dict with any of "clbits", "probabilities",
// "branches" (sequences of operations), "kraus" (complex128 matrices),
// "condition" (postfix tokens (name[, argument])) and "target".
static Status parse_dynamic(PyObject* extra, std::uint64_t index, program::OperationRequest& op) {
  if (!PyDict_Check(extra))
    return Error{ErrorKind::kTypeError, where(index) + "its dynamic part must be a dict"};
  PyObject* key = nullptr;
  PyObject* value = nullptr;
  Py_ssize_t position = 0;
  while (PyDict_Next(extra, &position, &key, &value)) {
    const char* name = PyUnicode_Check(key) ? PyUnicode_AsUTF8(key) : nullptr;
    const std::string field = name == nullptr ? "" : name;
    if (field == "clbits") {
      auto bits = u64_list(value, where(index) + "clbits");
      if (!bits.ok()) return Error{ErrorKind::kTypeError, where(index) + "clbits must be integers"};
      op.clbits = std::move(bits).value();
    } else if (field == "target") {
      auto target = parse_u64(value, "target");
      if (!target.ok())
        return Error{ErrorKind::kTypeError, where(index) + "target must be an integer"};
      op.target = target.value();
    } else if (field == "probabilities") {
      PyRef items = PyRef::steal(PySequence_Fast(value, ""));
      if (!items) {
        PyErr_Clear();
        return Error{ErrorKind::kTypeError,
                     where(index) + "probabilities must be a sequence of numbers"};
      }
      for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
        auto p =
            as_double(PySequence_Fast_GET_ITEM(items.get(), i), where(index) + "a probability");
        if (!p.ok())
          return Error{ErrorKind::kTypeError, where(index) + "a probability must be a real number"};
        op.probabilities.push_back(p.value());
      }
    } else if (field == "branches") {
      PyRef items = PyRef::steal(PySequence_Fast(value, ""));
      if (!items) {
        PyErr_Clear();
        return Error{ErrorKind::kTypeError,
                     where(index) + "branches must be a sequence of operation lists"};
      }
      for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
        auto branch = parse_operations(PySequence_Fast_GET_ITEM(items.get(), i));
        if (!branch.ok()) {
          return Error{ErrorKind::kTypeError, where(index) + "branch " + std::to_string(i) +
                                                  " must be a sequence of operations"};
        }
        op.branches.push_back(std::move(branch).value());
      }
    } else if (field == "kraus") {
      PyRef items = PyRef::steal(PySequence_Fast(value, ""));
      if (!items) {
        PyErr_Clear();
        return Error{ErrorKind::kTypeError, where(index) + "kraus must be a sequence of matrices"};
      }
      for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
        Buffer matrix;
        if (!matrix.take(PySequence_Fast_GET_ITEM(items.get(), i)) ||
            !matrix.format_is(kComplex128)) {
          return Error{ErrorKind::kTypeError,
                       where(index) + "a Kraus operator must be a C-contiguous complex128 array"};
        }
        const auto* first = static_cast<const Complex64*>(matrix.view().buf);
        op.kraus.emplace_back(first, first + matrix.view().len / 16);
      }
    } else if (field == "condition") {
      PyRef items = PyRef::steal(PySequence_Fast(value, ""));
      if (!items) {
        PyErr_Clear();
        return Error{ErrorKind::kTypeError, where(index) + "a condition is a sequence of tokens"};
      }
      std::vector<program::ExpressionToken> tokens;
      for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(items.get()); ++i) {
        PyObject* t = PySequence_Fast_GET_ITEM(items.get(), i);
        PyObject* head = PyTuple_Check(t) && PyTuple_GET_SIZE(t) >= 1 ? PyTuple_GET_ITEM(t, 0) : t;
        const char* token_name = PyUnicode_Check(head) ? PyUnicode_AsUTF8(head) : nullptr;
        program::ExpressionToken token;
        if (token_name == nullptr || !program::Condition::token_of(token_name, token.token)) {
          PyErr_Clear();
          return Error{ErrorKind::kValueError, where(index) + "unknown condition token"};
        }
        if (PyTuple_Check(t) && PyTuple_GET_SIZE(t) >= 2) {
          PyObject* arg = PyTuple_GET_ITEM(t, 1);
          if (token.token == program::Token::kRegister) {
            auto bits = u64_list(arg, where(index) + "a register's bits");
            if (!bits.ok())
              return Error{ErrorKind::kTypeError,
                           where(index) + "a register's bits must be integers"};
            for (std::uint64_t b : bits.value())
              token.bits.push_back(static_cast<std::uint32_t>(b));
          } else {
            auto number = parse_u64(arg, "a token's argument");
            if (!number.ok())
              return Error{ErrorKind::kTypeError,
                           where(index) + "a token's argument must be an integer"};
            token.arg = number.value();
          }
        }
        tokens.push_back(std::move(token));
      }
      op.condition = std::move(tokens);
    } else {
      return Error{ErrorKind::kValueError, where(index) + "unknown dynamic field '" + field + "'"};
    }
  }
  return Status::Ok();
}

PyResult<std::vector<program::OperationRequest>> parse_operations(PyObject* sequence) {
  PyRef items = PyRef::steal(PySequence_Fast(sequence, ""));
  if (!items) {
    PyErr_Clear();
    return type_error("operations must be a sequence of tuples");
  }
  const Py_ssize_t count = PySequence_Fast_GET_SIZE(items.get());
  std::vector<program::OperationRequest> out(static_cast<std::size_t>(count));
  for (Py_ssize_t k = 0; k < count; ++k) {
    const auto index = static_cast<std::uint64_t>(k);
    PyObject* item = PySequence_Fast_GET_ITEM(items.get(), k);
    if (!PyTuple_Check(item) || PyTuple_GET_SIZE(item) < 2 || PyTuple_GET_SIZE(item) > 8) {
      return type_error(where(index) +
                        "must be a tuple (name, qubits[, controls[, control_values[, params[, "
                        "payload[, phase[, dynamic]]]]]])");
    }
    const Py_ssize_t size = PyTuple_GET_SIZE(item);
    auto field = [&](Py_ssize_t i) { return i < size ? PyTuple_GET_ITEM(item, i) : Py_None; };
    program::OperationRequest& op = out[static_cast<std::size_t>(k)];
    const char* name = PyUnicode_Check(field(0)) ? PyUnicode_AsUTF8(field(0)) : nullptr;
    if (name == nullptr) {
      PyErr_Clear();
      return type_error(where(index) + "the name must be a str");
    }
    op.name = name;
    auto qubits = u64_list(field(1), where(index) + "qubits");
    if (!qubits.ok()) return std::move(qubits).error();
    op.qubits = std::move(qubits).value();
    auto controls = u64_list(field(2), where(index) + "controls");
    if (!controls.ok()) return std::move(controls).error();
    op.controls = std::move(controls).value();
    auto values = u64_list(field(3), where(index) + "control values");
    if (!values.ok()) return std::move(values).error();
    op.control_values = std::move(values).value();
    if (field(4) != Py_None) {
      PyRef params = PyRef::steal(PySequence_Fast(field(4), ""));
      if (!params) {
        PyErr_Clear();
        return type_error(where(index) + "params must be a sequence of angles");
      }
      for (Py_ssize_t i = 0; i < PySequence_Fast_GET_SIZE(params.get()); ++i) {
        auto e = parse_expression(PySequence_Fast_GET_ITEM(params.get(), i), index);
        if (!e.ok()) return std::move(e).error();
        op.params.push_back(std::move(e).value());
      }
    }
    PyObject* payload = field(5);
    if (PyUnicode_Check(payload)) {
      const char* word = PyUnicode_AsUTF8(payload);
      if (word == nullptr) return CallError::fetch();
      op.word = word;
    } else if (payload != Py_None) {
      Buffer buffer;
      if (buffer.take(payload) && buffer.format_is(kComplex128)) {
        op.has_matrix = true;
        const Py_buffer& view = buffer.view();
        for (int d = 0; d < view.ndim; ++d)
          op.matrix_shape.push_back(static_cast<std::uint64_t>(view.shape[d]));
        const auto* first = static_cast<const Complex64*>(view.buf);
        op.matrix.assign(first, first + view.len / static_cast<Py_ssize_t>(sizeof(Complex64)));
      } else {
        auto permutation = u64_list(payload, where(index) + "a permutation");
        if (!permutation.ok()) {
          return type_error(where(index) +
                            "the payload must be a C-contiguous complex128 array, a sequence of "
                            "member indices or a Pauli word");
        }
        for (std::uint64_t m : permutation.value())
          op.permutation.push_back(static_cast<std::int64_t>(m));
        if (op.permutation.empty()) op.permutation.push_back(-1);  // an empty one is no permutation
      }
    }
    if (field(6) != Py_None) {
      auto phase = parse_expression(field(6), index);
      if (!phase.ok()) return std::move(phase).error();
      op.phase = std::move(phase).value();
    }
    if (field(7) != Py_None) {
      if (Status ok = parse_dynamic(field(7), index, op); !ok) return std::move(ok).error();
    }
  }
  return out;
}

PyResult<ParameterSets> parse_parameters(PyObject* object, unsigned n_params) {
  ParameterSets sets;
  if (object == Py_None || object == nullptr) {
    if (n_params != 0) {
      return value_error(messages::program::parameter_set_length(n_params, 0));
    }
    return sets;
  }
  Buffer buffer;
  if (!buffer.take(object) || !buffer.format_is(kFloat64) || buffer.view().ndim < 1 ||
      buffer.view().ndim > 2) {
    return type_error("params must be a C-contiguous float64 array of one or two dimensions");
  }
  const Py_buffer& view = buffer.view();
  const auto width = static_cast<std::uint64_t>(view.shape[view.ndim - 1]);
  if (width != n_params)
    return value_error(messages::program::parameter_set_length(n_params, width));
  sets.batched = view.ndim == 2;
  sets.sets = sets.batched ? static_cast<std::uint64_t>(view.shape[0]) : 1;
  const auto* first = static_cast<const double*>(view.buf);
  sets.values.assign(first, first + sets.sets * n_params);
  return sets;
}

PyResult<std::vector<unsigned>> parse_qubits(PyObject* object, unsigned n_qubits) {
  std::vector<unsigned> out;
  if (object == Py_None || object == nullptr) {
    for (unsigned q = 0; q < n_qubits; ++q) out.push_back(q);
    return out;
  }
  auto list = u64_list(object, "qubits");
  if (!list.ok()) return std::move(list).error();
  for (std::uint64_t q : list.value()) {
    if (q >= n_qubits) {
      return value_error("qubit " + std::to_string(q) + " is out of range for " +
                         std::to_string(n_qubits) + " qubits");
    }
    for (unsigned seen : out) {
      if (seen == q) return value_error("qubit " + std::to_string(q) + " appears more than once");
    }
    out.push_back(static_cast<unsigned>(q));
  }
  return out;
}

PyResult<std::vector<program::Observable>> parse_observables(PyObject* sequence,
                                                             unsigned n_qubits) {
  PyRef items = PyRef::steal(PySequence_Fast(sequence, ""));
  if (!items) {
    PyErr_Clear();
    return type_error(
        "observables must be a sequence of (flip, sign, coefficients) or (qubits, matrix)");
  }
  std::vector<program::Observable> out;
  const std::uint64_t outside = n_qubits >= 64 ? 0 : ~((std::uint64_t{1} << n_qubits) - 1);
  for (Py_ssize_t k = 0; k < PySequence_Fast_GET_SIZE(items.get()); ++k) {
    PyObject* item = PySequence_Fast_GET_ITEM(items.get(), k);
    const std::string what = "observable " + std::to_string(k);
    program::Observable observable;
    if (PyTuple_Check(item) && PyTuple_GET_SIZE(item) == 2) {
      auto qubits = parse_qubits(PyTuple_GET_ITEM(item, 0), n_qubits);
      if (!qubits.ok()) return std::move(qubits).error();
      observable.qubits = std::move(qubits).value();
      const std::uint64_t members = std::uint64_t{1} << observable.qubits.size();
      Buffer matrix;
      if (observable.qubits.empty() || observable.qubits.size() > 10 ||
          !matrix.take(PyTuple_GET_ITEM(item, 1)) || !matrix.format_is(kComplex128) ||
          matrix.view().ndim != 2 ||
          static_cast<std::uint64_t>(matrix.view().shape[0]) != members ||
          static_cast<std::uint64_t>(matrix.view().shape[1]) != members) {
        return value_error(what +
                           ": a matrix observable is (qubits, a C-contiguous complex128 "
                           "2^k x 2^k array) on 1 to 10 qubits");
      }
      const auto* first = static_cast<const Complex64*>(matrix.view().buf);
      observable.matrix.assign(first, first + members * members);
      out.push_back(std::move(observable));
      continue;
    }
    if (!PyTuple_Check(item) || PyTuple_GET_SIZE(item) != 3) {
      return type_error(what + " must be a tuple (flip, sign, coefficients) or (qubits, matrix)");
    }
    Buffer flip, sign, coefficients;
    if (!flip.take(PyTuple_GET_ITEM(item, 0)) || !flip.format_is(kUint64) ||
        !sign.take(PyTuple_GET_ITEM(item, 1)) || !sign.format_is(kUint64) ||
        !coefficients.take(PyTuple_GET_ITEM(item, 2)) || !coefficients.format_is(kComplex128)) {
      return type_error(what + ": flip and sign must be uint64 arrays, coefficients complex128");
    }
    const auto terms = static_cast<std::size_t>(flip.view().len / 8);
    if (static_cast<std::size_t>(sign.view().len / 8) != terms ||
        static_cast<std::size_t>(coefficients.view().len / 16) != terms) {
      return value_error(what + ": flip, sign and coefficients must have one entry per term");
    }
    const auto* x = static_cast<const std::uint64_t*>(flip.view().buf);
    const auto* z = static_cast<const std::uint64_t*>(sign.view().buf);
    const auto* c = static_cast<const Complex64*>(coefficients.view().buf);
    for (std::size_t t = 0; t < terms; ++t) {
      if (((x[t] | z[t]) & outside) != 0) {
        return value_error(what + ": term " + std::to_string(t) + " acts on a qubit outside the " +
                           std::to_string(n_qubits) + "-qubit register");
      }
      observable.words.push_back(
          {x[t], z[t], static_cast<unsigned>(__builtin_popcountll(x[t] & z[t]))});
    }
    observable.coefficients.assign(c, c + terms);
    out.push_back(std::move(observable));
  }
  return out;
}

PyResult<RunOptions> parse_options(PyObject* threads, PyObject* cancel) {
  RunOptions options;
  if (threads != nullptr && threads != Py_None) {
    const long count = PyLong_AsLong(threads);
    if (count == -1 && PyErr_Occurred()) {
      PyErr_Clear();
      return type_error("threads must be None or a positive integer");
    }
    if (count < 1 || count > 1024) return value_error("threads must be between 1 and 1024");
    options.policy.threads = static_cast<unsigned>(count);
  }
  if (cancel != nullptr && cancel != Py_None) {
    CancelFlag flag = cancel_flag_of(cancel);
    if (!flag) return type_error("cancel must be None or a _velquin_native.Cancel");
    options.cancel = std::move(flag);
  }
  return options;
}

PyResult<std::uint64_t> parse_u64(PyObject* object, const char* what) {
  PyRef number = PyRef::steal(PyNumber_Index(object));
  if (!number) {
    PyErr_Clear();
    return type_error(std::string(what) + " must be an integer");
  }
  const unsigned long long value = PyLong_AsUnsignedLongLong(number.get());
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    PyErr_Clear();
    return value_error(std::string(what) + " must be a non-negative integer below 2**64");
  }
  return value;
}

}  // namespace velquin::native
