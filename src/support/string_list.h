#pragma once

#include <string>
#include <string_view>

#include "support/ptr_array.h"

namespace sondrel {

class RecordFile;

// Owned strings; stored as a 16-bit count and length-prefixed strings of at most 4095 bytes.
class StringList : public PtrArray<std::string> {
 public:
  static constexpr int kMaxStoredString = 4096;  // read limit, including the old terminator

  explicit StringList(int initialCapacity = 10, int growBy = 5)
      : PtrArray<std::string>(initialCapacity, growBy) {}
  int Add(std::string_view text) { return Append(std::make_unique<std::string>(text)); }
  // First index equal to text, exactly or ignoring case; -1 if none.
  int IndexOf(std::string_view text, bool exact) const;
  void Write(RecordFile& file) const;
  bool Read(RecordFile& file);
};

// Most recent first, at most maxCount entries; backs the search history and recent projects.
class RecentList {
 public:
  explicit RecentList(int maxCount) : maxCount_(maxCount), strings_(10, 5) {}
  int Add(std::string_view text);
  int Count() const { return strings_.Count(); }
  const std::string* Get(int index) const { return strings_.Get(index); }
  int MaxCount() const { return maxCount_; }
  void Clear() { strings_.Clear(); }
  StringList& Strings() { return strings_; }
  void Write(RecordFile& file) const;  // maxCount (16 bits), then the string list
  bool Read(RecordFile& file);

 private:
  int maxCount_;
  StringList strings_;
};

}  // namespace sondrel
