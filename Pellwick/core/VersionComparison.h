#pragma once

#include <compare>
#include <string_view>

// How version `a` orders against version `b` under the update feed's rules (those of Sparkle's
// standard comparator): a version splits into runs of digits, runs of other text, and single
// separators ("." and punctuation or white space); a "-" ends the comparable part. Runs of digits
// compare as numbers, text runs compare by their bytes, and text ranks below a number or a
// separator, so "1.0a1" < "1.0b1" < "1.0" and "1.0b9" < "1.0b10". Missing trailing number parts
// count as zeros, so "1.0" equals "1.0.0".
[[nodiscard]] std::strong_ordering compareVersions(std::string_view a, std::string_view b);
