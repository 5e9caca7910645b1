#include "core/ByteCountFormat.h"

#include <unicode/numberformatter.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace {

struct Unit {
    double limit; // the first unit whose limit the absolute value is below is used
    double divisor;
    const char16_t* skeleton;
};

// The limits are where rounding to the unit's fraction digits would reach 1000 of it.
constexpr std::array<Unit, 6> units{{
    {999.0, 1.0, u"measure-unit/digital-byte unit-width-full-name ."},
    {999'499.0, 1e3, u"measure-unit/digital-kilobyte ."},
    {999'949'999.0, 1e6, u"measure-unit/digital-megabyte .#"},
    {999'994'999'999.0, 1e9, u"measure-unit/digital-gigabyte .##"},
    {999'994'999'999'999.0, 1e12, u"measure-unit/digital-terabyte .##"},
    {INFINITY, 1e15, u"measure-unit/digital-petabyte .##"},
}};

const icu::number::LocalizedNumberFormatter& formatterFor(std::size_t index) {
    // Built once; ICU formatters are immutable and safe to share between threads.
    static const std::array<icu::number::LocalizedNumberFormatter, units.size()> formatters = [] {
        std::array<icu::number::LocalizedNumberFormatter, units.size()> built;
        for (std::size_t i = 0; i < units.size(); ++i) {
            UErrorCode status = U_ZERO_ERROR;
            built[i] = icu::number::NumberFormatter::forSkeleton(units[i].skeleton, status)
                           .locale(icu::Locale("en_US"));
            if (U_FAILURE(status))
                std::abort(); // the skeletons are constants: failing here is a build fault
        }
        return built;
    }();
    return formatters[index];
}

} // namespace

std::string formatByteCount(std::int64_t bytes) {
    if (bytes == 0)
        return "Zero kB";
    const double value = static_cast<double>(bytes);
    std::size_t index = 0;
    while (index + 1 < units.size() && !(std::fabs(value) < units[index].limit))
        ++index;
    UErrorCode status = U_ZERO_ERROR;
    const auto formatted = formatterFor(index).formatDouble(value / units[index].divisor, status);
    std::string text;
    formatted.toString(status).toUTF8String(text);
    return U_FAILURE(status) ? std::to_string(bytes) + " bytes" : text;
}
