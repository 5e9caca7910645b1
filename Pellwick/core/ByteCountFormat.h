#pragma once

#include <cstdint>
#include <string>

// The one wording of byte counts shown to the user: decimal units (1 kB = 1000 bytes), all
// units allowed, zero spelled out, no exact count appended ("84.23 GB", "Zero kB").
[[nodiscard]] std::string formatByteCount(std::int64_t bytes);
