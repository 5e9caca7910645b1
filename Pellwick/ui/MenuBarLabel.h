#pragma once

#include <QString>

#include <cstdint>

// What the tray item shows: the home volume's free space in whole gigabytes and a drive symbol
// that turns into a warning while space is low. Pure functions of the model's free space and
// the "thresholdGB" setting, so the item can be recomputed whenever either changes.
namespace MenuBarLabel {

// Low exactly when a reading exists (at least 1 byte) and it is below the threshold; before
// the first reading (0) the label is never low.
[[nodiscard]] bool isLow(std::int64_t freeBytes, double thresholdGB);

// "Pellwick" before the first reading, then whole gigabytes (10^9 bytes, halves away from
// zero): "237 GB".
[[nodiscard]] QString titleText(std::int64_t freeBytes);

// The figure alone ("237"), for hosts that show only an icon; empty before the first reading.
[[nodiscard]] QString figureText(std::int64_t freeBytes);

// The symbol's name in our icon set (Icons.h).
[[nodiscard]] QString iconName(bool isLow);

} // namespace MenuBarLabel
