#pragma once

#include <array>

namespace bopwell::samplepack
{

struct BuiltInPackInfo
{
    const char* id;
    const char* displayName;
    const char* assetPrefix;
    int sampleCount;
    float panSpread;
};

inline constexpr int builtInPackCount = 9;

// The packs Bopwell ships with, by menu index. The asset generator makes the samples from this
// table and the build (cmake/BopwellAssets.cmake) reads the file names from it: keep one row per
// line in this form.
inline constexpr std::array<BuiltInPackInfo, builtInPackCount> builtInPackTable { {
    { "chocolate", "Chocolate", "chocolate", 13, 0.0f },
    { "wax", "Wax", "wax", 19, 0.0f },
    { "sticky-keyboard", "Sticky Keyboard", "sticky_keyboard", 14, 0.0f },
    { "keyboard", "Keyboard", "keyboard", 20, 0.0f },
    { "bubble-wrap", "Bubble Wrap", "bubble_wrap", 15, 0.2f },
    { "nailgun", "Nailgun", "nailgun", 8, 0.0f },
    { "driver", "Driver", "driver", 6, 0.0f },
    { "whiplash", "Whiplash", "whiplash", 1, 0.0f },
    { "man", "Man", "man", 5, 0.0f },
} };

} // namespace bopwell::samplepack
