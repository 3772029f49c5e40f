#pragma once
// Putting what a verification found into a project file that may have changed while it ran
// (an entry added by another process): the outcome is merged into the file as it is now
// instead of replacing it with the document as it was when the verification began.

#include <string>
#include <vector>

#include "results/search_document.h"

namespace sondrel {

// checkedUrls: the URLs of the verified document's entries when the verification began, in
// order; verified: that document afterwards (statuses and sizes set, entries removed as
// invalid gone). Each entry of current that was among the checked ones takes the status and
// size its URL got, in order for repeated URLs, or goes when the verification removed it;
// entries beyond those (added meanwhile) stay as they are.
void MergeVerification(SearchDocument& current, const std::vector<std::string>& checkedUrls,
                       const SearchDocument& verified);

}  // namespace sondrel
