// Port names as the user sees and the settings store them: the same from run to run.
#pragma once

#include <string>
#include <string_view>

namespace banklore {

// RtMidi's ALSA names end in the sequencer address, which changes when devices are plugged in
// another order: "UM-ONE:UM-ONE MIDI 1 20:0" stays put as "UM-ONE:UM-ONE MIDI 1". A name without
// such an ending is returned unchanged.
std::string withoutAlsaAddress(std::string_view name);

}  // namespace banklore
