#include "lib/method_table.h"

namespace velquin::lib {
namespace {

constexpr char kSeparator[] = "\n--\n\n";

// "(a, b=None)", or "($self, a, b=None)" for a method; parameters from
// `text.required` on default to None.
std::string text_signature(const MemberText& text, bool method) {
  std::string signature = method ? "($self" : "(";
  for (std::size_t i = 0; i < text.param_count(); ++i) {
    if (method || i > 0) signature += ", ";
    signature += text.params[i];
    if (i >= text.required) signature += "=None";
  }
  return signature + ")";
}

}  // namespace

void MethodTable::add(const MemberText& text, PyCFunction function, int flags,
                      bool with_description) {
  std::string& doc =
      docs_.emplace_back(std::string(text.name) + text_signature(text, true) + kSeparator);
  if (with_description) doc += text.description;
  defs_.push_back({text.name.data(), function, flags, doc.c_str()});
}

PyMethodDef* MethodTable::defs() {
  if (defs_.empty() || defs_.back().ml_name != nullptr) {
    defs_.push_back({nullptr, nullptr, 0, nullptr});
  }
  return defs_.data();
}

std::string class_docstring(const MemberText& cls) {
  return std::string(cls.name) + text_signature(cls, false) + kSeparator;
}

}  // namespace velquin::lib
