#include "midi/midi_result.h"

#include <array>
#include <cstdio>
#include <string>

#include "platform/debug_log.h"

namespace banklore {
namespace {

struct NamedCode {
  long code;
  const char* name;
};

constexpr std::array<NamedCode, 20> kNames{{
    {1, "MMSYSERR_ERROR"},       {2, "MMSYSERR_BADDEVICEID"},   {3, "MMSYSERR_NOTENABLED"},
    {4, "MMSYSERR_ALLOCATED"},   {5, "MMSYSERR_INVALHANDLE"},   {6, "MMSYSERR_NODRIVER"},
    {7, "MMSYSERR_NOMEM"},       {8, "MMSYSERR_NOTSUPPORTED"},  {9, "MMSYSERR_BADERRNUM"},
    {10, "MMSYSERR_INVALFLAG"},  {11, "MMSYSERR_INVALPARAM"},   {12, "MMSYSERR_HANDLEBUSY"},
    {64, "MIDIERR_UNPREPARED"},  {65, "MIDIERR_STILLPLAYING"},  {66, "MIDIERR_NOMAP"},
    {67, "MIDIERR_NOTREADY"},    {68, "MIDIERR_NODEVICE"},      {69, "MIDIERR_INVALIDSETUP"},
    {70, "MIDIERR_BADOPENMODE"}, {71, "MIDIERR_DONT_CONTINUE"},
}};

}  // namespace

const char* midiResultName(long code) {
  for (const NamedCode& entry : kNames) {
    if (entry.code == code) return entry.name;
  }
  return nullptr;
}

bool CheckMidiResult(long code) {
  if (code == MMSYSERR_NOERROR) return true;
  if (const char* name = midiResultName(code)) {
    LogMidiFailure(name);
  } else {
    LogMidiFailure(std::to_string(code));
  }
  return false;
}

void LogMidiFailure(std::string_view name) {
  char line[128];
  std::snprintf(line, sizeof line, "Midi Assertion failure: Error %.*s",
                static_cast<int>(name.size()), name.data());
  WriteLog(LogPath(), "%s\n", line);
}

}  // namespace banklore
