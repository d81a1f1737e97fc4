// Ampwise's notify dialog in the real program on the simulated PC: where it appears and how
// it slides in, and that the main dialog never reaches a dialog that is gone, keeps a dialog
// opened since, and forgets one whose window could not be made.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "machine_run.h"
#include "pc/machine.h"
#include "win32/gdi32/gdi.h"
#include "win32/user32/user32_control.h"

namespace {

constexpr WPARAM kFirstHubEntry = 10;  // the tray menu's entry of hub slot 0
constexpr UINT kWmOldSgtabRemove = 0x404;
constexpr UINT kWmChgStateUpdate = 0x406;

// A Vexa hub with a Galaxy Tab on port 2, which opens no dialog by itself.
const char kHubWithTabOnPort2[] =
    "controller C1 ports=4\nhub H1 vid=2E7B pid=0610 bcdusb=0210 ports=4\n"
    "device TAB vid=04E8 pid=6860\nkernel version=6.1\nload\nplug H1 C1:1\nplug TAB H1:2\n";

HWND NotifyDialog() {
    return sim::win32::FindShownWindow("notify", -1);
}

// The app lines written from `from` on.
std::vector<std::string> AppLinesFrom(size_t from) {
    std::vector<std::string> app = sim::Machine::Current().log.Texts("app");
    return std::vector<std::string>(app.begin() + static_cast<long>(from), app.end());
}

size_t AppLineCount() {
    return sim::Machine::Current().log.Texts("app").size();
}

uint32_t ScreenPixel(const sim::win32::gdi32::Surface& screen, int x, int y) {
    return screen.At(x, y);
}

TEST(AmpwiseNotifyDialog, SlidesUpIntoTheWorkAreasCornerInTheTopmostBandWithoutActivation) {
    RECT rect = {};
    LONG_PTR ex_style = 0;
    HWND active = NULL, notify = NULL;
    uint32_t top_during = 0, bottom_during = 0, top_after = 0, desktop = 0, face = 0;
    auto run = win32test::RunThenCall(
        std::string("screen 1024 600 taskbar=30\n") + kHubWithTabOnPort2 + "app start\nwait 1s\n",
        [&] {
            HWND main = win32test::AmpwiseMainDialog();
            ASSERT_NE(main, nullptr);
            PostMessageA(main, WM_COMMAND, kFirstHubEntry, 0);
            Sleep(250);
            notify = NotifyDialog();
            ASSERT_NE(notify, nullptr);
            GetWindowRect(notify, &rect);
            ex_style = GetWindowLongPtrA(notify, GWL_EXSTYLE);
            active = GetActiveWindow();
            sim::win32::gdi32::Surface during = sim::win32::gdi32::RenderScreen();
            top_during = ScreenPixel(during, rect.left + 8, rect.top + 3);
            bottom_during = ScreenPixel(during, rect.left + 8, rect.bottom - 3);
            Sleep(400);
            sim::win32::gdi32::Surface after = sim::win32::gdi32::RenderScreen();
            top_after = ScreenPixel(after, rect.left + 8, rect.top + 3);
            desktop = sim::win32::gdi32::PixelFromColor(GetSysColor(COLOR_DESKTOP));
            face = sim::win32::gdi32::PixelFromColor(GetSysColor(COLOR_BTNFACE));
        });
    // 5 pixels inside the corner of the work area: 1024 x 570 above the 30-pixel taskbar.
    EXPECT_EQ(rect.right, 1024 - 5);
    EXPECT_EQ(rect.bottom, 600 - 30 - 5);
    EXPECT_EQ(rect.right - rect.left, 169);
    EXPECT_EQ(rect.bottom - rect.top, 103);
    EXPECT_NE(ex_style & WS_EX_TOPMOST, 0);
    EXPECT_NE(active, notify);
    // Half way through the slide its upper part is still the desktop; then it is all there.
    EXPECT_EQ(top_during, desktop);
    EXPECT_EQ(bottom_during, face);
    EXPECT_EQ(top_after, face);
}

TEST(AmpwiseNotifyDialog, TheMainDialogNeverReachesADialogThatIsGoneAndKeepsOneOpenedSince) {
    std::vector<std::string> after_close, after_reopen;
    win32test::RunThenCall(std::string(kHubWithTabOnPort2) + "app start\nwait 1s\n", [&] {
        HWND main = win32test::AmpwiseMainDialog();
        ASSERT_NE(main, nullptr);
        SendMessageA(main, WM_COMMAND, kFirstHubEntry, 0);
        HWND notify = NotifyDialog();
        ASSERT_NE(notify, nullptr);
        // Closed, and a state update and a resume sent before its posted notice can arrive:
        // sent messages all come before posted ones.
        size_t from = AppLineCount();
        SendNotifyMessageA(notify, WM_COMMAND, IDOK, 0);
        SendNotifyMessageA(main, kWmChgStateUpdate, 0, 0x101);
        SendNotifyMessageA(main, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
        Sleep(100);
        after_close = AppLinesFrom(from);
        // Opened again before that notice arrives: the notice must not make it forgotten.
        SendMessageA(main, WM_COMMAND, kFirstHubEntry, 0);
        Sleep(100);
        from = AppLineCount();
        SendMessageA(main, kWmOldSgtabRemove, 0, 0);
        after_reopen = AppLinesFrom(from);
    });
    EXPECT_TRUE(win32test::SameLines(
        after_close,
        {"dbg CNotifyDlg::OnOK", "dbg UpdateData true", "dbg WM_CHG_STATE_UPDATE, lParam = 101, 1",
         "dbg enter UpdateNotifyDlg", "dbg System resume detected", "dbg Re-send command to hub",
         "dbg hub index = 0, port = 1, mode = 0x101", "dbg Shell_NotifyIcon return 1"}));
    EXPECT_TRUE(win32test::SameLines(
        after_reopen,
        {"dbg WM_OLD_SGTAB_REMOVE", "dbg enter UpdateNotifyDlg", "dbg hubidx = 0",
         "dbg DSPort has device, index = 1", "dbg At UpdateDsPortStatus, m_port_chg_mode[0] = 1"}));
}

TEST(AmpwiseNotifyDialog, ADialogWhoseWindowCouldNotBeMadeIsForgotten) {
    bool shown_after_failure = true, shown_after_retry = false;
    std::vector<std::string> after_failure;
    win32test::RunThenCall(
        std::string(kHubWithTabOnPort2) + "app start\nfail dialog-create 137\nwait 1s\n", [&] {
            HWND main = win32test::AmpwiseMainDialog();
            ASSERT_NE(main, nullptr);
            size_t from = AppLineCount();
            SendMessageA(main, WM_COMMAND, kFirstHubEntry, 0);
            after_failure = AppLinesFrom(from);
            shown_after_failure = NotifyDialog() != NULL;
            SendMessageA(main, WM_COMMAND, kFirstHubEntry, 0);
            shown_after_retry = NotifyDialog() != NULL;
        });
    EXPECT_FALSE(shown_after_failure);
    EXPECT_TRUE(win32test::SameLines(after_failure, {"dbg enter UpdateNotifyDlg"}));
    EXPECT_TRUE(shown_after_retry);
}

}  // namespace
