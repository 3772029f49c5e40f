#pragma once
// Project files: a saved search document with its entries and choices, the query-made file
// name of a search, the recent projects and the window caption.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "results/search_document.h"
#include "results/settings.h"

namespace sondrel {

inline constexpr std::size_t kMaxProjectPath = 259;
inline constexpr std::size_t kMaxProjectName = 255;  // characters taken from the query
inline constexpr int kMaxReopenItems = 10;

enum LoadResult {
  kLoadOk = 1,
  kLoadNotProject = 0,  // missing, unreadable or foreign: the document stays empty
  kLoadDamaged = -1,    // a project that ends early: what was read is kept
};

// Writes the document; the old file is replaced only when all of it was written. On success
// the modified flag is cleared.
[[nodiscard]] bool WriteDocument(const std::string& path, SearchDocument& document);
// Replaces document with a new one and reads the file into it.
int LoadDocument(const std::string& path, SearchDocument& document);

enum class ProjectChange : std::uint8_t {
  kSaved,
  kNotProject,  // the file there is not a project, or cannot be read: left as it was
  kDamaged,     // the project ends early: left as it was
  kRefused,     // change returned false: nothing written
  kNotWritten,  // the file (or its lock beside it) could not be written: left as it was
};
// One change of a project file as several processes may make it at once: under the file's
// lock the project is loaded (a missing file is a new, empty project), changed and written.
ProjectChange ChangeProjectFile(const std::string& path,
                                const std::function<bool(SearchDocument&)>& change);

// After a project was opened or saved: lastProject and the recent projects.
void RememberProject(Settings& settings, std::string_view path);

// The query-made project path in the program home.
std::string ProjectPathFromQuery(std::string_view query, std::string_view home);

struct ReopenItem {
  std::string caption;  // "&0 /home/me/rock.sdp"
  std::string path;
};
// The items under File, Reopen; empty means the item is hidden.
std::vector<ReopenItem> BuildReopenMenu(const Settings& settings, std::string_view currentPath);

// "Sondrel - rock.sdp", or "Sondrel (no project)" without a path.
std::string UpdateCaption(std::string_view currentPath);

}  // namespace sondrel
