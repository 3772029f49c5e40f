#pragma once
// One search result and the texts of its row in the result list.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/dates.h"

namespace sondrel {

// Largest texts of an entry; a stored entry is always cut to these.
inline constexpr std::size_t kMaxEntryName = 1023;
inline constexpr std::size_t kMaxEntryUrl = 1999;
inline constexpr std::size_t kMaxEntryEngine = 1023;
inline constexpr std::size_t kMaxHandMadeLabel = 19;
inline constexpr std::size_t kMaxEntryPreview = 1023;
inline constexpr std::size_t kMaxEntryVar1 = 1023;
inline constexpr std::size_t kMaxEntrySpare = 1023;  // project files keep no more
inline constexpr std::size_t kMaxStatusText = 252;

enum EntryStatus : std::uint8_t {
  kStatusChecked = 2,     // the second kind of successful verification
  kStatusValid = 1,       // verified, size found
  kStatusUnknown = 3,     // nothing assigns it; shown with a text of its own
  kStatusInvalid = 4,     // failed verification; the only code Delete Invalid removes
  kStatusNotVerified = 5  // every new entry
};

struct ResultEntry {
  std::string name;  // title; empty shows the placeholder word
  std::string url;
  std::string engine;         // engine name, or the hand-made label
  std::int16_t position = 0;  // 0-based rank among its engine's results of one search
  std::string preview;
  DateStamp foundAt;  // when made or extracted, or the page's date
  std::string var1;
  std::string spare;  // always empty in what the program makes; carried along
  std::uint8_t status = kStatusNotVerified;
  std::int32_t size = -1;  // bytes; -1 = no size found
};

// A fresh entry: empty texts, position 0, the current local time, status 5, size -1.
ResultEntry NewEntry();
// The copy that the document stores: every text cut to its limit, the URL made safe.
ResultEntry CompactCopy(const ResultEntry& scratch);
void CutToLimits(ResultEntry& entry);
// A URL never holds a control byte: CR and LF from a page or a file would end a request line
// and start a header of the page's choosing. They are percent-encoded ("%0D%0A"), and the
// result is cut to kMaxEntryUrl: the URL as the document stores it.
bool HasControlBytes(std::string_view url);
std::string SafeEntryUrl(std::string_view url);

// The texts of the row columns.
std::string_view StatusText(std::uint8_t status);
std::string SizeText(std::int32_t size);          // "%ld KB" of size / 1024, "???" when negative
std::string PositionText(std::int16_t position);  // position + 1
std::string_view DisplayName(const ResultEntry& entry);  // placeholder for an empty name

struct EntryRow {
  std::string name;
  std::string url;
  std::string size;
  std::string status;
  std::string pos;
  std::string engine;
};
EntryRow MakeEntryRow(const ResultEntry& entry);
// "%d entries" for the count label under the buttons.
std::string EntryCountText(int count);

}  // namespace sondrel
