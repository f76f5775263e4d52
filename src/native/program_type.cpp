// Program: a circuit compiled once (every operation checked before anything
// runs) and run for any number of parameter sets. Every method releases the
// interpreter lock while it simulates.
#include <algorithm>
#include <initializer_list>
#include <memory>
#include <new>
#include <type_traits>

#include "algorithms/adjoint.h"
#include "algorithms/trajectories.h"
#include "base/program_messages.h"
#include "engine/memory_budget.h"
#include "engine/outcome_sampler.h"
#include "engine/reductions.h"
#include "native/parse.h"
#include "native/types.h"
#include "pyglue/boundary.h"
#include "pyglue/numpy_array.h"
#include "random/std_rng.h"

namespace velquin::native {
namespace {

using pyglue::CallError;
using pyglue::PyRef;
using pyglue::PyResult;

struct ProgramObject {
  PyObject_HEAD program::Program* program;  // owned
};

const program::Program& program_of(PyObject* self) {
  return *reinterpret_cast<ProgramObject*>(self)->program;
}

// Runs `work(released)` with the interpreter lock released, then gives the
// result back, or why it was stopped.
template <class Work>
auto released_run(const RunOptions& options, Work&& work)
    -> PyResult<std::remove_cvref_t<decltype(work(std::declval<Released&>()).value())>> {
  Released released(options);
  auto result = work(released);
  if (std::optional<CallError> stop = released.finish()) return std::move(*stop);
  if (!result.ok()) return std::move(result).error();
  return std::move(result).value();
}

// A fresh register for `program`, reused from set to set.
Result<engine::Register> fresh_register(const program::Program& program,
                                        const RunOptions& options) {
  return engine::Register::create(program.n_qubits(), 0, options.policy.threads);
}

// Plays set `params` onto `sv` from its start; false when interrupted.
bool play_set(const program::Program& program, std::span<const double> params,
              program::Binding& binding, engine::Register& sv, const RunOptions& options,
              Released& released) {
  program.bind(params, binding);
  std::span<Complex64> state = sv.mutable_amplitudes();
  std::fill(state.begin(), state.end(), Complex64{0.0, 0.0});
  state[0] = program::Program::start(binding);
  return program.play(binding, state, options.policy, released.interrupt());
}

// A program that measures, resets, draws noise or runs conditionally has no
// one final state: only its shots (and trajectory means) are defined.
std::optional<CallError> refuse_dynamic(const program::Program& program, const char* method) {
  if (!program.dynamic()) return std::nullopt;
  return CallError(
      Error{ErrorKind::kValueError, std::string(method) + messages::program::kDynamicRefused});
}

PyObject* make(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return pyglue::entry("Program()", [&]() -> PyResult<PyRef> {
    static const char* keywords[] = {"n_qubits",     "operations", "n_params",
                                     "global_phase", "n_clbits",   nullptr};
    unsigned long long n_qubits = 0, n_params = 0, n_clbits = 0;
    PyObject* operations = nullptr;
    PyObject* phase = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "KO|KO$K:Program", const_cast<char**>(keywords),
                                     &n_qubits, &operations, &n_params, &phase, &n_clbits)) {
      return CallError::fetch();
    }
    auto requests = parse_operations(operations);
    if (!requests.ok()) return std::move(requests).error();
    std::optional<program::Expression> global;
    if (phase != Py_None) {
      auto e = parse_expression(phase, 0);
      if (!e.ok()) return std::move(e).error();
      global = std::move(e).value();
    }
    Result<program::Program> compiled = program::Program::compile(
        n_qubits, n_params, std::move(requests).value(), std::move(global), n_clbits);
    if (!compiled) return std::move(compiled).error();
    PyRef self = PyRef::steal(type->tp_alloc(type, 0));
    if (!self) return CallError::fetch();
    reinterpret_cast<ProgramObject*>(self.get())->program =
        new program::Program(std::move(compiled).value());
    return self;
  });
}

void dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  delete reinterpret_cast<ProgramObject*>(self)->program;
  type->tp_free(self);
  Py_DECREF(type);
}

// One seed, or one per parameter set for 2-D params.
PyResult<std::vector<std::uint64_t>> parse_seeds(PyObject* seed_object, const ParameterSets& sets) {
  std::vector<std::uint64_t> seeds;
  if (sets.batched) {
    PyRef items = PyRef::steal(PySequence_Fast(seed_object, ""));
    if (!items || static_cast<std::uint64_t>(PySequence_Fast_GET_SIZE(items.get())) != sets.sets) {
      PyErr_Clear();
      return Error{ErrorKind::kValueError, "seed must be a sequence of one seed per parameter set"};
    }
    for (std::uint64_t s = 0; s < sets.sets; ++s) {
      auto seed =
          parse_u64(PySequence_Fast_GET_ITEM(items.get(), static_cast<Py_ssize_t>(s)), "a seed");
      if (!seed.ok()) return std::move(seed).error();
      seeds.push_back(seed.value());
    }
    return seeds;
  }
  auto seed = parse_u64(seed_object, "seed");
  if (!seed.ok()) return std::move(seed).error();
  seeds.push_back(seed.value());
  return seeds;
}

PyResult<RunOptions> options_from(PyObject* threads, PyObject* cancel) {
  return parse_options(threads, cancel);
}

// A new array of `per_set` elements per parameter set, with a leading axis of
// one entry per set when the sets came batched (2-D params).
PyResult<PyRef> set_array(pyglue::ArrayType type, const ParameterSets& sets,
                          std::initializer_list<std::uint64_t> per_set, void** data) {
  std::int64_t dims[4] = {static_cast<std::int64_t>(sets.sets)};
  std::size_t rank = 1;
  for (std::uint64_t d : per_set) dims[rank++] = static_cast<std::int64_t>(d);
  return pyglue::new_array(
      type, sets.batched ? std::span(dims, rank) : std::span(dims + 1, rank - 1), data);
}

// set_array filled with `values`, row after row.
template <class T>
PyResult<PyRef> set_array_of(pyglue::ArrayType type, const ParameterSets& sets,
                             std::initializer_list<std::uint64_t> per_set,
                             const std::vector<T>& values) {
  void* data = nullptr;
  auto array = set_array(type, sets, per_set, &data);
  if (array.ok()) std::copy(values.begin(), values.end(), static_cast<T*>(data));
  return array;
}

// state(params=None, *, threads=None, cancel=None)
PyObject* state(PyObject* self, PyObject* args, PyObject* kwargs) {
  return pyglue::entry("Program.state()", [&]() -> PyResult<PyRef> {
    static const char* keywords[] = {"params", "threads", "cancel", nullptr};
    PyObject *params = Py_None, *threads = Py_None, *cancel = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|O$OO:state", const_cast<char**>(keywords),
                                     &params, &threads, &cancel)) {
      return CallError::fetch();
    }
    const program::Program& program = program_of(self);
    if (auto refused = refuse_dynamic(program, "state()")) return std::move(*refused);
    auto sets = parse_parameters(params, program.n_params());
    if (!sets.ok()) return std::move(sets).error();
    if (sets.value().batched)
      return Error{ErrorKind::kValueError, "state() takes one parameter set"};
    auto options = options_from(threads, cancel);
    if (!options.ok()) return std::move(options).error();
    auto sv = released_run(options.value(), [&](Released& released) {
      return program.run(sets.value().row(0, program.n_params()), options.value().policy,
                         released.interrupt());
    });
    if (!sv.ok()) return std::move(sv).error();
    return pyglue::adopt_into_numpy(std::move(sv).value().take_amplitudes());
  });
}

// probabilities(params=None, qubits=None, *, threads=None, cancel=None)
PyObject* probabilities(PyObject* self, PyObject* args, PyObject* kwargs) {
  return pyglue::entry("Program.probabilities()", [&]() -> PyResult<PyRef> {
    static const char* keywords[] = {"params", "qubits", "threads", "cancel", nullptr};
    PyObject *params = Py_None, *qubits = Py_None, *threads = Py_None, *cancel = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OO$OO:probabilities",
                                     const_cast<char**>(keywords), &params, &qubits, &threads,
                                     &cancel)) {
      return CallError::fetch();
    }
    const program::Program& program = program_of(self);
    if (auto refused = refuse_dynamic(program, "probabilities()")) return std::move(*refused);
    auto sets = parse_parameters(params, program.n_params());
    if (!sets.ok()) return std::move(sets).error();
    auto chosen = parse_qubits(qubits, program.n_qubits());
    if (!chosen.ok()) return std::move(chosen).error();
    auto options = options_from(threads, cancel);
    if (!options.ok()) return std::move(options).error();
    const std::uint64_t bins = std::uint64_t{1} << chosen.value().size();
    const std::uint64_t count = sets.value().sets;
    auto values =
        released_run(options.value(), [&](Released& released) -> Result<std::vector<double>> {
          Result<engine::Register> sv = fresh_register(program, options.value());
          if (!sv) return std::move(sv).error();
          program::Binding binding;
          std::vector<double> out;
          out.reserve(count * bins);
          for (std::uint64_t s = 0; s < count; ++s) {
            if (!play_set(program, sets.value().row(s, program.n_params()), binding, sv.value(),
                          options.value(), released)) {
              return engine::interrupted();
            }
            const std::vector<double> p = engine::probabilities(
                sv.value().amplitudes(), chosen.value(), options.value().policy);
            out.insert(out.end(), p.begin(), p.end());
          }
          return out;
        });
    if (!values.ok()) return std::move(values).error();
    return set_array_of(pyglue::ArrayType::kFloat64, sets.value(), {bins}, values.value());
  });
}

// sample(params=None, shots=0, seed=0, *, threads=None, cancel=None): per-shot basis indices.
PyObject* sample(PyObject* self, PyObject* args, PyObject* kwargs) {
  return pyglue::entry("Program.sample()", [&]() -> PyResult<PyRef> {
    static const char* keywords[] = {"params", "shots", "seed", "threads", "cancel", nullptr};
    PyObject *params = Py_None, *shots_object = nullptr, *seed_object = nullptr;
    PyObject *threads = Py_None, *cancel = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOO|$OO:sample", const_cast<char**>(keywords),
                                     &params, &shots_object, &seed_object, &threads, &cancel)) {
      return CallError::fetch();
    }
    const program::Program& program = program_of(self);
    if (auto refused = refuse_dynamic(program, "sample()")) return std::move(*refused);
    auto sets = parse_parameters(params, program.n_params());
    if (!sets.ok()) return std::move(sets).error();
    auto shots = parse_u64(shots_object, "shots");
    if (!shots.ok()) return std::move(shots).error();
    const std::uint64_t count = sets.value().sets;
    auto parsed_seeds = parse_seeds(seed_object, sets.value());
    if (!parsed_seeds.ok()) return std::move(parsed_seeds).error();
    const std::vector<std::uint64_t>& seeds = parsed_seeds.value();
    auto options = options_from(threads, cancel);
    if (!options.ok()) return std::move(options).error();
    // Every set's outcomes are written straight into the result.
    if (count != 0 && shots.value() > (std::uint64_t{1} << 60) / count) {
      return Error{ErrorKind::kMemoryError,
                   messages::allocation_failed(~std::uint64_t{0}, messages::kForShotOutcomes)};
    }
    if (Status room =
            engine::check_allocation(count * shots.value() * 8, messages::kForShotOutcomes);
        !room) {
      return std::move(room).error();
    }
    void* data = nullptr;
    auto array = set_array(pyglue::ArrayType::kUint64, sets.value(), {shots.value()}, &data);
    if (!array.ok()) return array;
    auto* out = static_cast<std::uint64_t*>(data);
    auto done = released_run(options.value(), [&](Released& released) -> Result<bool> {
      Result<engine::Register> sv = fresh_register(program, options.value());
      if (!sv) return std::move(sv).error();
      program::Binding binding;
      for (std::uint64_t s = 0; s < count; ++s) {
        if (!play_set(program, sets.value().row(s, program.n_params()), binding, sv.value(),
                      options.value(), released)) {
          return engine::interrupted();
        }
        random::StdRng rng = random::StdRng::seed_from_u64(seeds[s]);
        Result<std::vector<std::uint64_t>> outcomes =
            engine::sample_shots(sv.value().amplitudes(), rng, shots.value(), engine::kSampleChunk,
                                 released.interrupt());
        if (!outcomes) return std::move(outcomes).error();
        std::copy(outcomes.value().begin(), outcomes.value().end(), out + s * shots.value());
      }
      return true;
    });
    if (!done.ok()) return std::move(done).error();
    return array;
  });
}

// expectations(params, observables, *, threads=None, cancel=None): sum_t c_t <P_t>.
PyObject* expectations(PyObject* self, PyObject* args, PyObject* kwargs) {
  return pyglue::entry("Program.expectations()", [&]() -> PyResult<PyRef> {
    static const char* keywords[] = {"params", "observables", "threads", "cancel", nullptr};
    PyObject *params = Py_None, *observables_object = nullptr, *threads = Py_None,
             *cancel = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO|$OO:expectations",
                                     const_cast<char**>(keywords), &params, &observables_object,
                                     &threads, &cancel)) {
      return CallError::fetch();
    }
    const program::Program& program = program_of(self);
    if (auto refused = refuse_dynamic(program, "expectations()")) return std::move(*refused);
    auto sets = parse_parameters(params, program.n_params());
    if (!sets.ok()) return std::move(sets).error();
    auto observables = parse_observables(observables_object, program.n_qubits());
    if (!observables.ok()) return std::move(observables).error();
    auto options = options_from(threads, cancel);
    if (!options.ok()) return std::move(options).error();
    const std::uint64_t count = sets.value().sets;
    const std::uint64_t width = observables.value().size();
    auto values =
        released_run(options.value(), [&](Released& released) -> Result<std::vector<Complex64>> {
          Result<engine::Register> sv = fresh_register(program, options.value());
          if (!sv) return std::move(sv).error();
          program::Binding binding;
          std::vector<Complex64> out;
          out.reserve(count * width);
          for (std::uint64_t s = 0; s < count; ++s) {
            if (!play_set(program, sets.value().row(s, program.n_params()), binding, sv.value(),
                          options.value(), released)) {
              return engine::interrupted();
            }
            for (const program::Observable& observable : observables.value()) {
              out.push_back(program::expectation(sv.value().amplitudes(), observable,
                                                 options.value().policy));
            }
          }
          return out;
        });
    if (!values.ok()) return std::move(values).error();
    return set_array_of(pyglue::ArrayType::kComplex128, sets.value(), {width}, values.value());
  });
}

// gradient(params, observables, *, threads=None, cancel=None): (values, jacobian).
PyObject* gradient(PyObject* self, PyObject* args, PyObject* kwargs) {
  return pyglue::entry("Program.gradient()", [&]() -> PyResult<PyRef> {
    static const char* keywords[] = {"params", "observables", "threads", "cancel", nullptr};
    PyObject *params = Py_None, *observables_object = nullptr, *threads = Py_None,
             *cancel = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO|$OO:gradient", const_cast<char**>(keywords),
                                     &params, &observables_object, &threads, &cancel)) {
      return CallError::fetch();
    }
    const program::Program& program = program_of(self);
    if (auto refused = refuse_dynamic(program, "gradient()")) return std::move(*refused);
    auto sets = parse_parameters(params, program.n_params());
    if (!sets.ok()) return std::move(sets).error();
    auto observables = parse_observables(observables_object, program.n_qubits());
    if (!observables.ok()) return std::move(observables).error();
    auto options = options_from(threads, cancel);
    if (!options.ok()) return std::move(options).error();
    const std::uint64_t count = sets.value().sets;
    const std::uint64_t width = observables.value().size();
    const std::uint64_t n_params = program.n_params();
    auto results = released_run(
        options.value(), [&](Released& released) -> Result<std::vector<algorithms::Gradient>> {
          std::vector<algorithms::Gradient> out;
          for (std::uint64_t s = 0; s < count; ++s) {
            Result<algorithms::Gradient> g = algorithms::adjoint_gradient(
                program, sets.value().row(s, program.n_params()), observables.value(),
                options.value().policy, released.interrupt());
            if (!g) return std::move(g).error();
            out.push_back(std::move(g).value());
          }
          return out;
        });
    if (!results.ok()) return std::move(results).error();
    void* value_data = nullptr;
    void* jacobian_data = nullptr;
    auto values = set_array(pyglue::ArrayType::kFloat64, sets.value(), {width}, &value_data);
    if (!values.ok()) return values;
    auto jacobian =
        set_array(pyglue::ArrayType::kFloat64, sets.value(), {width, n_params}, &jacobian_data);
    if (!jacobian.ok()) return jacobian;
    for (std::uint64_t s = 0; s < count; ++s) {
      const algorithms::Gradient& g = results.value()[s];
      std::copy(g.values.begin(), g.values.end(), static_cast<double*>(value_data) + s * width);
      std::copy(g.jacobian.begin(), g.jacobian.end(),
                static_cast<double*>(jacobian_data) + s * width * n_params);
    }
    PyRef pair = PyRef::steal(PyTuple_Pack(2, values.value().get(), jacobian.value().get()));
    if (!pair) return CallError::fetch();
    return pair;
  });
}

// run_shots(params, shots, seed, *, threads=None, cancel=None): every shot's classical bits.
PyObject* run_shots(PyObject* self, PyObject* args, PyObject* kwargs) {
  return pyglue::entry("Program.run_shots()", [&]() -> PyResult<PyRef> {
    static const char* keywords[] = {"params", "shots", "seed", "threads", "cancel", nullptr};
    PyObject *params = Py_None, *shots_object = nullptr, *seed_object = nullptr;
    PyObject *threads = Py_None, *cancel = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOO|$OO:run_shots",
                                     const_cast<char**>(keywords), &params, &shots_object,
                                     &seed_object, &threads, &cancel)) {
      return CallError::fetch();
    }
    const program::Program& program = program_of(self);
    auto sets = parse_parameters(params, program.n_params());
    if (!sets.ok()) return std::move(sets).error();
    auto shots = parse_u64(shots_object, "shots");
    if (!shots.ok()) return std::move(shots).error();
    auto seeds = parse_seeds(seed_object, sets.value());
    if (!seeds.ok()) return std::move(seeds).error();
    auto options = options_from(threads, cancel);
    if (!options.ok()) return std::move(options).error();
    const std::uint64_t count = sets.value().sets, width = program.n_clbits();
    auto bits =
        released_run(options.value(), [&](Released& released) -> Result<std::vector<std::uint8_t>> {
          std::vector<std::uint8_t> out;
          for (std::uint64_t s = 0; s < count; ++s) {
            Result<std::vector<std::uint8_t>> one = algorithms::run_shots(
                program, sets.value().row(s, program.n_params()), shots.value(), seeds.value()[s],
                options.value().policy, released.interrupt());
            if (!one) return std::move(one).error();
            out.insert(out.end(), one.value().begin(), one.value().end());
          }
          return out;
        });
    if (!bits.ok()) return std::move(bits).error();
    return set_array_of(pyglue::ArrayType::kUint8, sets.value(), {shots.value(), width},
                        bits.value());
  });
}

// trajectory_means(params, shots, seed, observables, *, threads=None, cancel=None).
PyObject* trajectory_means(PyObject* self, PyObject* args, PyObject* kwargs) {
  return pyglue::entry("Program.trajectory_means()", [&]() -> PyResult<PyRef> {
    static const char* keywords[] = {"params",  "shots",  "seed", "observables",
                                     "threads", "cancel", nullptr};
    PyObject *params = Py_None, *shots_object = nullptr, *seed_object = nullptr;
    PyObject *observables_object = nullptr, *threads = Py_None, *cancel = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOOO|$OO:trajectory_means",
                                     const_cast<char**>(keywords), &params, &shots_object,
                                     &seed_object, &observables_object, &threads, &cancel)) {
      return CallError::fetch();
    }
    const program::Program& program = program_of(self);
    auto sets = parse_parameters(params, program.n_params());
    if (!sets.ok()) return std::move(sets).error();
    auto shots = parse_u64(shots_object, "shots");
    if (!shots.ok()) return std::move(shots).error();
    auto seeds = parse_seeds(seed_object, sets.value());
    if (!seeds.ok()) return std::move(seeds).error();
    auto observables = parse_observables(observables_object, program.n_qubits());
    if (!observables.ok()) return std::move(observables).error();
    auto options = options_from(threads, cancel);
    if (!options.ok()) return std::move(options).error();
    const std::uint64_t count = sets.value().sets, width = observables.value().size();
    auto means =
        released_run(options.value(), [&](Released& released) -> Result<std::vector<double>> {
          std::vector<double> out;
          for (std::uint64_t s = 0; s < count; ++s) {
            Result<std::vector<double>> one = algorithms::trajectory_means(
                program, sets.value().row(s, program.n_params()), shots.value(), seeds.value()[s],
                observables.value(), options.value().policy, released.interrupt());
            if (!one) return std::move(one).error();
            out.insert(out.end(), one.value().begin(), one.value().end());
          }
          return out;
        });
    if (!means.ok()) return std::move(means).error();
    return set_array_of(pyglue::ArrayType::kFloat64, sets.value(), {width}, means.value());
  });
}

PyObject* n_qubits(PyObject* self, void*) {
  return PyLong_FromUnsignedLong(program_of(self).n_qubits());
}
PyObject* n_clbits(PyObject* self, void*) {
  return PyLong_FromUnsignedLongLong(program_of(self).n_clbits());
}
PyObject* dynamic(PyObject* self, void*) { return PyBool_FromLong(program_of(self).dynamic()); }
PyObject* n_params(PyObject* self, void*) {
  return PyLong_FromUnsignedLong(program_of(self).n_params());
}
Py_ssize_t length(PyObject* self) { return static_cast<Py_ssize_t>(program_of(self).size()); }

#define VELQUIN_METHOD(name, doc)                                                \
  {                                                                              \
#name, reinterpret_cast < PyCFunction>(reinterpret_cast <void (*)()>(name)), \
        METH_VARARGS | METH_KEYWORDS, doc                                        \
  }

PyMethodDef methods[] = {
    VELQUIN_METHOD(state,
                   "state($self, /, params=None, *, threads=None, cancel=None)\n--\n\n"
                   "The final state for one parameter set: a complex128 array of "
                   "2**n_qubits amplitudes (index bit q is qubit q), global phase "
                   "included, never copied."),
    VELQUIN_METHOD(probabilities,
                   "probabilities($self, /, params=None, qubits=None, *, threads=None, "
                   "cancel=None)\n--\n\nFor each outcome b of `qubits` (bit i of b is "
                   "qubits[i]; all qubits when None), the sum of the weights of the amplitudes "
                   "with those values; a leading axis per parameter set for 2-D params."),
    VELQUIN_METHOD(sample,
                   "sample($self, /, params, shots, seed, *, threads=None, cancel=None)\n--\n\n"
                   "Per-shot basis indices (uint64), drawn as velquin's measure_counts "
                   "draws them from a generator seeded with `seed` (one seed per row "
                   "for 2-D params)."),
    VELQUIN_METHOD(expectations,
                   "expectations($self, /, params, observables, *, threads=None, cancel=None)\n"
                   "--\n\nFor each observable (flip, sign, coefficients): the sum over its "
                   "terms, in order, of coefficient times <P>; complex128, a leading axis per "
                   "parameter set for 2-D params."),
    VELQUIN_METHOD(run_shots,
                   "run_shots($self, /, params, shots, seed, *, threads=None, cancel=None)\n--\n\n"
                   "Every shot's classical bits (uint8, shots x n_clbits; a leading axis per "
                   "parameter set for 2-D params, one seed each) for programs that measure, reset, "
                   "draw noise or run conditionally: each shot a seeded trajectory (shot i on "
                   "stream i of the seed's generator), shots sharing their state until their "
                   "outcomes differ."),
    VELQUIN_METHOD(trajectory_means,
                   "trajectory_means($self, /, params, shots, seed, observables, *, threads=None, "
                   "cancel=None)\n--\n\nEach observable's mean over `shots` trajectories of its "
                   "value in the trajectory's final state (float64)."),
    VELQUIN_METHOD(gradient,
                   "gradient($self, /, params, observables, *, threads=None, cancel=None)\n"
                   "--\n\nThe adjoint method: (values, jacobian), each observable's value and "
                   "its derivative in every parameter (float64; Hermitian observables), a "
                   "leading axis per parameter set for 2-D params. One forward pass and one "
                   "backward sweep per set, m + 2 states for m observables."),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef getset[] = {
    {"n_qubits", n_qubits, nullptr, "The register size.", nullptr},
    {"n_params", n_params, nullptr, "Values in one parameter set.", nullptr},
    {"n_clbits", n_clbits, nullptr, "Classical bits its shots record.", nullptr},
    {"dynamic", dynamic, nullptr,
     "Whether it measures, resets, draws noise or runs anything conditionally.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_new, reinterpret_cast<void*>(make)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
    {Py_tp_methods, methods},
    {Py_tp_getset, getset},
    {Py_sq_length, reinterpret_cast<void*>(length)},
    {Py_tp_doc,
     const_cast<char*>(
         "Program(n_qubits, operations, n_params=0, global_phase=None, *, n_clbits=0)\n--\n\n"
         "A circuit compiled once: every operation is checked before anything runs "
         "(ValueError naming the first faulty one), then run for any parameter set.")},
    {0, nullptr},
};

PyType_Spec spec = {"_velquin_native.Program", sizeof(ProgramObject), 0, Py_TPFLAGS_DEFAULT, slots};
PyTypeObject* program_type = nullptr;

}  // namespace

pyglue::PyResult<PyObject*> program_class(PyObject* module) {
  if (program_type == nullptr) {
    program_type =
        reinterpret_cast<PyTypeObject*>(PyType_FromModuleAndSpec(module, &spec, nullptr));
    if (program_type == nullptr) return CallError::fetch();
  }
  return reinterpret_cast<PyObject*>(program_type);
}

}  // namespace velquin::native
