// The pictures a person can look at beside the raw files picgen writes.
// preview_png.cpp writes each as a PNG; the browser build, which has no PNG
// library, links preview_none.cpp, which writes nothing.
#pragma once

#include <cstdint>
#include <string>

namespace picgen {

// Writes the 24-bit picture (rows top to bottom) to path as a preview, or
// nothing where previews are not built. False, with the reason on standard
// error, when writing fails.
bool writePreview(const std::string& path, int width, int height, const std::uint8_t* rgb);

} // namespace picgen
