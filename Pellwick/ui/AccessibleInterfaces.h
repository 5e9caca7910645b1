#pragma once

// Registers the accessibility interfaces of Pellwick's own custom widgets (the list row, the
// gauge) with Qt, which hands them to the AT-SPI bridge. Safe to call any number of times.
void installAccessibleInterfaces();
