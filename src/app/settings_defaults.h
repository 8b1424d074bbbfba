// What the librarian uses where banklore.ini says nothing: the window and banklore-cli read the
// same settings, and the tool takes these without pulling in the window.
#pragma once

namespace banklore::defaults {

inline constexpr const char* kInstrument = "Nova";
inline constexpr int kDeviceId = 16;
inline constexpr int kDelayMs = 415;  // after each request and each patch sent

}  // namespace banklore::defaults
