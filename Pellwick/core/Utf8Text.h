#pragma once

#include <string>
#include <string_view>
#include <vector>

// Child processes print bytes; the program reads them as UTF-8 text.

// Every ill-formed sequence becomes U+FFFD, one per maximal invalid subpart (the Unicode
// standard's recommended practice, which the platforms' decoders follow), so no output is
// ever rejected.
[[nodiscard]] std::string repairedUtf8(std::string_view bytes);

// Splits at every newline character (LF, VT, FF, CR, CR LF as one break, U+0085, U+2028,
// U+2029) and drops empty lines. The text must be valid UTF-8.
[[nodiscard]] std::vector<std::string_view> nonEmptyLines(std::string_view text);
