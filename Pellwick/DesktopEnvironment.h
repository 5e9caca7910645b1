#pragma once

#include "AppModel.h"

// The model's environment on this desktop: the user's real home folder, volume, settings
// file and clock.
[[nodiscard]] AppModel::Environment desktopEnvironment();
