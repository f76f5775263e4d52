#include "base/member_text.h"

namespace velquin {

std::string stored_docstring(const MemberText& text, bool method, bool with_description) {
  std::string doc(text.name);
  doc += method ? "($self" : "(";
  for (std::size_t i = 0; i < text.param_count(); ++i) {
    if (method || i > 0) doc += ", ";
    doc += text.params[i];
    if (i >= text.required) doc += "=None";
  }
  doc += ")\n--\n\n";
  if (with_description) doc += text.description;
  return doc;
}

}  // namespace velquin
