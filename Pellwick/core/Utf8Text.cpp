#include "core/Utf8Text.h"

namespace {

constexpr std::string_view replacementCharacter = "\xEF\xBF\xBD";

struct SequenceRule {
    std::size_t length = 0; // 0: the byte cannot start a sequence
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
};

// The second byte's range excludes overlong forms, surrogates and code points above U+10FFFF.
[[nodiscard]] SequenceRule ruleFor(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF)
        return {2};
    if (lead == 0xE0)
        return {3, 0xA0, 0xBF};
    if (lead == 0xED)
        return {3, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF)
        return {3};
    if (lead == 0xF0)
        return {4, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3)
        return {4};
    if (lead == 0xF4)
        return {4, 0x80, 0x8F};
    return {};
}

// How many bytes from `at` form a valid sequence; 0 when they do not, with `invalidLength`
// set to the maximal subpart to replace.
[[nodiscard]] std::size_t validSequenceLength(std::string_view bytes, std::size_t at,
                                              std::size_t& invalidLength) {
    const auto byteAt = [&](std::size_t i) {
        return static_cast<unsigned char>(bytes[i]);
    };
    const SequenceRule rule = ruleFor(byteAt(at));
    invalidLength = 1;
    if (rule.length == 0)
        return 0;
    for (std::size_t i = 1; i < rule.length; ++i) {
        if (at + i >= bytes.size())
            return 0;
        const unsigned char low = i == 1 ? rule.secondLow : 0x80;
        const unsigned char high = i == 1 ? rule.secondHigh : 0xBF;
        if (byteAt(at + i) < low || byteAt(at + i) > high)
            return 0;
        invalidLength = i + 1;
    }
    return rule.length;
}

// The length of the line break starting at `at`, or 0.
[[nodiscard]] std::size_t lineBreakLength(std::string_view text, std::size_t at) {
    const char c = text[at];
    if (c == '\r')
        return at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
    if (c == '\n' || c == '\v' || c == '\f')
        return 1;
    const std::string_view rest = text.substr(at);
    if (rest.starts_with("\xC2\x85"))
        return 2;
    if (rest.starts_with("\xE2\x80\xA8") || rest.starts_with("\xE2\x80\xA9"))
        return 3;
    return 0;
}

} // namespace

std::string repairedUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (static_cast<unsigned char>(bytes[at]) < 0x80) {
            text += bytes[at++];
            continue;
        }
        std::size_t invalidLength = 0;
        if (const std::size_t length = validSequenceLength(bytes, at, invalidLength)) {
            text.append(bytes.substr(at, length));
            at += length;
        } else {
            text.append(replacementCharacter);
            at += invalidLength;
        }
    }
    return text;
}

std::vector<std::string_view> nonEmptyLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t breakLength = lineBreakLength(text, at);
        if (breakLength == 0) {
            ++at;
            continue;
        }
        if (at > start)
            lines.push_back(text.substr(start, at - start));
        at += breakLength;
        start = at;
    }
    if (text.size() > start)
        lines.push_back(text.substr(start));
    return lines;
}
