#pragma once
// Record files are written beside their final name and renamed over it only when every byte
// reached the disk, so a failed save never destroys the previous file.

#include <functional>
#include <string>

namespace sondrel {

class RecordFile;

// Runs write on a fresh temporary file in path's directory ("<path>.tmp-<pid>-XXXXXX"), then
// renames it over path. False (and path untouched) when the temporary file cannot be made or
// any write fails. Temporary files of path whose writer is gone (a save killed before its
// rename) are removed first.
[[nodiscard]] bool WriteRecordFileSafely(const std::string& path,
                                         const std::function<void(RecordFile&)>& write);

}  // namespace sondrel
