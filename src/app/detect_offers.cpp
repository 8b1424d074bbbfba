#include "app/detect_offers.h"

#include "app/detection_run.h"
#include "app/text_format.h"
#include "core/identity.h"

namespace banklore {
namespace {

constexpr std::size_t kTextCapacity = 1024;

std::string hexBytes(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (const std::uint8_t byte : bytes) {
    text += formatText(4, "%s%02X", text.empty() ? "" : " ", byte);
  }
  return text;
}

}  // namespace

std::string nothingAnsweredText(int outputsTried) {
  return formatText(
      kTextCapacity,
      "No instrument answered the identity request on %d output%s. Some "
      "instruments, older ones above all, do not answer it: choose the ports by hand.",
      outputsTried, outputsTried == 1 ? "" : "s");
}

DetectReport detectReport(const std::vector<DetectedInstrument>& found, int outputsTried,
                          const std::string& runningInstrument) {
  DetectReport report;
  if (found.empty()) report.text = nothingAnsweredText(outputsTried);
  for (const DetectedInstrument& f : found) {
    DetectChoice choice;
    choice.section = f.section;
    choice.midiIn = f.input;
    choice.midiOut = f.output;
    choice.deviceIndex = f.deviceIndex;
    const std::string who =
        f.section.empty() ? "Unknown instrument (" + hexBytes(f.reply.bytes) + ")" : f.section;
    choice.text = formatText(kTextCapacity, "%s on MIDI IN %s, MIDI OUT %s", who.c_str(),
                             f.input.c_str(), f.output.c_str());
    if (f.section.empty()) {
      choice.note = formatText(kTextCapacity,
                               "Its identity (%s) matches no section of the definition file: the "
                               "ports are set, the instrument and device ID are left as they were.",
                               hexBytes(f.reply.bytes).c_str());
    } else if (f.deviceIndex < 0) {
      choice.note = formatText(kTextCapacity,
                               "It answers as device %02X, which the DeviceIDBytes of %s do not "
                               "list: the device ID is left as it was.",
                               f.reply.device, f.section.c_str());
    }
    choice.otherInstrument = !f.section.empty() && f.section != runningInstrument;
    report.choices.push_back(std::move(choice));
  }
  return report;
}

}  // namespace banklore
