#include "core/VersionComparison.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

enum class PartKind { number, text, period, otherSeparator, dash };

// The separators Sparkle takes from the Unicode punctuation categories (P*), restricted to ASCII.
// Symbols such as "+", "~" or "^" are categories S* and therefore count as text.
bool isPunctuation(char character) {
    return std::string_view("!\"#%&'()*,/:;?@[\\]_{}").find(character) != std::string_view::npos;
}

bool isWhiteSpace(char character) {
    return std::string_view(" \t\n\r\v\f").find(character) != std::string_view::npos;
}

PartKind kindOf(char character) {
    if (character == '.')
        return PartKind::period;
    if (character == '-')
        return PartKind::dash;
    if (character >= '0' && character <= '9')
        return PartKind::number;
    if (isWhiteSpace(character) || isPunctuation(character))
        return PartKind::otherSeparator;
    return PartKind::text;
}

bool isSeparator(PartKind kind) {
    return kind == PartKind::period || kind == PartKind::otherSeparator;
}

struct Part {
    PartKind kind;
    std::string text;
};

// A leading "-" is kept as a part of its own; any later "-" ends the version.
std::vector<Part> splitVersion(std::string_view version) {
    std::vector<Part> parts;
    if (version.empty())
        return parts;
    parts.push_back({kindOf(version.front()), std::string(1, version.front())});
    for (const char character : version.substr(1)) {
        const PartKind kind = kindOf(character);
        if (kind == PartKind::dash)
            break;
        Part& last = parts.back();
        if (kind != last.kind || isSeparator(last.kind))
            parts.push_back({kind, std::string(1, character)});
        else
            last.text += character;
    }
    return parts;
}

std::size_t leadingNumbersAndPeriods(const std::vector<Part>& parts) {
    const auto end = std::find_if(parts.begin(), parts.end(), [](const Part& part) {
        return part.kind != PartKind::number && part.kind != PartKind::period;
    });
    return static_cast<std::size_t>(end - parts.begin());
}

// Pads the shorter numeric head with zeros and periods shaped like the longer one, so that
// "1.1" meets "1.0.0" as "1.1.0".
void balance(std::vector<Part>& shorter, std::size_t shorterHead, const std::vector<Part>& longer,
             std::size_t longerHead) {
    for (std::size_t index = shorterHead; index < longerHead; ++index) {
        const bool period = longer[index].kind == PartKind::period;
        shorter.insert(shorter.begin() + static_cast<std::ptrdiff_t>(index),
                       Part{longer[index].kind, period ? "." : "0"});
    }
}

// Digits beyond the 64-bit range saturate, as Foundation's longLongValue does.
std::int64_t numberValue(const std::string& digits) {
    std::int64_t value = 0;
    for (const char digit : digits) {
        if (__builtin_mul_overflow(value, 10, &value) ||
            __builtin_add_overflow(value, digit - '0', &value))
            return std::numeric_limits<std::int64_t>::max();
    }
    return value;
}

bool sameKindClass(PartKind a, PartKind b) {
    return a == b || (isSeparator(a) && isSeparator(b));
}

std::strong_ordering compareParts(const Part& a, const Part& b) {
    if (sameKindClass(a.kind, b.kind)) {
        if (a.kind == PartKind::number)
            return numberValue(a.text) <=> numberValue(b.text);
        if (a.kind == PartKind::text)
            return a.text.compare(b.text) <=> 0;
        return std::strong_ordering::equal;
    }
    if (b.kind == PartKind::text)
        return std::strong_ordering::greater;
    if (a.kind == PartKind::text)
        return std::strong_ordering::less;
    // A number against a separator or a dash: the number wins.
    return a.kind == PartKind::number ? std::strong_ordering::greater : std::strong_ordering::less;
}

} // namespace

std::strong_ordering compareVersions(std::string_view a, std::string_view b) {
    std::vector<Part> partsA = splitVersion(a);
    std::vector<Part> partsB = splitVersion(b);
    const std::size_t headA = leadingNumbersAndPeriods(partsA);
    const std::size_t headB = leadingNumbersAndPeriods(partsB);
    if (headA > headB)
        balance(partsB, headB, partsA, headA);
    else if (headB > headA)
        balance(partsA, headA, partsB, headB);

    const std::size_t common = std::min(partsA.size(), partsB.size());
    for (std::size_t index = 0; index < common; ++index) {
        if (const auto order = compareParts(partsA[index], partsB[index]); order != 0)
            return order;
    }
    if (partsA.size() == partsB.size())
        return std::strong_ordering::equal;
    // The longer version wins unless what it has more of starts with text ("1.0" > "1.0a1").
    const bool aIsLonger = partsA.size() > partsB.size();
    const Part& extra = aIsLonger ? partsA[common] : partsB[common];
    const bool longerWins = extra.kind != PartKind::text;
    return aIsLonger == longerWins ? std::strong_ordering::greater : std::strong_ordering::less;
}
