// Ampwise's hidden main dialog, the real program started on the simulated PC: it is never
// shown, Enter and Escape reaching it do not end the program, and a WM_COMMAND whose low
// byte is 3 is the menu's Exit whatever its high bits.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "machine_run.h"
#include "win32/user32/user32_control.h"

namespace {

HWND MainDialog() {
    for (const sim::win32::LiveWindow& window : sim::win32::LiveWindows()) {
        if (window.title == "Ampwise" && window.window_class == "#32770") {
            return window.hwnd;
        }
    }
    return NULL;
}

size_t Count(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

TEST(AmpwiseMainDialog, StaysHiddenAndEndsOnlyThroughExit) {
    bool found = false;
    bool ever_visible = false;
    size_t stops_after_keys = 0;
    auto run = win32test::RunThenCall(
        "controller C1 ports=2\nkernel version=6.1\napp start\nwait 1s\n", [&] {
            HWND dialog = MainDialog();
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

}  // namespace
