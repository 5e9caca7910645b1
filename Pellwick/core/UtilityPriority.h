#pragma once

// Lowers the calling thread's CPU and I/O priority once, so background measuring and
// deleting never compete with the desktop. Safe to call repeatedly.
void enterUtilityPriority();
