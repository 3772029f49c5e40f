#include "support/string_list.h"

#include <algorithm>

#include "support/record_file.h"
#include "support/text.h"

namespace sondrel {

int StringList::IndexOf(std::string_view text, bool exact) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& item = *Get(i);
    if (exact ? item == text : EqualsNoCase(item, text)) return i;
  }
  return -1;
}

void StringList::Write(RecordFile& file) const {
  WriteList(file, *this, [](RecordFile& f, const std::string& s) { (void)f.WriteString(s); });
}

bool StringList::Read(RecordFile& file) {
  Clear();
  // Overlong strings are cut but read whole, so the rest of the file stays in step.
  return ReadList(file, *this, [](RecordFile& f) -> std::unique_ptr<std::string> {
    auto text = std::make_unique<std::string>();
    if (!f.ReadStringCut(*text, kMaxStoredString)) return nullptr;
    return text;
  });
}

int RecentList::Add(std::string_view text) {
  if (text.empty()) return 1;
  const int at = strings_.IndexOf(text, false);
  if (at == 0) return 1;
  if (at > 0) {
    strings_.RemoveAt(at);
  } else {
    // Room for the new entry; a list read with more entries than allowed is cut back too.
    while (strings_.Count() > 0 && strings_.Count() >= std::max(maxCount_, 1)) {
      strings_.RemoveAt(strings_.Count() - 1);
    }
  }
  strings_.Insert(0, std::make_unique<std::string>(text));
  return 1;
}

void RecentList::Write(RecordFile& file) const {
  file.WriteU16(static_cast<std::uint16_t>(std::clamp(maxCount_, 0, 0xffff)));
  strings_.Write(file);
}

bool RecentList::Read(RecordFile& file) {
  std::uint16_t maxCount = 0;
  if (file.ReadU16(maxCount) != 2) return false;
  maxCount_ = maxCount;
  return strings_.Read(file);
}

}  // namespace sondrel
