#pragma once

#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace Cleaner {

// A folder that was to be emptied could not be listed; what() is the text the user sees.
class ListingError : public std::runtime_error {
public:
    ListingError(const std::filesystem::path& path, int error)
        : std::runtime_error("Couldn't read " + path.string() + ": " + std::strerror(error) + "."),
          error_(error) {}

    // The errno of the failed listing.
    [[nodiscard]] int error() const { return error_; }

private:
    int error_;
};

} // namespace Cleaner
