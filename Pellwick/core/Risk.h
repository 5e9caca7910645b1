#pragma once

// What cleaning an item costs the user.
enum class Risk {
    regrows,    // a cache the tool rebuilds or downloads again by itself
    resets,     // state that does not come back (simulator contents, old scratch files)
    reinstalls, // dependencies the user reinstalls with the project's package manager
};
