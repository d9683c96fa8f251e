// The format name table and its log lines.
#include "dx/dxbase.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <utility>

namespace {

std::string logOf(D3DFORMAT format, const char* title) {
    ::testing::internal::CaptureStderr();
    logFormatName(format, title);
    return ::testing::internal::GetCapturedStderr();
}

TEST(FormatNames, SixtyDistinctEntriesFromUnknownToCxV8U8) {
    ASSERT_EQ(formatNames.size(), 60u);
    const dx::FormatName &first = formatNames.front(), &last = formatNames.back();
    EXPECT_EQ(std::tuple(first.format, std::string(first.name), last.format, std::string(last.name)),
              std::tuple(0u, "D3DFMT_UNKNOWN", 117u, "D3DFMT_CxV8U8"));
    std::set<DWORD> values;
    std::set<std::string> names;
    for (const dx::FormatName& f : formatNames) {
        values.insert(f.format);
        names.insert(f.name);
        EXPECT_EQ(std::string(f.name).rfind("D3DFMT_", 0), 0u) << f.name;
        EXPECT_NE(std::string(f.name), "D3DFMT_FORCE_DWORD");
    }
    EXPECT_EQ(std::pair(values.size(), names.size()), std::pair(std::size_t{60}, std::size_t{60}));
}

TEST(FormatNames, FourCharacterCodesCarryTheirCodes) {
    // 'D' 'X' 'T' '1' little-endian: 0x31545844; 'U' 'Y' 'V' 'Y': 0x59565955.
    EXPECT_EQ(logOf(static_cast<D3DFORMAT>(0x31545844u), nullptr), "D3DFMT_DXT1\n");
    EXPECT_EQ(logOf(static_cast<D3DFORMAT>(0x59565955u), nullptr), "D3DFMT_UYVY\n");
    EXPECT_EQ(logOf(static_cast<D3DFORMAT>(0x3154454Du), nullptr), "D3DFMT_MULTI2_ARGB8\n");
}

TEST(FormatNames, TitleThenNameAndNothingForUnknownValues) {
    EXPECT_EQ(logOf(static_cast<D3DFORMAT>(34), "Format som används"), "Format som används\nD3DFMT_G16R16\n");
    EXPECT_EQ(logOf(static_cast<D3DFORMAT>(75), "Usable depthstencilformat:"),
              "Usable depthstencilformat:\nD3DFMT_D24S8\n");
    EXPECT_EQ(logOf(static_cast<D3DFORMAT>(19), "Backbuffer format:"), "Backbuffer format:\n");
    EXPECT_EQ(logOf(static_cast<D3DFORMAT>(0x7FFFFFFFu), nullptr), "");
    EXPECT_EQ(logOf(static_cast<D3DFORMAT>(83), nullptr), "D3DFMT_D24FS8\n");
}

} // namespace
