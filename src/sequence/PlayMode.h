// What playback does at an end of the in/out range. The values are the numbers stored under
// "PlayMode" in the settings file.
#pragma once

#include <cstdint>

enum class RvPlayMode : std::uint32_t { Once = 0, Loop = 1, PingPong = 2 };

// A stored number as a play mode; an unknown number plays once, as the end rule always
// treated it.
inline RvPlayMode RvPlayModeFromInt(long long value) {
  return value == 1 ? RvPlayMode::Loop : value == 2 ? RvPlayMode::PingPong : RvPlayMode::Once;
}
