// Appending a record to a file that several writers share (the activity log, the phone log).
// The file is opened for each record and closed again, so nothing is held open between
// records, and the record goes out in one write to the end of the file, so that records of
// concurrent writers never interleave.
#pragma once

#include <string>
#include <string_view>

namespace corvina::platform {

// Appends `bytes` to the file at `path` in one write, creating the file (mode 0644) when
// absent. On a short write (a full disk) the part written is cut off the end again, so no half
// record is left for the next one to run into. True when the whole record was written.
bool AppendRecord(const std::string& path, std::string_view bytes);

}  // namespace corvina::platform
