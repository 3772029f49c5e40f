#include "net/content_type.h"

#include "net/net_texts.h"
#include "support/text.h"

namespace sondrel {

bool IsHtmlContentType(std::string_view value) {
  std::string_view type = value.substr(0, value.find(';'));
  while (!type.empty() && IsSpace(type.front())) type.remove_prefix(1);
  while (!type.empty() && IsSpace(type.back())) type.remove_suffix(1);
  return EqualsNoCase(type, net_texts::kHtmlType);
}

}  // namespace sondrel
