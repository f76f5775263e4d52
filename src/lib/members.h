// Builds every Python-visible member: one template per entry kind (fast-call
// method, no-argument method, read-only attribute, constructor). A member is
// given by its FunctionDescription (made from its texts in src/base), the
// engine operation it calls and the borrow it takes of `self`; the kinds of
// its parameters follow from the operation's C++ signature:
//   std::uint64_t                 index
//   double                        angle
//   std::optional<std::uint64_t>  optional seed (not required)
//   engine::Register&             another register, borrowed exclusively
// and two kinds the call supplies itself, not Python (call_context.h):
//   const engine::ExecPolicy&     the call's execution policy
//   engine::InterruptCheck        the call's interrupt check
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
#include <variant>

#include "base/member_text.h"
#include "engine/register.h"
#include "lib/arguments.h"
#include "lib/borrow.h"
#include "lib/call_context.h"
#include "lib/glue.h"
#include "lib/instance.h"
#include "lib/method_table.h"
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
  static constexpr bool kFromPython = true;
  using Held = std::uint64_t;
  static PyResult<Held> convert(PyObject* object, std::string_view name) {
    return extract_index(object, name);
  }
  static std::uint64_t pass(Held& held) { return held; }
};

template <>
struct ArgumentKind<double> {
  static constexpr bool kFromPython = true;
  using Held = double;
  static PyResult<Held> convert(PyObject* object, std::string_view name) {
    return extract_angle(object, name);
  }
  static double pass(Held& held) { return held; }
};

template <>
struct ArgumentKind<std::optional<std::uint64_t>> {
  static constexpr bool kFromPython = true;
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
  static constexpr bool kFromPython = true;
  using Held = HeldRegister;
  static PyResult<Held> convert(PyObject* object, std::string_view name);
  static engine::Register& pass(Held& held) { return *held.value; }
};

template <>
struct ArgumentKind<const engine::ExecPolicy&> {
  static constexpr bool kFromPython = false;
  using Held = std::monostate;
  static const engine::ExecPolicy& supply(CallContext& context) { return context.policy(); }
};

template <>
struct ArgumentKind<engine::InterruptCheck> {
  static constexpr bool kFromPython = false;
  using Held = std::monostate;
  static engine::InterruptCheck supply(CallContext& context) { return context.interrupt(); }
};

// ---- Call handling -------------------------------------------------------

/// An operation's arguments: which come from Python (in parameter order) and
/// which the call supplies, and the conversion of the filled slots.
template <class Args>
struct Parameters {
  static constexpr std::size_t kArity = std::tuple_size_v<Args>;
  using Indices = std::make_index_sequence<kArity>;

  template <std::size_t I>
  using Kind = ArgumentKind<std::tuple_element_t<I, Args>>;

  /// How many of the first `count` arguments come from Python.
  template <std::size_t... I>
  static constexpr std::size_t python_before(std::size_t count, std::index_sequence<I...>) {
    return ((I < count && Kind<I>::kFromPython ? std::size_t{1} : std::size_t{0}) + ... +
            std::size_t{0});
  }
  static constexpr std::size_t kPythonArity = python_before(kArity, Indices{});

  /// Converts the Python arguments in parameter order, stopping at the first
  /// failure, then calls `fn` with every argument. Held values (a borrowed
  /// register) live until `fn` has returned.
  template <class Fn>
  static PyResult<PyRef> convert_and_call(std::span<PyObject*> slots,
                                          const FunctionDescription& call, CallContext& context,
                                          Fn&& fn) {
    return convert_and_call(slots, call, context, std::forward<Fn>(fn), Indices{});
  }

 private:
  template <class Fn, std::size_t... I>
  static PyResult<PyRef> convert_and_call(std::span<PyObject*> slots,
                                          const FunctionDescription& call, CallContext& context,
                                          Fn&& fn, std::index_sequence<I...>) {
    std::tuple<std::optional<typename Kind<I>::Held>...> held;
    std::optional<CallError> failure;
    (void)slots, (void)call;  // unused when the operation takes no arguments
    (convert<I>(slots, call, std::get<I>(held), failure), ...);
    if (failure) return std::move(*failure);
    return std::forward<Fn>(fn)(argument<I>(std::get<I>(held), context)...);
  }

  template <std::size_t I, class Held>
  [[gnu::always_inline]] static void convert(std::span<PyObject*> slots,
                                             const FunctionDescription& call, Held& held,
                                             std::optional<CallError>& failure) {
    if constexpr (Kind<I>::kFromPython) {
      if (failure) return;
      constexpr std::size_t kSlot = python_before(I, Indices{});
      auto value = Kind<I>::convert(slots[kSlot], call.positional_parameter_names[kSlot]);
      if (value.ok()) {
        held.emplace(std::move(value).value());
      } else {
        failure.emplace(std::move(value).error());
      }
    }
  }

  template <std::size_t I, class Held>
  static decltype(auto) argument(Held& held, CallContext& context) {
    if constexpr (Kind<I>::kFromPython) {
      return Kind<I>::pass(*held);
    } else {
      return Kind<I>::supply(context);
    }
  }
};

/// The argument descriptor of a method of class `cls` with the texts `text`.
constexpr FunctionDescription describe(std::string_view cls, const MemberText& text) {
  return {cls, text.name, {text.params.data(), text.param_count()}, 0, text.required};
}

/// The argument descriptor of a class's constructor.
constexpr FunctionDescription describe_constructor(const MemberText& cls) {
  return {cls.name, text::kConstructor, {cls.params.data(), cls.param_count()}, 0, cls.required};
}

/// The descriptors the member templates take, one constant per member:
/// member `kText` of class `kClass`, and the class's constructor.
template <const MemberText& kClass, const MemberText& kText>
inline constexpr FunctionDescription kMethodCall = describe(kClass.name, kText);
template <const MemberText& kClass>
inline constexpr FunctionDescription kConstructorCall = describe_constructor(kClass);

/// Borrows `self`, converts the filled slots, calls `kOp` and converts its
/// result; the borrows end when this returns.
template <auto kOp, Borrow kBorrow>
PyResult<PyRef> call_operation(PyObject* self, std::span<PyObject*> slots,
                               const FunctionDescription& call) {
  using Op = Operation<decltype(kOp)>;
  auto* instance = Instance<typename Op::Self>::from(self);
  PyResult<BorrowGuard> borrow = BorrowGuard::take(instance->borrow, kBorrow);
  if (!borrow.ok()) return std::move(borrow).error();
  CallContext context;
  return Parameters<typename Op::Args>::convert_and_call(
      slots, call, context, [&](auto&&... arguments) {
        return context.finish(
            std::invoke(kOp, instance->value, std::forward<decltype(arguments)>(arguments)...));
      });
}

/// A METH_FASTCALL | METH_KEYWORDS method: match, borrow self, convert, call,
/// convert the result, release the borrows, return or raise.
template <const FunctionDescription& kCall, auto kOp, Borrow kBorrow>
PyObject* fastcall_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept {
  using P = Parameters<typename Operation<decltype(kOp)>::Args>;
  static_assert(P::kPythonArity == kCall.positional_parameter_names.size(),
                "one parameter name per argument from Python");
  return entry(kCall.func_name.data(), [&]() -> PyResult<PyRef> {
    std::array<PyObject*, P::kPythonArity> slots{};
    if (auto error = extract_arguments_fastcall(kCall, args, nargs, kwnames, slots)) {
      return std::move(*error);
    }
    return call_operation<kOp, kBorrow>(self, slots, kCall);
  });
}

/// A METH_NOARGS method (the interpreter itself refuses any argument).
template <const FunctionDescription& kCall, auto kOp, Borrow kBorrow>
PyObject* noargs_method(PyObject* self, PyObject* /*unused*/) noexcept {
  static_assert(Parameters<typename Operation<decltype(kOp)>::Args>::kPythonArity == 0);
  return entry(kCall.func_name.data(),
               [&]() -> PyResult<PyRef> { return call_operation<kOp, kBorrow>(self, {}, kCall); });
}

/// A read-only attribute, read under a shared borrow.
template <const FunctionDescription& kCall, auto kOp>
PyObject* getter(PyObject* self, void* /*closure*/) noexcept {
  return entry(kCall.func_name.data(), [&]() -> PyResult<PyRef> {
    return call_operation<kOp, Borrow::kShared>(self, {}, kCall);
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
template <const FunctionDescription& kCall, auto kFactory>
PyObject* constructor(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  using F = Factory<decltype(kFactory)>;
  using P = Parameters<typename F::Args>;
  return entry(kCall.func_name.data(), [&]() -> PyResult<PyRef> {
    std::array<PyObject*, P::kPythonArity> slots{};
    if (auto error = extract_arguments_tuple_dict(kCall, args, kwargs, slots)) {
      return std::move(*error);
    }
    CallContext context;
    return P::convert_and_call(slots, kCall, context, [&](auto&&... arguments) -> PyResult<PyRef> {
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
  entry_unraisable(text::kDeallocation, [&] { Instance<T>::dealloc(object); });
}

/// Casts a typed entry point to the generic PyCFunction slot type.
template <class F>
PyCFunction as_cfunction(F* function) noexcept {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

/// Adds member `kText` of class `kClass` to `table`: a fast-call method, or a
/// method without arguments, that calls kOp under a kBorrow borrow of self.
template <const MemberText& kClass, const MemberText& kText, auto kOp, Borrow kBorrow>
void add_fastcall(MethodTable& table) {
  table.add(kText, as_cfunction(&fastcall_method<kMethodCall<kClass, kText>, kOp, kBorrow>),
            METH_FASTCALL | METH_KEYWORDS);
}
template <const MemberText& kClass, const MemberText& kText, auto kOp, Borrow kBorrow>
void add_noargs(MethodTable& table) {
  table.add(kText, as_cfunction(&noargs_method<kMethodCall<kClass, kText>, kOp, kBorrow>),
            METH_NOARGS);
}

/// The class `kClass` holding engine values T, made by kFactory, created on
/// first use with these member tables and kept until the process ends.
template <const MemberText& kClass, class T, auto kFactory>
PyResult<PyObject*> class_once(const char* type_name, PyMethodDef* methods,
                               PyGetSetDef* attributes = nullptr) {
  static PyObject* created = nullptr;  // never freed
  return create_class_once(
      {kClass, type_name, static_cast<int>(sizeof(Instance<T>)),
       reinterpret_cast<void*>(&constructor<kConstructorCall<kClass>, kFactory>),
       reinterpret_cast<void*>(&deallocate<T>), methods, attributes},
      created);
}

}  // namespace velquin::lib
