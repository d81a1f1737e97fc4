// The tray: what Shell_NotifyIconA shows, logged as the tray's lines when it changes and at
// each showing of a balloon, the sizes it accepts, and clicks delivered as the icon's
// callback message.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pc/machine.h"
#include "win32/process/process.h"
#include "win32/process/program_images.h"
#include "win32/shell32/tray_control.h"

namespace {

HWND const kWindow = reinterpret_cast<HWND>(0x10010);
constexpr UINT kId = 0x1010F0F0;
constexpr UINT kCallback = 0x0401;

class Tray : public ::testing::Test {
  protected:
    void SetUp() override {
        const sim::win32::ProgramImage* image = sim::win32::FindProgramImage("win32_test_program");
        ASSERT_TRUE(sim::win32::CurrentProcess().resources.Load(image->resource_path));
        HINSTANCE self = reinterpret_cast<HINSTANCE>(sim::win32::CurrentProcess().instance());
        online_ = LoadIconA(self, MAKEINTRESOURCE(132));
        app_ = LoadIconA(self, MAKEINTRESOURCE(128));
        ZeroMemory(&data_, sizeof data_);
        data_.cbSize = 488;
        data_.hWnd = kWindow;
        data_.uID = kId;
        data_.uCallbackMessage = kCallback;
    }
    sim::Machine machine_{0};
    HICON online_ = NULL;
    HICON app_ = NULL;
    NOTIFYICONDATAA data_;
};

// One call of the sequence: the record's changes, the call, and what the tray logs.
struct TrayStep {
    DWORD message;
    UINT add_flags;
    int icon;  // 132, 128, 0 (NULL) or -1 (unchanged)
    const char* tip;
    const char* title;
    const char* text;
    BOOL result;
    std::vector<std::string> lines;
};

TEST_F(Tray, WhatTheTrayShowsIsLoggedWhenItChanges) {
    const TrayStep steps[] = {
        {NIM_ADD,
         NIF_MESSAGE | NIF_ICON,
         132,
         nullptr,
         nullptr,
         nullptr,
         TRUE,
         {"add icon=132 tip=\"\""}},
        {NIM_ADD, 0, -1, nullptr, nullptr, nullptr, FALSE, {}},
        {NIM_MODIFY,
         NIF_TIP,
         -1,
         "Tarvel USB HUB Utility",
         nullptr,
         nullptr,
         TRUE,
         {"modify icon=132 tip=\"Tarvel USB HUB Utility\""}},
        {NIM_MODIFY, 0, -1, nullptr, nullptr, nullptr, TRUE, {}},
        {NIM_MODIFY,
         0,
         128,
         nullptr,
         nullptr,
         nullptr,
         TRUE,
         {"modify icon=128 tip=\"Tarvel USB HUB Utility\""}},
        {NIM_MODIFY,
         NIF_INFO,
         -1,
         nullptr,
         "Vexis",
         "You can open it again",
         TRUE,
         {"balloon title=\"Vexis\" text=\"You can open it again\""}},
        // The monitoring thread's updates carry NIF_INFO and the text again: the balloon
        // shows again, as Windows shows it.
        {NIM_MODIFY,
         0,
         132,
         nullptr,
         nullptr,
         nullptr,
         TRUE,
         {"modify icon=132 tip=\"Tarvel USB HUB Utility\"",
          "balloon title=\"Vexis\" text=\"You can open it again\""}},
        {NIM_MODIFY, 0, -1, nullptr, "", "", TRUE, {"balloon cleared"}},
        {NIM_MODIFY, 0, -1, nullptr, "", "", TRUE, {}},
        {NIM_MODIFY,
         0,
         0,
         nullptr,
         nullptr,
         nullptr,
         TRUE,
         {"modify icon=none tip=\"Tarvel USB HUB Utility\""}},
        {NIM_DELETE,
         0,
         -1,
         nullptr,
         nullptr,
         nullptr,
         TRUE,
         {"delete icon=none tip=\"Tarvel USB HUB Utility\""}},
        {NIM_MODIFY, 0, -1, nullptr, nullptr, nullptr, FALSE, {}},
        {NIM_DELETE, 0, -1, nullptr, nullptr, nullptr, FALSE, {}},
        {NIM_SETVERSION, 0, -1, nullptr, nullptr, nullptr, FALSE, {}},
    };
    size_t logged = 0;
    for (size_t i = 0; i < std::size(steps); ++i) {
        const TrayStep& step = steps[i];
        data_.uFlags |= step.add_flags;
        if (step.icon >= 0) {
            data_.hIcon = step.icon == 132 ? online_ : step.icon == 128 ? app_ : NULL;
        }
        if (step.tip != nullptr) {
            lstrcpynA(data_.szTip, step.tip, sizeof data_.szTip);
        }
        if (step.text != nullptr) {
            lstrcpynA(data_.szInfoTitle, step.title, sizeof data_.szInfoTitle);
            lstrcpynA(data_.szInfo, step.text, sizeof data_.szInfo);
        }
        SetLastError(0);
        EXPECT_EQ(Shell_NotifyIconA(step.message, &data_), step.result) << "step " << i;
        if (!step.result) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << "step " << i;
        }
        std::vector<std::string> lines = machine_.log.Texts("tray");
        EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(logged),
                                           lines.end()),
                  step.lines)
            << "step " << i;
        logged = lines.size();
    }
    EXPECT_TRUE(sim::win32::TrayIcons().empty());
}

struct SizeCase {
    DWORD size;
    BOOL accepted;
    const char* tip;  // as shown
};

TEST_F(Tray, OnlyTheSizesOfThe32BitFormsAreAccepted) {
    std::string long_tip(100, 't');
    const SizeCase cases[] = {
        {88, TRUE, "tttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttttt"},
        {488, TRUE, nullptr},
        {504, TRUE, nullptr},
        {508, TRUE, nullptr},
        {0, FALSE, nullptr},
        {152, FALSE, nullptr},
        {487, FALSE, nullptr},
        {static_cast<DWORD>(sizeof(NOTIFYICONDATAA)), FALSE, nullptr},
    };
    for (const SizeCase& entry : cases) {
        data_.cbSize = entry.size;
        data_.uFlags = NIF_TIP;
        lstrcpynA(data_.szTip, long_tip.c_str(), sizeof data_.szTip);
        SetLastError(0);
        EXPECT_EQ(Shell_NotifyIconA(NIM_ADD, &data_), entry.accepted) << entry.size;
        if (!entry.accepted) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << entry.size;
            EXPECT_TRUE(sim::win32::TrayIcons().empty()) << entry.size;
            continue;
        }
        ASSERT_EQ(sim::win32::TrayIcons().size(), 1u);
        EXPECT_EQ(sim::win32::TrayIcons()[0].tip, entry.tip != nullptr ? entry.tip : long_tip)
            << entry.size;
        EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &data_));
    }
}

TEST_F(Tray, AClickIsDeliveredAsTheIconsCallbackMessage) {
    struct Delivered {
        HWND window;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        bool operator==(const Delivered&) const = default;
    };
    std::vector<Delivered> delivered;
    sim::win32::SetTrayDelivery([&](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        delivered.push_back({window, message, wParam, lParam});
        return TRUE;
    });
    EXPECT_FALSE(sim::win32::ClickTray(true)) << "clicked an icon the tray does not have";
    data_.uFlags = NIF_ICON;
    data_.hIcon = online_;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &data_));
    EXPECT_FALSE(sim::win32::ClickTray(true)) << "an icon without NIF_MESSAGE has no callback";
    data_.uFlags = NIF_MESSAGE;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &data_));
    EXPECT_TRUE(sim::win32::ClickTray(true));
    EXPECT_TRUE(sim::win32::ClickTray(false));
    EXPECT_EQ(delivered, (std::vector<Delivered>{{kWindow, kCallback, kId, 0x0204},
                                                 {kWindow, kCallback, kId, 0x0201}}));
}

}  // namespace
