// Any process listing yields only non-empty names without spaces, slashes or line breaks.
#include "FuzzText.h"
#include "core/ProcessRunner.h"
#include "core/Utf8Text.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = repairedUtf8({reinterpret_cast<const char*>(data), size});
    for (const auto& name : parseProcessNames(text)) {
        require(!name.empty(), "name not empty");
        require(name.find(' ') == std::string::npos, "name without space");
        require(!hasLineBreak(name), "name without line break");
        require(name == "/" || name.find('/') == std::string::npos, "name is one component");
    }
    return 0;
}
