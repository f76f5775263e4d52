#include "lib/method_table.h"

namespace velquin::lib {

void MethodTable::add(const MemberText& text, PyCFunction function, int flags,
                      bool with_description) {
  const std::string& doc = docs_.emplace_back(stored_docstring(text, true, with_description));
  defs_.push_back({text.name.data(), function, flags, doc.c_str()});
}

PyMethodDef* MethodTable::defs() {
  if (defs_.empty() || defs_.back().ml_name != nullptr) {
    defs_.push_back({nullptr, nullptr, 0, nullptr});
  }
  return defs_.data();
}

}  // namespace velquin::lib
