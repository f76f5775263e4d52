// The classes' method tables, built once when a class is made, from the
// members' texts (src/base/member_text.h composes each stored docstring).
#pragma once

#include <Python.h>

#include <deque>
#include <string>
#include <vector>

#include "base/member_text.h"

namespace velquin::lib {

class MethodTable {
 public:
  /// Appends a method under `text.name`; its stored docstring carries the
  /// description unless `with_description` is false.
  void add(const MemberText& text, PyCFunction function, int flags, bool with_description = true);

  /// The table, closed by its sentinel. Valid as long as this object, which
  /// the classes keep until the process ends.
  PyMethodDef* defs();

 private:
  std::vector<PyMethodDef> defs_;
  std::deque<std::string> docs_;  // the composed docstrings; a deque keeps their addresses
};

}  // namespace velquin::lib
