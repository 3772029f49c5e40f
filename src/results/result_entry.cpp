#include "results/result_entry.h"

#include "results/results_texts.h"
#include "support/text.h"

namespace sondrel {

ResultEntry NewEntry() {
  ResultEntry entry;
  entry.foundAt = DateStamp::CurrentLocal();
  return entry;
}

namespace {

// Cut at max, but never inside a "%XX" escape.
void CutUrl(std::string& url, std::size_t max) {
  if (url.size() <= max) return;
  url.resize(max);
  const std::size_t percent = url.rfind('%');
  if (percent != std::string::npos && percent + 3 > url.size()) url.resize(percent);
}

}  // namespace

bool HasControlBytes(std::string_view url) {
  for (unsigned char c : url) {
    if (c < 0x20 || c == 0x7f) return true;
  }
  return false;
}

std::string SafeEntryUrl(std::string_view url) {
  if (!HasControlBytes(url)) return std::string(url.substr(0, kMaxEntryUrl));
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string safe;
  safe.reserve(url.size() + 16);
  for (unsigned char c : url) {
    if (c < 0x20 || c == 0x7f) {
      safe += '%';
      safe += kHex[c >> 4];
      safe += kHex[c & 0xf];
    } else {
      safe += static_cast<char>(c);
    }
  }
  CutUrl(safe, kMaxEntryUrl);
  return safe;
}

void CutToLimits(ResultEntry& entry) {
  auto cut = [](std::string& text, std::size_t max) {
    if (text.size() > max) text.resize(max);
  };
  cut(entry.name, kMaxEntryName);
  if (HasControlBytes(entry.url) || entry.url.size() > kMaxEntryUrl) {
    entry.url = SafeEntryUrl(entry.url);
  }
  cut(entry.engine, kMaxEntryEngine);
  cut(entry.preview, kMaxEntryPreview);
  cut(entry.var1, kMaxEntryVar1);
  cut(entry.spare, kMaxEntrySpare);
}

ResultEntry CompactCopy(const ResultEntry& scratch) {
  ResultEntry copy = scratch;
  CutToLimits(copy);
  // The scratch entry's buffers may be large; the stored copy holds only its own texts.
  copy.name.shrink_to_fit();
  copy.url.shrink_to_fit();
  copy.engine.shrink_to_fit();
  copy.preview.shrink_to_fit();
  copy.var1.shrink_to_fit();
  copy.spare.shrink_to_fit();
  return copy;
}

std::string_view StatusText(std::uint8_t status) {
  std::string_view text;
  switch (status) {
    case kStatusNotVerified:
      text = texts::kStatusNotVerified;
      break;
    case kStatusValid:
      text = texts::kStatusValid;
      break;
    case kStatusInvalid:
      text = texts::kStatusInvalid;
      break;
    case kStatusUnknown:
      text = texts::kStatusUnknown;
      break;
    default:
      text = texts::kStatusChecked;
      break;
  }
  return text.substr(0, kMaxStatusText);
}

std::string SizeText(std::int32_t size) {
  if (size < 0) return std::string(texts::kSizeUnknown);
  return std::to_string(static_cast<long>(size) / 1024) + std::string(texts::kSizeUnitSuffix);
}

std::string PositionText(std::int16_t position) {
  return std::to_string(static_cast<int>(position) + 1);
}

std::string_view DisplayName(const ResultEntry& entry) {
  return entry.name.empty() ? texts::kEmptyNamePlaceholder : std::string_view(entry.name);
}

EntryRow MakeEntryRow(const ResultEntry& entry) {
  EntryRow row;
  row.name = DisplayName(entry);
  row.url = entry.url;
  row.size = SizeText(entry.size);
  row.status = StatusText(entry.status);
  row.pos = PositionText(entry.position);
  row.engine = entry.engine;
  return row;
}

std::string EntryCountText(int count) {
  return std::to_string(count) + std::string(texts::kEntryCountSuffix);
}

}  // namespace sondrel
