// Ampwise's tip window in a program of its own (tip_program): when it shows and parks on the
// virtual clock (timers 994-997), where it goes against the tool and the screen's edges, the
// fade levels and colours it renders, and what it does with its tools and items.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "machine_run.h"
#include "pc/machine.h"
#include "win32/gdi32/screen_control.h"
#include "win32/process/process.h"
#include "win32/user32/user32_control.h"

namespace {

constexpr UINT kPop = WM_APP + 1;
constexpr UINT kTools = WM_APP + 2;
constexpr UINT kQuit = WM_APP + 3;
const char kShortTextLine[] =
    "ui tip text \"Please press \"Switch to normal\" for data communication.\"";

// "MS CATEGORY TEXT" for the `ui` and `app` events from `since` on, in milliseconds after it.
std::vector<std::string> EventsSince(sim::Ticks since) {
    std::vector<std::string> lines;
    for (const sim::Event& event : sim::Machine::Current().log.events()) {
        if (event.time >= since && (event.category == "ui" || event.category == "app")) {
            lines.push_back(std::to_string((event.time - since) / sim::kTicksPerMs) + " " +
                            event.category + " " + event.text);
        }
    }
    return lines;
}

// Starts tip_program with its tool at (x, y), waits for it to be ready and returns the tool.
HWND StartTip(int x, int y, bool fade, bool anchor) {
    sim::win32::SetUiNamer([](const sim::win32::UiNaming& window) -> std::string {
        return window.owner_name == "tool" && window.title.empty() ? "tip" : "";
    });
    std::string args = std::to_string(x) + " " + std::to_string(y) + " " + (fade ? "1" : "0") +
                       " " + (anchor ? "1" : "0");
    std::string error;
    if (sim::win32::StartProcess("tip_program", args, {}, &error) == nullptr) {
        ADD_FAILURE() << "tip_program not started: " << error;
        return NULL;
    }
    for (int i = 0; i < 100; i++) {
        for (const sim::win32::LiveWindow& window : sim::win32::LiveWindows()) {
            if (window.title == "tool") {
                return window.hwnd;
            }
        }
        Sleep(10);
    }
    ADD_FAILURE() << "no tool window:\n" << sim::Machine::Current().log.Tail(30);
    return NULL;
}

// Pops the tip and returns what the next `ms` milliseconds show.
std::vector<std::string> PopAndWatch(HWND tool, WPARAM long_text, DWORD ms) {
    sim::Ticks since = sim::CurrentScheduler().Now();
    PostMessageA(tool, kPop, long_text, 0);
    Sleep(ms);
    return EventsSince(since);
}

TEST(TipWindow, ShowsBesideTheToolAfterAPauseAndParksAtTheSecondHideTick) {
    std::vector<std::string> seen;
    win32test::RunThenCall("kernel version=6.1\n", [&] {
        HWND tool = StartTip(1100, 300, false, true);
        ASSERT_NE(tool, nullptr);
        sim::win32::MoveCursor(10, 10);
        seen = PopAndWatch(tool, 0, 5000);
        PostMessageA(tool, kQuit, 0, 0);
    });
    // The tool is in the right half: the tip ends 20 pixels in from its right edge, below it.
    EXPECT_TRUE(win32test::SameLines(
        seen,
        {"0 ui tip parked", "100 app dbg render 0 1.00", "100 ui tip moved x=769 y=332 w=371 h=25",
         std::string("100 ") + kShortTextLine, "2300 ui tip parked"}));
}

TEST(TipWindow, StaysWhileTheCursorIsOnTheToolUntilItRestsThroughAStillCheck) {
    std::vector<std::string> resting, moving;
    win32test::RunThenCall("kernel version=6.1\n", [&] {
        HWND tool = StartTip(1100, 300, false, true);
        ASSERT_NE(tool, nullptr);
        sim::win32::MoveCursor(1130, 315);
        resting = PopAndWatch(tool, 0, 12000);
        // Moving on the tool between two checks keeps the tip up for one check more.
        sim::Ticks since = sim::CurrentScheduler().Now();
        PostMessageA(tool, kPop, 0, 0);
        Sleep(5000);
        sim::win32::MoveCursor(1135, 315);
        Sleep(17000);
        moving = EventsSince(since);
        PostMessageA(tool, kQuit, 0, 0);
    });
    EXPECT_TRUE(win32test::SameLines(
        resting,
        {"0 ui tip parked", "100 app dbg render 0 1.00", "100 ui tip moved x=769 y=332 w=371 h=25",
         std::string("100 ") + kShortTextLine, "10100 ui tip parked"}));
    EXPECT_TRUE(win32test::SameLines(
        moving, {"100 app dbg render 0 1.00", "100 ui tip moved x=769 y=332 w=371 h=25",
                 "20100 ui tip parked"}));
}

// Where the tip goes: anchored beside the tool (right or left half, below or above it), or
// beside the cursor; always clamped to the screen.
struct PlaceRow {
    const char* what;
    int screen_width, screen_height;
    int tool_x, tool_y;
    bool anchor;
    int cursor_x, cursor_y;
    const char* moved;
};
const PlaceRow kPlaceRows[] = {
    {"tool in the left half", 1280, 800, 100, 300, true, 10, 10, "x=120 y=332 w=371 h=25"},
    {"tool near the bottom", 1280, 800, 1100, 760, true, 10, 10, "x=769 y=733 w=371 h=25"},
    {"right-half tool on a narrow screen", 640, 480, 300, 300, true, 10, 10,
     "x=0 y=332 w=371 h=25"},
    {"beside the cursor", 1280, 800, 1100, 300, false, 200, 200, "x=215 y=215 w=371 h=25"},
    {"cursor in the bottom-right corner", 1280, 800, 1100, 300, false, 1270, 790,
     "x=884 y=750 w=371 h=25"},
    {"cursor too close to both edges", 640, 480, 0, 0, false, 300, 100, "x=0 y=115 w=371 h=25"},
};

TEST(TipWindow, IsPlacedAgainstTheToolTheCursorAndTheScreenEdges) {
    for (const PlaceRow& row : kPlaceRows) {
        std::vector<std::string> seen;
        std::string screen = "screen " + std::to_string(row.screen_width) + " " +
                             std::to_string(row.screen_height) + "\n";
        win32test::RunThenCall(screen + "kernel version=6.1\n", [&] {
            HWND tool = StartTip(row.tool_x, row.tool_y, false, row.anchor);
            ASSERT_NE(tool, nullptr);
            sim::win32::MoveCursor(row.cursor_x, row.cursor_y);
            seen = PopAndWatch(tool, 0, 200);
            PostMessageA(tool, kQuit, 0, 0);
        });
        std::string moved = std::string("100 ui tip moved ") + row.moved;
        EXPECT_TRUE(std::find(seen.begin(), seen.end(), moved) != seen.end())
            << row.what << ": no \"" << moved << "\" in\n"
            << ::testing::PrintToString(seen);
    }
}

// The darkest and the corner pixel of the tip window's client area.
struct TipPixels {
    COLORREF background;
    COLORREF darkest;
};
TipPixels ReadTip(HWND tip) {
    HDC dc = GetDC(tip);
    RECT client;
    GetClientRect(tip, &client);
    TipPixels pixels = {GetPixel(dc, 1, 1), RGB(255, 255, 255)};
    int darkest = 3 * 255;
    for (int y = 0; y < client.bottom; y++) {
        for (int x = 0; x < client.right; x++) {
            COLORREF pixel = GetPixel(dc, x, y);
            int sum = GetRValue(pixel) + GetGValue(pixel) + GetBValue(pixel);
            if (sum < darkest) {
                darkest = sum;
                pixels.darkest = pixel;
            }
        }
    }
    ReleaseDC(tip, dc);
    return pixels;
}

HWND TipOf(HWND tool) {
    for (const sim::win32::LiveWindow& window : sim::win32::LiveWindows()) {
        if (window.title.empty() && GetParent(window.hwnd) == tool) {
            return window.hwnd;
        }
    }
    return NULL;
}

TEST(TipWindow, FadesInStepByStepFromPaleGreyToItsFinalColours) {
    std::vector<std::string> renders;
    TipPixels first = {}, last = {};
    win32test::RunThenCall("kernel version=6.1\n", [&] {
        HWND tool = StartTip(1100, 300, true, true);
        ASSERT_NE(tool, nullptr);
        sim::win32::MoveCursor(1130, 315);
        sim::Ticks since = sim::CurrentScheduler().Now();
        PostMessageA(tool, kPop, 0, 0);
        Sleep(120);
        first = ReadTip(TipOf(tool));
        Sleep(1000);
        last = ReadTip(TipOf(tool));
        for (const std::string& line : EventsSince(since)) {
            if (line.find("render") != std::string::npos) {
                renders.push_back(line);
            }
        }
        PostMessageA(tool, kQuit, 0, 0);
    });
    // Shown at level 0, then one level each 55 ms up to the last one not above 1.0.
    EXPECT_TRUE(win32test::SameLines(
        renders,
        {"100 app dbg render 0 0.00", "155 app dbg render 0 0.00", "210 app dbg render 0 0.10",
         "265 app dbg render 0 0.20", "320 app dbg render 0 0.30", "375 app dbg render 0 0.40",
         "430 app dbg render 0 0.50", "485 app dbg render 0 0.60", "540 app dbg render 0 0.70",
         "595 app dbg render 0 0.80", "650 app dbg render 0 0.90", "705 app dbg render 0 1.00"}));
    EXPECT_EQ(first.background, RGB(255, 254, 255));
    EXPECT_EQ(first.darkest, RGB(64, 64, 64));
    EXPECT_EQ(last.background, RGB(255, 254, 207));
    EXPECT_EQ(last.darkest, RGB(0, 0, 0));
}

TEST(TipWindow, ASecondPopWhileUpShowsNothingNewAndALongTextWraps) {
    std::vector<std::string> seen;
    win32test::RunThenCall("kernel version=6.1\n", [&] {
        HWND tool = StartTip(1100, 300, false, true);
        ASSERT_NE(tool, nullptr);
        sim::win32::MoveCursor(10, 10);
        sim::Ticks since = sim::CurrentScheduler().Now();
        PostMessageA(tool, kPop, 0, 0);
        Sleep(500);
        PostMessageA(tool, kPop, 1, 0);
        Sleep(2500);
        PostMessageA(tool, kPop, 1, 0);
        Sleep(200);
        seen = EventsSince(since);
        PostMessageA(tool, kQuit, 0, 0);
    });
    ASSERT_EQ(seen.size(), 8u) << ::testing::PrintToString(seen);
    EXPECT_EQ(seen[4], "2300 ui tip parked");
    // Popped again after it was parked: the long text, wrapped to lines of at most 450 pixels.
    EXPECT_EQ(seen[5], "3100 app dbg render 0 1.00");
    EXPECT_EQ(seen[6].rfind("3100 ui tip moved ", 0), 0u) << seen[6];
    int width = 0, height = 0;
    sscanf(seen[6].c_str(), "%*d ui tip moved x=%*d y=%*d w=%d h=%d", &width, &height);
    EXPECT_LE(width, 450 + 13);
    EXPECT_GE(height, 3 * 16 + 9);
}

TEST(TipWindow, KeepsOneItemPerToolAndFreesEveryItemItDoesNotKeep) {
    std::vector<std::string> app;
    size_t gdi_after = 1;
    win32test::RunThenCall("kernel version=6.1\n", [&] {
        HWND tool = StartTip(1100, 300, false, true);
        ASSERT_NE(tool, nullptr);
        sim::win32::MoveCursor(10, 10);
        PostMessageA(tool, kPop, 0, 0);
        Sleep(200);
        sim::Ticks since = sim::CurrentScheduler().Now();
        SendMessageA(tool, kTools, 0, 0);
        PostMessageA(tool, kQuit, 0, 0);
        Sleep(500);
        for (const std::string& line : EventsSince(since)) {
            if (line.find(" app ") != std::string::npos) {
                app.push_back(line.substr(line.find("dbg ")));
            }
        }
        gdi_after = sim::win32::OutstandingGdiObjects();
    });
    // A null tool or item registers nothing (and the lone item is freed); the tool again
    // replaces its item, which goes; the window's end takes the last one.
    EXPECT_TRUE(
        win32test::SameLines(app, {"dbg item 2 deleted", "dbg null tool 1", "dbg null item 1",
                                   "dbg item 1 deleted", "dbg again 1", "dbg item 3 deleted"}));
    EXPECT_EQ(gdi_after, 0u);
}

}  // namespace
