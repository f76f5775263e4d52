// Builds every Python-visible member from its table entry: one template per
// entry kind (fast-call method, no-argument method, read-only attribute,
// constructor). A member is named once with its class, Python name, the
// engine operation it calls, the borrow it takes of `self`, and its parameter
// names; the parameter kinds follow from the operation's C++ signature:
//   std::uint64_t                 index
//   double                        angle
//   std::optional<std::uint64_t>  optional seed (not required)
//   engine::Register&             another register, borrowed exclusively
#pragma once

#include <Python.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "engine/register.h"
#include "lib/arguments.h"
#include "lib/borrow.h"
#include "lib/boundary.h"
#include "lib/fixed_string.h"
#include "lib/instance.h"
#include "lib/results.h"
#include "lib/types.h"

namespace velquin::lib {

// ---- Operation signatures ------------------------------------------------

template <class F>
struct Operation;
template <class R, class C, class... A>
struct Operation<R (C::*)(A...)> {
  using Self = C;
  using Args = std::tuple<A...>;
};
template <class R, class C, class... A>
struct Operation<R (C::*)(A...) const> : Operation<R (C::*)(A...)> {};
template <class R, class C, class... A>
struct Operation<R (C::*)(A...) noexcept> : Operation<R (C::*)(A...)> {};
template <class R, class C, class... A>
struct Operation<R (C::*)(A...) const noexcept> : Operation<R (C::*)(A...)> {};
template <class R, class C, class... A>
struct Operation<R (*)(C&, A...)> : Operation<R (C::*)(A...)> {};
template <class R, class C, class... A>
struct Operation<R (*)(const C&, A...)> : Operation<R (C::*)(A...)> {};

// ---- Argument kinds ------------------------------------------------------

template <class T>
struct ArgumentKind;

template <>
struct ArgumentKind<std::uint64_t> {
  static constexpr bool kRequired = true;
  using Held = std::uint64_t;
  static PyResult<Held> convert(PyObject* object, std::string_view name) {
    return extract_index(object, name);
  }
  static std::uint64_t pass(Held& held) { return held; }
};

template <>
struct ArgumentKind<double> {
  static constexpr bool kRequired = true;
  using Held = double;
  static PyResult<Held> convert(PyObject* object, std::string_view name) {
    return extract_angle(object, name);
  }
  static double pass(Held& held) { return held; }
};

template <>
struct ArgumentKind<std::optional<std::uint64_t>> {
  static constexpr bool kRequired = false;
  using Held = std::optional<std::uint64_t>;
  static PyResult<Held> convert(PyObject* object, std::string_view name) {
    return extract_optional_seed(object, name);
  }
  static Held pass(Held& held) { return held; }
};

/// A register argument: its engine value, borrowed exclusively until the end
/// of the call.
struct HeldRegister {
  engine::Register* value;
  BorrowGuard borrow;
};

template <>
struct ArgumentKind<engine::Register&> {
  static constexpr bool kRequired = true;
  using Held = HeldRegister;
  static PyResult<Held> convert(PyObject* object, std::string_view name);
  static engine::Register& pass(Held& held) { return *held.value; }
};

// ---- Call handling -------------------------------------------------------

/// Parameter list of an operation or factory: the argument descriptor and the
/// conversion of the filled slots.
template <class Args, FixedString kClass, FixedString kName, FixedString... kParams>
struct Parameters {
  static constexpr std::size_t kArity = std::tuple_size_v<Args>;
  static_assert(sizeof...(kParams) == kArity, "one parameter name per operation argument");

  template <std::size_t I>
  using Kind = ArgumentKind<std::tuple_element_t<I, Args>>;

  static constexpr std::array<std::string_view, kArity> kNames{kParams.view()...};
  static constexpr std::size_t kRequired = []<std::size_t... I>(std::index_sequence<I...>) {
    return ((Kind<I>::kRequired ? std::size_t{1} : std::size_t{0}) + ... + std::size_t{0});
  }(std::make_index_sequence<kArity>{});
  static constexpr FunctionDescription kDescription{kClass.view(), kName.view(), kNames, 0,
                                                    kRequired};

  /// Converts the slots in parameter order, stopping at the first failure,
  /// then calls `fn` with the converted arguments. Held values (a borrowed
  /// register) live until `fn` has returned.
  template <class Fn>
  static PyResult<PyRef> convert_and_call(std::span<PyObject*> slots, Fn&& fn) {
    return [&]<std::size_t... I>(std::index_sequence<I...>) -> PyResult<PyRef> {
      std::tuple<std::optional<typename Kind<I>::Held>...> held;
      std::optional<CallError> failure;
      auto convert_one = [&]<std::size_t J>(std::integral_constant<std::size_t, J>) {
        if (failure) return;
        PyResult<typename Kind<J>::Held> value = Kind<J>::convert(slots[J], kNames[J]);
        if (value.ok()) {
          std::get<J>(held).emplace(std::move(value).value());
        } else {
          failure.emplace(std::move(value).error());
        }
      };
      (convert_one(std::integral_constant<std::size_t, I>{}), ...);
      if (failure) return std::move(*failure);
      return std::forward<Fn>(fn)(Kind<I>::pass(*std::get<I>(held))...);
    }(std::make_index_sequence<kArity>{});
  }
};

/// A METH_FASTCALL | METH_KEYWORDS method: match, borrow self, convert, call,
/// convert the result, release the borrows, return or raise.
template <FixedString kClass, FixedString kName, auto kOp, Borrow kBorrow, FixedString... kParams>
PyObject* fastcall_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept {
  using Op = Operation<decltype(kOp)>;
  using P = Parameters<typename Op::Args, kClass, kName, kParams...>;
  return entry(kName.c_str(), [&]() -> PyResult<PyRef> {
    std::array<PyObject*, P::kArity> slots{};
    if (auto error = extract_arguments_fastcall(P::kDescription, args, nargs, kwnames, slots)) {
      return std::move(*error);
    }
    auto* instance = Instance<typename Op::Self>::from(self);
    PyResult<BorrowGuard> borrow = BorrowGuard::take(instance->borrow, kBorrow);
    if (!borrow.ok()) return std::move(borrow).error();
    return P::convert_and_call(slots, [&](auto&&... arguments) {
      return to_python(std::invoke(kOp, instance->value,
                                   std::forward<decltype(arguments)>(arguments)...));
    });
  });
}

/// A METH_NOARGS method (the interpreter itself refuses any argument).
template <FixedString kName, auto kOp, Borrow kBorrow>
PyObject* noargs_method(PyObject* self, PyObject* /*unused*/) noexcept {
  using Self = typename Operation<decltype(kOp)>::Self;
  return entry(kName.c_str(), [&]() -> PyResult<PyRef> {
    auto* instance = Instance<Self>::from(self);
    PyResult<BorrowGuard> borrow = BorrowGuard::take(instance->borrow, kBorrow);
    if (!borrow.ok()) return std::move(borrow).error();
    return to_python(std::invoke(kOp, instance->value));
  });
}

/// A read-only attribute, read under a shared borrow.
template <FixedString kName, auto kOp>
PyObject* getter(PyObject* self, void* /*closure*/) noexcept {
  using Self = typename Operation<decltype(kOp)>::Self;
  return entry(kName.c_str(), [&]() -> PyResult<PyRef> {
    auto* instance = Instance<Self>::from(self);
    PyResult<BorrowGuard> borrow = BorrowGuard::take(instance->borrow, Borrow::kShared);
    if (!borrow.ok()) return std::move(borrow).error();
    return to_python(std::invoke(kOp, instance->value));
  });
}

template <class F>
struct Factory;
template <class T, class... A>
struct Factory<Result<T> (*)(A...)> {
  using Value = T;
  using Args = std::tuple<A...>;
  static Result<T> unify(Result<T> made) { return made; }
};
template <class T, class... A>
struct Factory<T (*)(A...)> {
  using Value = T;
  using Args = std::tuple<A...>;
  static Result<T> unify(T made) { return made; }
};

/// tp_new: match the tuple and dict, convert, build the engine value, and
/// only then allocate the instance (of the class that was called) and move
/// the value into it.
template <FixedString kClass, auto kFactory, FixedString... kParams>
PyObject* constructor(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  using F = Factory<decltype(kFactory)>;
  using P = Parameters<typename F::Args, kClass, "__new__", kParams...>;
  return entry("__new__", [&]() -> PyResult<PyRef> {
    std::array<PyObject*, P::kArity> slots{};
    if (auto error = extract_arguments_tuple_dict(P::kDescription, args, kwargs, slots)) {
      return std::move(*error);
    }
    return P::convert_and_call(slots, [&](auto&&... arguments) -> PyResult<PyRef> {
      Result<typename F::Value> made =
          F::unify(kFactory(std::forward<decltype(arguments)>(arguments)...));
      if (!made.ok()) return std::move(made).error();
      PyObject* object = type->tp_alloc(type, 0);
      if (object == nullptr) return CallError::fetch();  // the value is released here
      Instance<typename F::Value>::construct_in(object, std::move(made).value());
      return PyRef::steal(object);
    });
  });
}

/// tp_dealloc through the boundary.
template <class T>
void deallocate(PyObject* object) noexcept {
  entry_unraisable("__del__", [&] { Instance<T>::dealloc(object); });
}

/// Casts a typed entry point to the generic PyCFunction slot type.
template <class F>
PyCFunction as_cfunction(F* function) noexcept {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

}  // namespace velquin::lib
