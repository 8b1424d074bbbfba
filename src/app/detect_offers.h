// What Setup's Detect button offers: each instrument that answered the identity request as a
// choice of ports and device ID, with what the user must know before taking it, or the text that
// says nothing answered.
#pragma once

#include <string>
#include <vector>

namespace banklore {

struct DetectedInstrument;

struct DetectChoice {
  std::string text;     // its line in a list of several, e.g. "Blofeld on MIDI IN x, MIDI OUT y"
  std::string section;  // the definition section that describes it; empty when none does
  std::string midiIn, midiOut;
  int deviceIndex = -1;  // into the section's device list; -1 when its device byte is not there
  // Said when it is taken: a device byte the section does not list, an identity no section knows.
  std::string note;
  // The section is not the running instrument's: taking it means changing the instrument.
  bool otherInstrument = false;
};

struct DetectReport {
  std::vector<DetectChoice> choices;  // in the order found
  std::string text;                   // when nothing answered: what was tried
};

DetectReport detectReport(const std::vector<DetectedInstrument>& found, int outputsTried,
                          const std::string& runningInstrument);

// "No instrument answered the identity request on 5 outputs. ..."
std::string nothingAnsweredText(int outputsTried);

}  // namespace banklore
