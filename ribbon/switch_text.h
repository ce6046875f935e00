// The text rule of the two ribbon switches. Pure: no Windows headers, so it
// also builds natively (for fuzzing).
#pragma once

#include <cstddef>

namespace ks {

// Size of the buffer the switch values are read into, terminating zero included.
inline constexpr std::size_t kSwitchBufferSize = 260;

// Whether the bytes a switch value returned mean "on". The text is the bytes
// up to the first zero byte (all of them when there is none), with the ASCII
// letters A to Z folded to lower case and nothing else changed or trimmed;
// only "true" means on. Never reads beyond `count` bytes; null bytes mean off.
bool SwitchTextMeansOn(const unsigned char* bytes, std::size_t count) noexcept;

}  // namespace ks
