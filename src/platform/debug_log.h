// The diagnostic trace: an append-only text file, recreated each run, shared by the UI and MIDI
// threads.
#pragma once

#include <string>

namespace banklore {

// Path every caller passes to WriteLog. Start-up sets it beside the executable and deletes the old
// file. The pointer stays valid for the whole run (a fixed 2048-byte buffer; longer paths are cut);
// SetLogPath changes its contents under the log lock.
const char* LogPath();
void SetLogPath(const std::string& path);

// printf-style. One process-wide lock covers formatting, opening, appending and closing, so
// messages from different threads never interleave. Messages longer than 128 KiB are truncated. A
// log that cannot be opened drops the message; a null format writes nothing.
void WriteLog(const char* path, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace banklore
