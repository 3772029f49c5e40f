// Project files from anywhere must open without a crash; whatever opened must save, and the
// saved file must read back to the same bytes. The list operations run over what was read.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_file.h"
#include "results/export.h"
#include "results/find_expression.h"
#include "results/project_file.h"
#include "results/row_commands.h"
#include "results/sorting.h"

using namespace sondrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& scratch = fuzz::ScratchDirectory("project");
  const std::string input = scratch + "/input.sdp";
  const std::string first = scratch + "/first.sdp";
  const std::string second = scratch + "/second.sdp";
  fuzz::WriteInput(input, data, size);

  SearchDocument document;
  const int loaded = LoadDocument(input, document);
  if (loaded != kLoadOk && loaded != kLoadNotProject && loaded != kLoadDamaged) std::abort();

  if (!WriteDocument(first, document)) std::abort();
  SearchDocument again;
  if (LoadDocument(first, again) != kLoadOk) std::abort();
  if (!WriteDocument(second, again)) std::abort();
  if (fuzz::Slurp(first) != fuzz::Slurp(second)) std::abort();

  for (const auto& entry : document.entries) {
    (void)MakeEntryRow(*entry);
    (void)ClipboardTextOf(*entry);
    (void)FindExpression(entry->name, document.query);
  }
  (void)HtmlExportOf(document);
  (void)TextExportOf(document);
  (void)CdfExportOf(document);
  SortEntries(document, SortKey::kSize);
  for (int i = 1; i < document.entries.Count(); ++i) {
    if (CompareEntries(*document.entries.Get(i - 1), *document.entries.Get(i), SortKey::kSize) >
        0) {
      std::abort();
    }
  }
  return 0;
}
