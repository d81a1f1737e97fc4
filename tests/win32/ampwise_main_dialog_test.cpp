// Ampwise's hidden main dialog, the real program started on the simulated PC: it is never
// shown, Enter and Escape reaching it do not end the program, a WM_COMMAND whose low byte is
// 3 is the menu's Exit whatever its high bits, and each message it handles leaves the trace
// lines its handler writes, in order.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "machine_run.h"
#include "win32/process/process.h"
#include "win32/user32/menu_control.h"
#include "win32/user32/user32_control.h"

namespace {

size_t Count(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

TEST(AmpwiseMainDialog, StaysHiddenAndEndsOnlyThroughExit) {
    bool found = false;
    bool ever_visible = false;
    size_t stops_after_keys = 0;
    auto run = win32test::RunThenCall(
        "controller C1 ports=2\nkernel version=6.1\napp start\nwait 1s\n", [&] {
            HWND dialog = win32test::AmpwiseMainDialog();
            found = dialog != NULL;
            if (!found) {
                return;
            }
            ever_visible = IsWindowVisible(dialog) != FALSE;
            sim::win32::PressKey(dialog, VK_RETURN);
            sim::win32::PressKey(dialog, VK_ESCAPE);
            Sleep(1000);
            ever_visible = ever_visible || IsWindowVisible(dialog) != FALSE;
            stops_after_keys =
                Count(sim::Machine::Current().log.Texts("app"), "dbg before wait thread end");
            PostMessageA(dialog, WM_COMMAND, 0x7F03, 0);
            Sleep(7000);
        });
    ASSERT_TRUE(found) << run.Tail();
    EXPECT_FALSE(ever_visible);
    EXPECT_EQ(stops_after_keys, 0u) << "Enter or Escape ended the program";
    std::vector<std::string> app = run.Lines("app");
    EXPECT_EQ(Count(app, "dbg before wait thread end"), 1u) << run.Tail();
    EXPECT_EQ(Count(app, "dbg after wait thread end"), 1u) << run.Tail();
}

// One message sent to the main dialog and the trace lines its handling writes. The rows run
// in order on one program, so a row sees what the rows before it left.
struct MessageRow {
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    std::vector<std::string> lines;
};
const MessageRow kMessageRows[] = {
    {0x403, 2, 0, {"dbg WM_NEW_VEXAHUB_ARRIVE, wParam = 0x2"}},
    {0x404, 0, 0, {"dbg WM_OLD_SGTAB_REMOVE", "dbg enter UpdateNotifyDlg"}},
    {0x405, 0, 0, {"dbg WM_OLD_VEXAHUB_REMOVE"}},
    // Port 1 of hub slot 0 now charges; a slot beyond the list's eight is ignored.
    {0x406, 0, 0x101, {"dbg WM_CHG_STATE_UPDATE, lParam = 101, 1", "dbg enter UpdateNotifyDlg"}},
    {0x406, 9, 0x101, {"dbg WM_CHG_STATE_UPDATE, lParam = 101, 1"}},
    // At resume the charging port's command is queued again.
    {WM_POWERBROADCAST,
     0x12,
     0,
     {"dbg System resume detected", "dbg Re-send command to hub",
      "dbg hub index = 0, port = 1, mode = 0x101"}},
    {WM_POWERBROADCAST, 4, 0, {}},
    {0x407, 0, 0, {}},
    // The port's state is gone with the lists: resume finds nothing to send again.
    {WM_POWERBROADCAST, 0x12, 0, {"dbg System resume detected"}},
    {0x401, 0x1234, WM_RBUTTONDOWN, {"dbg OnTrayIconNotify Enter: uID = 1234"}},
    {0x401, 0x1010F0F0, WM_LBUTTONDOWN, {"dbg OnTrayIconNotify Enter: uID = 1010f0f0"}},
    {0x401, 0x1010F0F0, WM_MOUSEMOVE, {"dbg OnTrayIconNotify Enter: uID = 1010f0f0"}},
    {WM_TIMER, 100, 0, {"dbg Shell_NotifyIcon return 1"}},
    {WM_TIMER, 99, 0, {}},
};

TEST(AmpwiseMainDialog, EachHandledMessageWritesItsTraceLines) {
    std::vector<std::vector<std::string>> written;
    auto run = win32test::RunThenCall(
        "controller C1 ports=2\nkernel version=6.1\napp start\nwait 1s\n", [&] {
            HWND dialog = win32test::AmpwiseMainDialog();
            ASSERT_NE(dialog, nullptr);
            for (const MessageRow& row : kMessageRows) {
                size_t before = sim::Machine::Current().log.Texts("app").size();
                SendMessageA(dialog, row.message, row.wparam, row.lparam);
                std::vector<std::string> app = sim::Machine::Current().log.Texts("app");
                written.emplace_back(app.begin() + static_cast<long>(before), app.end());
            }
        });
    ASSERT_EQ(written.size(), std::size(kMessageRows));
    for (size_t i = 0; i < written.size(); ++i) {
        EXPECT_TRUE(win32test::SameLines(written[i], kMessageRows[i].lines))
            << "row " << i << " (message 0x" << std::hex << kMessageRows[i].message << ")";
    }
}

// The tray's callback with WM_CONTEXTMENU (the keyboard's menu key) opens the menu as the
// right button does.
TEST(AmpwiseMainDialog, TheContextMenuCallbackOpensTheMenu) {
    bool opened = false;
    auto run = win32test::RunThenCall(
        "controller C1 ports=2\nkernel version=6.1\napp start\nwait 1s\n", [&] {
            HWND dialog = win32test::AmpwiseMainDialog();
            ASSERT_NE(dialog, nullptr);
            PostMessageA(dialog, 0x401, 0x1010F0F0, WM_CONTEXTMENU);
            Sleep(100);
            opened = sim::win32::MenuIsOpen();
            sim::win32::DismissMenu();
            Sleep(100);
        });
    EXPECT_TRUE(opened) << run.Tail();
}

// String 1001 as the offline tooltip: up to 64 characters it is shown, a longer one is
// ignored and the tooltip stays as it was.
struct TooltipRow {
    size_t length;
    bool shown;
};
const TooltipRow kTooltipRows[] = {{64, true}, {65, false}, {127, false}};

TEST(AmpwiseMainDialog, ATooltipOfMoreThan64CharactersIsIgnored) {
    for (const TooltipRow& row : kTooltipRows) {
        sim::Machine machine(0);
        sim::win32::StartOptions options;
        options.strings[1001] = std::string(row.length, 'x');
        ASSERT_NE(sim::win32::StartProcess("Ampwise", "", options), nullptr);
        machine.scheduler.Spawn("end of run", [] {
            Sleep(1000);
            sim::win32::TerminateAllProcesses();
        });
        ASSERT_EQ(machine.scheduler.Run().kind, sim::RunOutcome::kFinished);
        std::vector<std::string> tray = machine.log.Texts("tray");
        std::string shown = "modify icon=133 tip=\"" + options.strings[1001] + "\"";
        EXPECT_EQ(Count(tray, shown), row.shown ? 1u : 0u) << row.length << " characters\n"
                                                           << ::testing::PrintToString(tray);
    }
}

// The main dialog's icon static (control 1005) paints its client area in the menu colour,
// whether asked by WM_PRINTCLIENT or by WM_PAINT; it has no icon to draw over it.
TEST(AmpwiseMainDialog, TheIconStaticPaintsItsAreaInTheMenuColour) {
    COLORREF printed = CLR_INVALID;
    COLORREF corner = CLR_INVALID;
    auto run = win32test::RunThenCall(
        "controller C1 ports=2\nkernel version=6.1\napp start\nwait 1s\n", [&] {
            HWND dialog = win32test::AmpwiseMainDialog();
            ASSERT_NE(dialog, nullptr);
            HWND icon = GetDlgItem(dialog, 1005);
            ASSERT_NE(icon, nullptr);
            HDC screen = GetDC(NULL);
            HDC memory = CreateCompatibleDC(screen);
            HBITMAP bitmap = CreateCompatibleBitmap(screen, 40, 40);
            HGDIOBJ old = SelectObject(memory, bitmap);
            SendMessageA(icon, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
            printed = GetPixel(memory, 1, 1);
            corner = GetPixel(memory, 0, 0);
            SelectObject(memory, old);
            DeleteObject(bitmap);
            DeleteDC(memory);
            ReleaseDC(NULL, screen);
        });
    EXPECT_EQ(printed, GetSysColor(COLOR_MENU)) << run.Tail();
    EXPECT_EQ(corner, GetSysColor(COLOR_MENU));
}

}  // namespace
