#include "results/verification_merge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sondrel {
namespace {

void Add(SearchDocument& document, const std::string& url, std::uint8_t status,
         std::int32_t size = -1) {
  auto entry = std::make_unique<ResultEntry>(NewEntry());
  entry->url = url;
  entry->status = status;
  entry->size = size;
  ASSERT_GE(document.entries.Append(std::move(entry)), 0);
}

std::vector<std::string> Rows(const SearchDocument& document) {
  std::vector<std::string> rows;
  for (const auto& entry : document.entries) {
    rows.push_back(entry->url + " " + std::to_string(entry->status) + " " +
                   std::to_string(entry->size));
  }
  return rows;
}

// The project changed while the verification ran: what it found goes into the project as it is
// now, and what was added meanwhile stays.
TEST(MergeVerificationTest, OutcomesGoToTheEntriesTheyBelongTo) {
  const std::vector<std::string> checked = {"u/a", "u/b", "u/dup", "u/dup", "u/gone"};
  SearchDocument verified;  // b and gone were invalid and removed; the second dup was too
  Add(verified, "u/a", kStatusValid, 10);
  Add(verified, "u/dup", kStatusChecked, 30);

  SearchDocument current;
  Add(current, "u/new-first", kStatusNotVerified);
  Add(current, "u/a", kStatusNotVerified);
  Add(current, "u/b", kStatusNotVerified);
  Add(current, "u/dup", kStatusNotVerified);
  Add(current, "u/dup", kStatusNotVerified);
  Add(current, "u/dup", kStatusNotVerified);  // a third one, added meanwhile
  Add(current, "u/gone", kStatusNotVerified);
  Add(current, "u/new-last", kStatusInvalid);  // not checked: not removed either
  current.modified = false;
  MergeVerification(current, checked, verified);
  EXPECT_EQ(Rows(current), (std::vector<std::string>{"u/new-first 5 -1", "u/a 1 10", "u/dup 2 30",
                                                     "u/dup 5 -1", "u/new-last 4 -1"}));
  EXPECT_TRUE(current.modified);
}

}  // namespace
}  // namespace sondrel
