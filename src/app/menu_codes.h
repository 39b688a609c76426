// Command codes of the main frame's menu. Window thread.
#pragma once

namespace vordel {

inline constexpr int CM_EXIT = 24310;
// The Devices menu's entries are numbered from here, outputs first, then MIDI inputs.
inline constexpr int CM_DEVICE_FIRST = 1124;

}  // namespace vordel
