// The setup dialog driven by the scripted user, the window procedure and
// device creation, against a mock Direct3D object in virtual run mode.
#include "dx/dxbase.h"
#include "dx/dxdevice.h"
#include "errors/errors.h"
#include "platform/kernel/runmode.h"
#include "platform/win32/dialog.h"
#include "platform/win32/script.h"
#include "resources/dialogs/dialogs.h"
#include "tests/dx/fakedevice.h"
#include "tests/platform/win32/showsetup.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using ::testing::_;
using ::testing::Field;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::Throws;
namespace script = platform::win32::script;

namespace {

using platform::win32::test::showsetup::rows;

class SetupTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        platform::kernel::setRunMode(platform::kernel::RunMode::virtualRun);
        resources::installDialogResources();
        static dx::dxwindow window;
        window.createMainWindow();
    }

    SetupTest() {
        script::clear();
        std::memset(modeTable, 0, sizeof modeTable);
        theDevice = nullptr;
        direct3D = &d3d;
        d3d.modes = {{640, 480, 60, D3DFMT_X8R8G8B8},    {640, 480, 75, D3DFMT_X8R8G8B8},
                     {1280, 960, 60, D3DFMT_X8R8G8B8},   {1280, 1024, 60, D3DFMT_X8R8G8B8},
                     {1280, 1024, 100, D3DFMT_X8R8G8B8}, {1280, 1024, 75, D3DFMT_X8R8G8B8}};
        settings.showSetupDialog = 1;
        settings.caption = "hehe";
        settings.hardwareVertexProcessing = 1;
        settings.width = 800;
        settings.height = 600;
        settings.refreshRate = 75;
        settings.backBufferFormat = D3DFMT_A8R8G8B8;
        settings.windowed = 0;
    }

    // Runs setupDisplay and returns the log it wrote.
    std::string run() {
        ::testing::internal::CaptureStderr();
        try {
            result = window.setupDisplay(settings);
        } catch (...) {
            log = ::testing::internal::GetCapturedStderr();
            throw;
        }
        log = ::testing::internal::GetCapturedStderr();
        return log;
    }

    // Start-up from the record's mode and format, without the dialog.
    void useTheRecord() {
        settings.showSetupDialog = 0;
        settings.backBufferFormat = D3DFMT_X8R8G8B8;
    }

    // Adapter 1, the resolution row, the refresh row, then OK.
    void choose(int resolutionRow, int refreshRow) {
        script::chooseRow(resources::kAdapterList, 0);
        script::chooseRow(resources::kResolutionList, resolutionRow);
        script::chooseRow(resources::kRefreshRateList, refreshRow);
    }

    NiceMock<dx::test::Direct3D> d3d;
    dx::dxwindow window;
    DemoSettings settings{};
    device* result = nullptr;
    std::string log;
};

TEST_F(SetupTest, ListsAdaptersResolutionsAndRefreshRatesAsAPersonSeesThem) {
    std::vector<std::string> adapters, resolutions, rates;
    script::chooseRow(resources::kAdapterList, 0);
    script::chooseRow(resources::kResolutionList, 2);
    script::call([&](HWND dialog) {
        adapters = rows(dialog, resources::kAdapterList);
        resolutions = rows(dialog, resources::kResolutionList);
        rates = rows(dialog, resources::kRefreshRateList);
    });
    script::chooseRow(resources::kResolutionList, 0);
    std::vector<std::string> ratesOf640;
    script::call([&](HWND dialog) { ratesOf640 = rows(dialog, resources::kRefreshRateList); });
    script::click(IDCANCEL);
    EXPECT_THAT([&] { run(); }, Throws<qtv_d3d::quitException>(Field(&qtv_d3d::quitException::code, 1)));
    EXPECT_EQ(adapters, std::vector<std::string>{"1. Fake Adapter [14]"});
    EXPECT_EQ(resolutions, (std::vector<std::string>{"640x480", "1280x960", "1280x1024"}));
    // Sorted as text: "100 Hz" comes before "60 Hz".
    EXPECT_EQ(rates, (std::vector<std::string>{"100 Hz", "60 Hz", "75 Hz"}));
    EXPECT_EQ(ratesOf640, (std::vector<std::string>{"60 Hz", "75 Hz"}));
    EXPECT_EQ(theDevice, nullptr);
    EXPECT_EQ(script::failures(), 0);
}

TEST_F(SetupTest, OkOpensTheChosenModeWindowed) {
    choose(2, 2); // 1280x1024, "75 Hz"
    script::click(IDOK);
    run();
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result, theDevice);
    const D3DPRESENT_PARAMETERS& p = d3d.lastParameters;
    EXPECT_EQ(std::tuple(p.BackBufferWidth, p.BackBufferHeight, p.BackBufferFormat, p.Windowed,
                         p.FullScreen_RefreshRateInHz, p.PresentationInterval, p.BackBufferCount, p.SwapEffect,
                         p.EnableAutoDepthStencil),
              std::tuple(1280u, 1024u, D3DFMT_X8R8G8B8, TRUE, 0u, D3DPRESENT_INTERVAL_IMMEDIATE, 2u,
                         D3DSWAPEFFECT_DISCARD, TRUE));
    EXPECT_EQ(std::tuple(d3d.lastBehaviour, activeSettings.backBufferFormat, result->presentParameters.BackBufferWidth,
                         result->window),
              std::tuple(D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DFMT_X8R8G8B8, 1280u, *mainWindow));
    EXPECT_FLOAT_EQ(result->targetSize[0].height, 1024.0f);
    RECT client{};
    GetClientRect(*mainWindow, &client);
    EXPECT_EQ(client.right - client.left, 1280);
    EXPECT_TRUE(IsWindowVisible(*mainWindow));
}

TEST_F(SetupTest, FullscreenTogglesWithEachClick) {
    for (int clicks : {1, 2, 3}) {
        script::clear();
        choose(0, 1); // 640x480, "75 Hz"
        for (int i = 0; i < clicks; ++i) {
            script::click(resources::kFullscreenCheckBox);
        }
        script::click(IDOK);
        run();
        const bool fullScreen = clicks % 2 == 1;
        const D3DPRESENT_PARAMETERS& p = d3d.lastParameters;
        EXPECT_EQ(std::tuple(p.Windowed, p.FullScreen_RefreshRateInHz, p.PresentationInterval),
                  fullScreen ? std::tuple(FALSE, 75u, D3DPRESENT_INTERVAL_ONE)
                             : std::tuple(TRUE, 0u, D3DPRESENT_INTERVAL_IMMEDIATE))
            << clicks;
    }
}

TEST_F(SetupTest, OkWaitsForARefreshRate) {
    bool enabledBefore = true, enabledAfter = false;
    script::chooseRow(resources::kAdapterList, 0);
    script::chooseRow(resources::kResolutionList, 0);
    script::click(IDOK); // disabled: ignored
    script::call([&](HWND dialog) { enabledBefore = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE; });
    script::chooseRow(resources::kRefreshRateList, 0);
    script::call([&](HWND dialog) { enabledAfter = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE; });
    // A new resolution empties the refresh list; OK stays enabled but finds no mode.
    script::chooseRow(resources::kResolutionList, 1);
    script::click(IDOK);
    bool stillOpen = false;
    script::call([&](HWND) { stillOpen = true; });
    script::chooseRow(resources::kRefreshRateList, 0);
    script::click(IDOK);
    EXPECT_CALL(d3d, CreateDevice(_, _, _, _, _, _)).Times(1);
    run();
    EXPECT_EQ((std::array{enabledBefore, enabledAfter, stillOpen}), (std::array{false, true, true}));
    EXPECT_EQ(std::pair(d3d.lastParameters.BackBufferWidth, d3d.lastParameters.BackBufferHeight),
              std::pair(1280u, 960u));
}

TEST_F(SetupTest, WithoutTheDialogTheRecordsModeIsUsed) {
    useTheRecord();
    settings.width = 1024;
    settings.height = 768;
    settings.refreshRate = 85;
    settings.windowed = 0;
    EXPECT_CALL(d3d, CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET, D3DRTYPE_SURFACE,
                                       D3DFMT_X8R8G8B8));
    EXPECT_CALL(d3d, CheckDeviceFormat(0, _, _, D3DUSAGE_DEPTHSTENCIL, _, _)).Times(1);
    EXPECT_CALL(d3d, GetAdapterModeCount(_, _)).Times(0);
    run();
    const D3DPRESENT_PARAMETERS& p = d3d.lastParameters;
    EXPECT_EQ(std::tuple(p.BackBufferWidth, p.BackBufferHeight, p.FullScreen_RefreshRateInHz, p.Windowed),
              std::tuple(1024u, 768u, 85u, FALSE));
    EXPECT_EQ(std::pair(modeTable[0][0].RefreshRate, modeTable[0][1].Width), std::pair(85u, 0u));
}

TEST_F(SetupTest, StartLogLinesInOrder) {
    useTheRecord();
    settings.windowed = 1;
    run();
    EXPECT_EQ(log, "Backbuffer format:\nD3DFMT_X8R8G8B8\nUsable depthstencilformat:\nD3DFMT_D24S8\n"
                   "Format som används\nD3DFMT_G16R16\ntarget 1 har xres = 1024 och yres = 1024!\n\n");
    EXPECT_EQ(std::tuple(result->targetCount, d3d.lastParameters.AutoDepthStencilFormat), std::tuple(2, D3DFMT_D24S8));
}

TEST_F(SetupTest, DepthStencilIsTheFirstSupportedCandidate) {
    useTheRecord();
    struct Case {
        std::vector<D3DFORMAT> supported;
        D3DFORMAT expected;
    };
    const Case cases[] = {
        {{D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D15S1}, D3DFMT_D24S8},
        {{D3DFMT_D16, D3DFMT_D15S1}, D3DFMT_D16},
        {{D3DFMT_D16, D3DFMT_D24X8}, D3DFMT_D24X8},
        {{D3DFMT_D16, D3DFMT_D32}, D3DFMT_D32},
        {{D3DFMT_D24FS8, D3DFMT_D24X4S4}, D3DFMT_D24X4S4},
        {{D3DFMT_D15S1, D3DFMT_D16_LOCKABLE}, D3DFMT_D15S1},
    };
    for (const Case& c : cases) {
        ON_CALL(d3d, CheckDeviceFormat(_, _, _, D3DUSAGE_DEPTHSTENCIL, _, _))
            .WillByDefault([&](UINT, D3DDEVTYPE, D3DFORMAT, DWORD, D3DRESOURCETYPE, D3DFORMAT f) {
                for (D3DFORMAT s : c.supported) {
                    if (s == f) {
                        return D3D_OK;
                    }
                }
                return D3DERR_NOTAVAILABLE;
            });
        run();
        EXPECT_EQ(d3d.lastParameters.AutoDepthStencilFormat, c.expected);
    }
    ON_CALL(d3d, CheckDeviceFormat(_, _, _, D3DUSAGE_DEPTHSTENCIL, _, _)).WillByDefault(Return(D3DERR_NOTAVAILABLE));
    EXPECT_THROW(run(), qtv_d3d::exception);
    EXPECT_EQ(errors::errorRecordText(),
              "File: dxbase\nLine: 172\nMessage: Lack of supporting depthstencil for this backbuffer format..\n");
}

TEST_F(SetupTest, RefusedShadowMapTargetOnlyWarns) {
    useTheRecord();
    ON_CALL(d3d.device, CreateTexture(_, _, _, _, D3DFMT_G16R16, _, _, _)).WillByDefault(Return(D3DERR_NOTAVAILABLE));
    run();
    EXPECT_NE(log.find("Format som används\nD3DFMT_G16R16\nwarning, shadowmaps aren't supported\n"), std::string::npos)
        << log;
    EXPECT_EQ(log.find("target 1"), std::string::npos);
    EXPECT_EQ(result->targetCount, 1);
}

TEST_F(SetupTest, FailuresRaiseWithTheirLines) {
    useTheRecord();
    struct Case {
        std::function<void(dx::test::Direct3D&)> arrange;
        int line;
    };
    const Case cases[] = {
        {[](dx::test::Direct3D& f) {
             ON_CALL(f, CheckDeviceFormat(_, _, _, D3DUSAGE_RENDERTARGET, _, _)).WillByDefault(Return(E_FAIL));
         },
         114},
        {[](dx::test::Direct3D& f) { ON_CALL(f, GetDeviceCaps(_, _, _)).WillByDefault(Return(E_FAIL)); }, 118},
        {[](dx::test::Direct3D& f) { ON_CALL(f, CreateDevice(_, _, _, _, _, _)).WillByDefault(Return(E_FAIL)); }, 208},
        {[](dx::test::Direct3D& f) { ON_CALL(f.device, GetBackBuffer(_, _, _, _)).WillByDefault(Return(E_FAIL)); },
         210},
        {[](dx::test::Direct3D& f) { ON_CALL(f.device, GetDepthStencilSurface(_)).WillByDefault(Return(E_FAIL)); },
         212},
    };
    for (const Case& c : cases) {
        NiceMock<dx::test::Direct3D> failing;
        c.arrange(failing);
        direct3D = &failing;
        EXPECT_THROW(run(), qtv_d3d::exception) << c.line;
        EXPECT_EQ(errors::errorRecordText(),
                  "File: dxbase\nLine: " + std::to_string(c.line) + "\nMessage: auto throw(d3d)\n");
    }
}

TEST_F(SetupTest, SoftwareVertexProcessingWithoutHardwareTransform) {
    useTheRecord();
    d3d.caps.DevCaps = 0;
    run();
    EXPECT_EQ(std::tuple(d3d.lastBehaviour, activeSettings.hardwareVertexProcessing),
              std::tuple(D3DCREATE_SOFTWARE_VERTEXPROCESSING, 0));
}

TEST_F(SetupTest, AdapterAndModeListsStopAtTheTable) {
    d3d.descriptions = {"a", "b", "c", "d", "e", "f", "g"};
    d3d.modes.clear();
    for (UINT m = 0; m < 130; ++m) {
        d3d.modes.push_back({640 + 8 * m, 480, 60, D3DFMT_X8R8G8B8});
    }
    std::size_t adapterRows = 0, resolutionRows = 0;
    script::chooseRow(resources::kAdapterList, 4);
    script::call([&](HWND dialog) {
        adapterRows = rows(dialog, resources::kAdapterList).size();
        resolutionRows = rows(dialog, resources::kResolutionList).size();
    });
    script::chooseRow(resources::kAdapterList, 6);
    script::click(IDCANCEL);
    EXPECT_CALL(d3d, EnumAdapterModes(4, _, _, _)).Times(100);
    EXPECT_THROW(run(), qtv_d3d::quitException);
    EXPECT_EQ(std::tuple(adapterRows, resolutionRows, modeTable[4][99].Width),
              std::tuple(std::size_t{5}, std::size_t{100}, 640u + 8u * 99u));
    // The seventh adapter has no row: choosing it names a missing row.
    EXPECT_EQ(script::failures(), 1);
}

TEST_F(SetupTest, IdentifierFailureRaises) {
    ON_CALL(d3d, GetAdapterIdentifier(_, _, _)).WillByDefault(Return(E_FAIL));
    EXPECT_THROW(run(), qtv_d3d::exception);
    EXPECT_EQ(errors::errorRecordText(), "File: dxbase\nLine: 263\nMessage: auto throw(d3d)\n");
}

TEST(MainWindowProc, EscapeClosingAndDestroyingQuit) {
    for (auto [message, key] : {std::pair<UINT, WPARAM>{WM_KEYDOWN, VK_ESCAPE}, {WM_CLOSE, 0}, {WM_DESTROY, 0}}) {
        EXPECT_THAT([&] { mainWindowProc(nullptr, message, key, 0); },
                    Throws<qtv_d3d::quitException>(Field(&qtv_d3d::quitException::code, 1)))
            << message;
    }
    EXPECT_EQ(mainWindowProc(nullptr, WM_KEYDOWN, VK_SPACE, 0), 0);
}

} // namespace
