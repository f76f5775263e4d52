// BorrowFlag: one word per instance that records who is using its engine
// value during a call. 0: free; k: k shared borrows; all ones: one exclusive
// borrow. Changed only under the interpreter lock, so a conflict can only come
// from re-entry (an argument's __index__ calling back into the same object).
#pragma once

#include <cstdint>
#include <utility>

#include "base/messages.h"
#include "lib/glue.h"

namespace velquin::lib {

using BorrowFlag = std::uintptr_t;
inline constexpr BorrowFlag kExclusivelyBorrowed = ~BorrowFlag{0};

enum class Borrow { kShared, kExclusive };

/// Holds one borrow and gives it back when destroyed.
class BorrowGuard {
 public:
  BorrowGuard(const BorrowGuard&) = delete;
  BorrowGuard& operator=(const BorrowGuard&) = delete;
  BorrowGuard(BorrowGuard&& other) noexcept
      : flag_(std::exchange(other.flag_, nullptr)), kind_(other.kind_) {}
  BorrowGuard& operator=(BorrowGuard&&) = delete;
  ~BorrowGuard() {
    if (flag_ == nullptr) return;
    if (kind_ == Borrow::kShared) {
      --*flag_;
    } else {
      *flag_ = 0;
    }
  }

  /// Shared: refused with RuntimeError "Already mutably borrowed" while an
  /// exclusive borrow is active. Exclusive: refused with "Already borrowed"
  /// while any borrow is active.
  static PyResult<BorrowGuard> take(BorrowFlag& flag, Borrow kind) {
    if (kind == Borrow::kShared) {
      if (flag == kExclusivelyBorrowed) {
        return Error{ErrorKind::kRuntimeError, messages::kAlreadyMutablyBorrowed};
      }
      ++flag;
    } else {
      if (flag != 0) return Error{ErrorKind::kRuntimeError, messages::kAlreadyBorrowed};
      flag = kExclusivelyBorrowed;
    }
    return BorrowGuard(&flag, kind);
  }

 private:
  BorrowGuard(BorrowFlag* flag, Borrow kind) noexcept : flag_(flag), kind_(kind) {}
  BorrowFlag* flag_;
  Borrow kind_;
};

}  // namespace velquin::lib
