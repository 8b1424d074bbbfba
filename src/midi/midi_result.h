// How failed MIDI calls reach the debug log: one "Midi Assertion failure: Error <name>" line, with
// the classic multimedia error names for the conditions the port itself detects.
#pragma once

#include <string_view>

namespace banklore {

// Result codes the port reports with (the classic multimedia MIDI error values).
inline constexpr long MMSYSERR_NOERROR = 0;
inline constexpr long MMSYSERR_ERROR = 1;
inline constexpr long MMSYSERR_BADDEVICEID = 2;
inline constexpr long MMSYSERR_ALLOCATED = 4;
inline constexpr long MMSYSERR_INVALHANDLE = 5;
inline constexpr long MMSYSERR_NODRIVER = 6;
inline constexpr long MMSYSERR_INVALPARAM = 11;
inline constexpr long MIDIERR_NOTREADY = 67;
inline constexpr long MIDIERR_NODEVICE = 68;

// The constant name of a code, or nullptr for a code outside the table.
const char* midiResultName(long code);

// True for MMSYSERR_NOERROR; otherwise logs the failure line (a code outside the table is written
// as its decimal number) and returns false.
bool CheckMidiResult(long code);

// Logs the failure line with a name of the caller's (e.g. a MIDI library's error type).
void LogMidiFailure(std::string_view name);

}  // namespace banklore
