// The names of the platform's back-buffer and resource formats, for the log.
#include "debuglog/log.h"
#include "dx/dxbase.h"

#include <algorithm>

namespace {

const char* nameOf(D3DFORMAT format) {
    const auto* entry = std::find_if(formatNames.begin(), formatNames.end(),
                                     [format](const dx::FormatName& f) { return f.format == format; });
    return entry == formatNames.end() ? nullptr : entry->name;
}

} // namespace

#define FORMAT_ENTRY(name)                                                                                             \
    dx::FormatName {                                                                                                   \
        name, #name                                                                                                    \
    }
const std::array<dx::FormatName, 60> formatNames = {
    FORMAT_ENTRY(D3DFMT_UNKNOWN),
    FORMAT_ENTRY(D3DFMT_R8G8B8),
    FORMAT_ENTRY(D3DFMT_A8R8G8B8),
    FORMAT_ENTRY(D3DFMT_X8R8G8B8),
    FORMAT_ENTRY(D3DFMT_R5G6B5),
    FORMAT_ENTRY(D3DFMT_X1R5G5B5),
    FORMAT_ENTRY(D3DFMT_A1R5G5B5),
    FORMAT_ENTRY(D3DFMT_A4R4G4B4),
    FORMAT_ENTRY(D3DFMT_R3G3B2),
    FORMAT_ENTRY(D3DFMT_A8),
    FORMAT_ENTRY(D3DFMT_A8R3G3B2),
    FORMAT_ENTRY(D3DFMT_X4R4G4B4),
    FORMAT_ENTRY(D3DFMT_A2B10G10R10),
    FORMAT_ENTRY(D3DFMT_A8B8G8R8),
    FORMAT_ENTRY(D3DFMT_X8B8G8R8),
    FORMAT_ENTRY(D3DFMT_G16R16),
    FORMAT_ENTRY(D3DFMT_A2R10G10B10),
    FORMAT_ENTRY(D3DFMT_A16B16G16R16),
    FORMAT_ENTRY(D3DFMT_A8P8),
    FORMAT_ENTRY(D3DFMT_P8),
    FORMAT_ENTRY(D3DFMT_L8),
    FORMAT_ENTRY(D3DFMT_A8L8),
    FORMAT_ENTRY(D3DFMT_A4L4),
    FORMAT_ENTRY(D3DFMT_V8U8),
    FORMAT_ENTRY(D3DFMT_L6V5U5),
    FORMAT_ENTRY(D3DFMT_X8L8V8U8),
    FORMAT_ENTRY(D3DFMT_Q8W8V8U8),
    FORMAT_ENTRY(D3DFMT_V16U16),
    FORMAT_ENTRY(D3DFMT_A2W10V10U10),
    FORMAT_ENTRY(D3DFMT_UYVY),
    FORMAT_ENTRY(D3DFMT_R8G8_B8G8),
    FORMAT_ENTRY(D3DFMT_YUY2),
    FORMAT_ENTRY(D3DFMT_G8R8_G8B8),
    FORMAT_ENTRY(D3DFMT_DXT1),
    FORMAT_ENTRY(D3DFMT_DXT2),
    FORMAT_ENTRY(D3DFMT_DXT3),
    FORMAT_ENTRY(D3DFMT_DXT4),
    FORMAT_ENTRY(D3DFMT_DXT5),
    FORMAT_ENTRY(D3DFMT_D16_LOCKABLE),
    FORMAT_ENTRY(D3DFMT_D32),
    FORMAT_ENTRY(D3DFMT_D15S1),
    FORMAT_ENTRY(D3DFMT_D24S8),
    FORMAT_ENTRY(D3DFMT_D24X8),
    FORMAT_ENTRY(D3DFMT_D24X4S4),
    FORMAT_ENTRY(D3DFMT_D16),
    FORMAT_ENTRY(D3DFMT_D32F_LOCKABLE),
    FORMAT_ENTRY(D3DFMT_D24FS8),
    FORMAT_ENTRY(D3DFMT_L16),
    FORMAT_ENTRY(D3DFMT_VERTEXDATA),
    FORMAT_ENTRY(D3DFMT_INDEX16),
    FORMAT_ENTRY(D3DFMT_INDEX32),
    FORMAT_ENTRY(D3DFMT_Q16W16V16U16),
    FORMAT_ENTRY(D3DFMT_MULTI2_ARGB8),
    FORMAT_ENTRY(D3DFMT_R16F),
    FORMAT_ENTRY(D3DFMT_G16R16F),
    FORMAT_ENTRY(D3DFMT_A16B16G16R16F),
    FORMAT_ENTRY(D3DFMT_R32F),
    FORMAT_ENTRY(D3DFMT_G32R32F),
    FORMAT_ENTRY(D3DFMT_A32B32G32R32F),
    FORMAT_ENTRY(D3DFMT_CxV8U8),
};
#undef FORMAT_ENTRY

void logFormatName(D3DFORMAT format, const char* title) {
    if (title != nullptr) {
        logPrintf("%s", title);
    }
    if (const char* name = nameOf(format)) {
        logPrintf("%s", name);
    }
}
