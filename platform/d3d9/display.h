// The displays a live device can go to, as the host's window system reports
// them: one implementation per platform backend (display.cpp over SDL,
// displayweb.cpp for the browser's canvas), chosen when the tree is built.
#pragma once

#include "platform/d3d9/d3d9types.h"

#include <string>
#include <vector>

namespace platform::d3d9 {

// Starts the host's video; false with a reason in error when it cannot.
bool startDisplays(std::string& error);
// Stops what startDisplays started.
void stopDisplays();
int displayCount();
// The display's name, or empty when the host gives none.
std::string displayName(int display);
// The display's modes of 24 bits or more, by size then rate, each once.
std::vector<D3DDISPLAYMODE> displayModes(int display);
// The display's current mode; false when the host cannot say.
bool desktopMode(int display, D3DDISPLAYMODE& mode);

} // namespace platform::d3d9
