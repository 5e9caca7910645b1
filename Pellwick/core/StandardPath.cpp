#include "core/StandardPath.h"

std::filesystem::path standardized(const std::filesystem::path& path) {
    std::filesystem::path absolute = path.is_absolute() ? path : std::filesystem::path("/") / path;
    std::string text = absolute.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

bool isInside(const std::string& path, const std::string& folder) {
    const std::string prefix = folder == "/" ? folder : folder + "/";
    return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0;
}

bool hasNulByte(const std::filesystem::path& path) {
    return path.native().find('\0') != std::string::npos;
}
