// The services' one refusal format: "<service>: <text>" and a newline, cut to
// the line buffer without losing the newline; the once form logs only once.
#include "platform/kernel/refusal.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using tests::support::stderrOf;

TEST(Refusal, OneLineNamingTheService) {
    EXPECT_EQ(stderrOf([] { platform::kernel::logRefusal("user", "%s refused: %s", "EndDialog", "not a dialog"); }),
              "user: EndDialog refused: not a dialog\n");
    EXPECT_EQ(stderrOf([] { platform::kernel::logRefusal("d3d9", "SetRenderState(%d, 0x%x)", 7, 255u); }),
              "d3d9: SetRenderState(7, 0xff)\n");
    // A text longer than the line is cut, and the line still ends it.
    const std::string cut = stderrOf([] { platform::kernel::logRefusal("gdi", "%s", std::string(2000, 'x').c_str()); });
    ASSERT_GE(cut.size(), 2u);
    EXPECT_LT(cut.size(), 1000u);
    EXPECT_EQ(cut.substr(0, 6), "gdi: x");
    EXPECT_EQ(cut.back(), '\n');
    EXPECT_EQ(cut.find('\n'), cut.size() - 1);
}

TEST(Refusal, OnceLogsTheFirstTimeOnly) {
    static bool said = false;
    const std::string out = stderrOf([] {
        for (int frame = 0; frame < 3; ++frame) {
            platform::kernel::logRefusalOnce(said, "d3d9", "BeginScene inside a scene (frame %d)", frame);
        }
    });
    EXPECT_EQ(out, "d3d9: BeginScene inside a scene (frame 0)\n");
    EXPECT_TRUE(said);
}

} // namespace
