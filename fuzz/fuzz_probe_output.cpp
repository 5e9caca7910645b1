// Any text a login shell prints yields only pairs read from lines after the marker.
#include "FuzzText.h"
#include "core/CleanerDiscovery.h"
#include "core/Utf8Text.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

[[nodiscard]] std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpaceOrTab(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpaceOrTab(text.back()))
        text.remove_suffix(1);
    return text;
}

// True when some line after the first marker is "KEY=RAW" with RAW trimmed to `value`.
[[nodiscard]] bool readFromALineAfterTheMarker(const std::vector<std::string_view>& lines,
                                               const std::string& key, const std::string& value) {
    const auto marker = std::find(lines.begin(), lines.end(), Cleaner::probeBeginMarker);
    if (marker == lines.end() || key.find('=') != std::string::npos)
        return false;
    return std::any_of(marker + 1, lines.end(), [&](std::string_view line) {
        return line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=' &&
               trimmed(line.substr(key.size() + 1)) == value;
    });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = repairedUtf8({reinterpret_cast<const char*>(data), size});
    require(repairedUtf8(text) == text, "repaired text stays as it is");
    const auto lines = nonEmptyLines(text);
    for (const auto& [key, value] : Cleaner::parseProbeOutput(text)) {
        require(!value.empty(), "value not empty");
        require(!isSpaceOrTab(value.front()) && !isSpaceOrTab(value.back()), "value trimmed");
        require(!hasLineBreak(key) && !hasLineBreak(value), "pair within one line");
        require(readFromALineAfterTheMarker(lines, key, value), "pair from a line after marker");
    }
    return 0;
}
