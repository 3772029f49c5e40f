#pragma once
// The file a download writes while it runs. The data goes to NAME.part beside the target NAME;
// a small text file NAME.part.meta beside it records the address and the server's validator
// (an ETag or a Last-Modified date over HTTP, the MDTM stamp over FTP), so that a later
// download continues only the same version of the same file. A sidecar file rather than an
// extended attribute: it works on every file system and survives copying the folder.
//
// The part is opened without following links, relative to its directory, and locked while a
// download writes it, so a second download of the same target fails at once instead of
// writing into it. It takes the final name only when the caller says the file is complete.

#include <cstdint>
#include <string>
#include <string_view>

#include "net/net_failure.h"

namespace sondrel {

inline constexpr std::string_view kPartSuffix = ".part";
inline constexpr std::string_view kPartRecordSuffix = ".part.meta";
// Free names are tried up to "NAME (999).EXT".
inline constexpr int kFreeNameTries = 999;

struct PartRecord {
  std::string url;
  std::string validator;  // "\"5f3a-49e20\"", "Tue, 01 Dec 2026 10:00:00 GMT", "20261201100000"
};

enum class PartOpen : std::uint8_t {
  kOpened,
  kBusy,     // another download is writing this part
  kRefused,  // a link, not a regular file, or it cannot be created; the failure says which
};

class PartFile {
 public:
  PartFile() = default;
  ~PartFile();
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;

  // Opens (creating it when missing) and locks the part of target, positioned at its end. A
  // target that is an existing character device (/dev/null) is written directly: no part, no
  // record, no rename.
  [[nodiscard]] PartOpen Open(const std::string& target, NetFailure& failure);
  int fd() const { return fd_; }
  bool direct() const { return direct_; }
  // The bytes the part holds; 0 for a device.
  std::int64_t Length() const;
  [[nodiscard]] bool ReadRecord(PartRecord& record) const;
  // False when the record cannot be written or holds a line break; no record is left then.
  bool WriteRecord(const PartRecord& record);
  // Empties the part; writing goes on from its start.
  [[nodiscard]] bool Restart();
  // Gives the part the target's name. An existing target is replaced only when replace is set;
  // otherwise the part stays and the failure says the target exists.
  [[nodiscard]] bool Commit(bool replace, NetFailure& failure);
  // Removes an empty part and its record, so a download that got nothing leaves nothing.
  void DiscardIfEmpty();
  void Close();

 private:
  int dir_ = -1;
  int fd_ = -1;
  std::string target_;
  std::string name_;  // the target's last component
  bool direct_ = false;
};

// target + ".part".
std::string PartPathOf(std::string_view target);
// Whether anything (file, link, directory) has this name; links are not followed.
bool PathExists(const std::string& path);
// The record beside the part of target; false when there is none.
[[nodiscard]] bool ReadPartRecordOf(const std::string& target, PartRecord& record);
// Moves an existing regular file at target to its part name, so that the user's word to
// continue that very file continues it. False when there is no such file or a part exists.
[[nodiscard]] bool AdoptAsPart(const std::string& target);
// target itself when nothing has that name, else "NAME (1).EXT", "NAME (2).EXT", ...: the first
// name that is free and whose part, if any, belongs to url. Empty when none of them is.
std::string FreeDownloadName(const std::string& target, std::string_view url);

}  // namespace sondrel
