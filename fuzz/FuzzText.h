#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

// A broken property stops the fuzzer with the input that broke it.
inline void require(bool holds, const char* property) {
    if (holds)
        return;
    std::fprintf(stderr, "property broken: %s\n", property);
    std::abort();
}

[[nodiscard]] inline bool isSpaceOrTab(char c) {
    return c == ' ' || c == '\t';
}

[[nodiscard]] inline bool hasLineBreak(std::string_view text) {
    for (std::string_view mark :
         {"\n", "\r", "\v", "\f", "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9"})
        if (text.find(mark) != std::string_view::npos)
            return true;
    return false;
}
