// Command codes of the main frame's menu.
#pragma once

namespace vordel {

inline constexpr int CM_EXIT = 24310;
inline constexpr int CM_SETMIDIMAPIN = 1124;
inline constexpr int CM_SETMPUIN = 1125;
inline constexpr int CM_SETMIDIMAPOUT = 1126;
inline constexpr int CM_SETOPLOUT = 1127;
inline constexpr int CM_SETMPUOUT = 1128;

}  // namespace vordel
