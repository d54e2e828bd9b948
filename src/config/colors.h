#pragma once
// The colour names that the panes use, as 0xRRGGBB. The two caption gradients are the
// desktop's own colours, which only a front end knows: they are marked, not given.

#include <cstdint>

namespace corvane {

using TColor = std::uint32_t;

inline constexpr TColor kRed = 0xFF0000;
inline constexpr TColor kYellow = 0xFFFF00;
inline constexpr TColor kLime = 0x00FF00;
inline constexpr TColor kGreen = 0x008000;
inline constexpr TColor kOlive = 0x808000;
inline constexpr TColor kAqua = 0x00FFFF;
inline constexpr TColor kSilver = 0xC0C0C0;
inline constexpr TColor kWhite = 0xFFFFFF;
inline constexpr TColor kBlack = 0x000000;
inline constexpr TColor kCaptionGradient = 0x01000001;
inline constexpr TColor kInactiveGradient = 0x01000002;

inline constexpr bool IsSystemColor(TColor c) {
  return (c & 0xFF000000u) != 0;
}

}  // namespace corvane
