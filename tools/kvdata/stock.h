#pragma once
// The stock archive "zzzz.saf": HUD and title images, fonts and the collision shapes.
#include "archive.h"

#include <vector>

// The entries in archive order (fixed, so the archive bytes are too).
std::vector<ArchiveEntry> stock_entries();
// SHA-1 of the shape files' contents read one after another in the fixed-file order.
void stock_shape_digest(char text[41]);
