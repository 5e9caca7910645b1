#include "ui/MenuBarLabel.h"

#include <cmath>
#include <limits>

namespace {

constexpr std::int64_t bytesPerGigabyte = 1'000'000'000;

// The threshold's byte value truncated toward zero; a value too large for 64 bits (which the
// settings control never writes) saturates instead of overflowing.
std::int64_t thresholdBytes(double thresholdGB) {
    const double bytes = thresholdGB * static_cast<double>(bytesPerGigabyte);
    if (std::isnan(bytes) || bytes <= 0)
        return 0;
    if (bytes >= static_cast<double>(std::numeric_limits<std::int64_t>::max()))
        return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(bytes);
}

// Integer arithmetic keeps the halfway case exact: 237,500,000,000 bytes is 238 GB.
std::int64_t wholeGigabytes(std::int64_t freeBytes) {
    const std::int64_t whole = freeBytes / bytesPerGigabyte;
    const std::int64_t rest = freeBytes % bytesPerGigabyte;
    return rest >= bytesPerGigabyte / 2 ? whole + 1 : whole;
}

} // namespace

namespace MenuBarLabel {

bool isLow(std::int64_t freeBytes, double thresholdGB) {
    return freeBytes >= 1 && freeBytes < thresholdBytes(thresholdGB);
}

QString titleText(std::int64_t freeBytes) {
    if (freeBytes < 1)
        return QStringLiteral("Pellwick");
    return figureText(freeBytes) + QStringLiteral(" GB");
}

QString figureText(std::int64_t freeBytes) {
    if (freeBytes < 1)
        return {};
    return QString::number(wholeGigabytes(freeBytes));
}

QString iconName(bool isLow) {
    return isLow ? QStringLiteral("exclamationmark.circle.fill") : QStringLiteral("internaldrive");
}

} // namespace MenuBarLabel
