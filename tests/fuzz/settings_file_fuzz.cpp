// Settings files from anywhere must read without a crash; whatever was read must save, and
// saving what that file reads back gives the same bytes.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_file.h"
#include "results/settings.h"

using namespace sondrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& scratch = fuzz::ScratchDirectory("settings");
  const std::string input = scratch + "/input.cfg";
  const std::string first = scratch + "/first.cfg";
  const std::string second = scratch + "/second.cfg";
  fuzz::WriteInput(input, data, size);

  Settings settings;
  SettingsDefaults(settings, "/home");
  (void)ReadSettings(input, settings);
  if (!WriteSettings(first, settings)) std::abort();
  Settings again;
  SettingsDefaults(again, "/elsewhere");
  if (!ReadSettings(first, again)) std::abort();
  if (!WriteSettings(second, again)) std::abort();
  if (fuzz::Slurp(first) != fuzz::Slurp(second)) std::abort();

  ResultEntry entry;
  entry.name = settings.lastProject;
  entry.url = settings.browserPath;
  (void)Blocked(settings, entry);
  (void)HistoryBoxItems(settings);
  return 0;
}
