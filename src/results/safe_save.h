#pragma once
// Record files are written beside their final name and renamed over it only when every byte
// reached the disk, so a failed save never destroys the previous file.

#include <functional>
#include <string>

namespace sondrel {

class RecordFile;

// Runs write on a fresh temporary file in path's directory, then renames it over path.
// False (and path untouched) when the temporary file cannot be made or any write fails.
[[nodiscard]] bool WriteRecordFileSafely(const std::string& path,
                                         const std::function<void(RecordFile&)>& write);

}  // namespace sondrel
