// The dialog manager: templates as windres writes them, dialog units, the modal loop with
// its owner, sent messages and keys, the focus rule of WM_INITDIALOG, DWLP_MSGRESULT, and
// the controls' own messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "compiled_resources.h"
#include "message_recorder.h"
#include "win32/user32/dialog_template.h"
#include "win32/user32/user32_control.h"

namespace user32_test {
namespace {

using sim::win32::user32::DialogTemplate;
using sim::win32::user32::ParseDialogTemplate;

constexpr uint16_t kDialogType = 5;

std::vector<uint8_t> TestDialog(uint16_t id) {
    return CompiledResource(DIALOGS_TEST_RES, kDialogType, id);
}

std::vector<std::string> Describe(const DialogTemplate& dialog) {
    std::vector<std::string> lines;
    char line[160];
    snprintf(line, sizeof line, "%s '%s' %d,%d %dx%d style %08X font %s %d",
             dialog.extended ? "DIALOGEX" : "DIALOG", dialog.title.c_str(), dialog.x, dialog.y,
             dialog.cx, dialog.cy, dialog.style, dialog.font ? dialog.font->face.c_str() : "-",
             dialog.font ? dialog.font->points : 0);
    lines.push_back(line);
    if (!dialog.menu.name.empty() || dialog.menu.ordinal != 0 ||
        !dialog.window_class.name.empty()) {
        snprintf(line, sizeof line, "menu '%s' #%d class '%s'", dialog.menu.name.c_str(),
                 dialog.menu.ordinal, dialog.window_class.name.c_str());
        lines.push_back(line);
    }
    for (const auto& item : dialog.items) {
        snprintf(line, sizeof line, "%s %d '%s' %d,%d %dx%d style %08X", item.window_class.c_str(),
                 static_cast<int>(item.id), item.title.name.c_str(), item.x, item.y, item.cx,
                 item.cy, item.style);
        lines.push_back(line);
    }
    return lines;
}

struct TemplateCase {
    const char* what;
    std::vector<uint8_t> (*bytes)();
    std::vector<std::string> described;
};

const TemplateCase kTemplateCases[] = {
    {"Ampwise's main dialog (102)",
     [] { return CompiledResource(AMPWISE_RES, kDialogType, 102); },
     {
         "DIALOGEX 'Ampwise' 0,0 320x200 style 80C800C0 font MS Sans Serif 8",
         "Button 1 'OK' 263,7 50x14 style 50010001",
         "Button 2 'Cancel' 263,24 50x14 style 50010000",
         "Static -1 'Ampwise keeps the tablets on Vexa hubs charging.' 7,7 200x8 style 50020000",
         "Button 1000 'Notify' 263,41 50x14 style 50010000",
         "Static 1005 '' 7,24 20x20 style 50020000",
         "Edit 1015 '' 7,60 200x14 style 50810080",
     }},
    // CONTROL statements keep their class as a name, which windres writes in capitals.
    {"the old form (200)",
     [] { return TestDialog(200); },
     {
         "DIALOG 'Plain' 10,20 100x50 style 80C00000 font - 0",
         "Button 7 'Go' 5,5 40x14 style 50010001",
         "BUTTON 300 'Check' 5,25 40x10 style 50010003",
         "Static 301 'Label' 50,5 40x8 style 50020000",
         "STATIC 302 '' 50,20 20x20 style 50000003",
     }},
    {"the extended form with a 10-point font (201)",
     [] { return TestDialog(201); },
     {
         "DIALOGEX 'Extended' 0,0 120x60 style 80C000C0 font MS Shell Dlg 10",
         "Edit 310 '' 7,7 100x14 style 50810080",
         "Button 1 'OK' 7,30 50x14 style 50010001",
         "Button 2 'Cancel' 60,30 50x14 style 50010000",
     }},
    {"a menu by ordinal and a class by name (202)",
     [] { return TestDialog(202); },
     {"DIALOG '' 0,0 40x20 style 80000000 font - 0", "menu '' #5 class 'TESTDIALOGCLASS'"}},
    {"a menu by name (203)",
     [] { return TestDialog(203); },
     {"DIALOGEX '' 0,0 40x20 style 80000000 font - 0", "menu 'NAMEDMENU' #0 class ''"}},
};

TEST(User32Dialogs, TemplatesReadAsWindresWritesThem) {
    for (const TemplateCase& entry : kTemplateCases) {
        std::vector<uint8_t> bytes = entry.bytes();
        ASSERT_FALSE(bytes.empty()) << entry.what;
        auto parsed = ParseDialogTemplate(bytes.data(), bytes.size());
        ASSERT_TRUE(parsed) << entry.what;
        EXPECT_EQ(Describe(*parsed), entry.described) << entry.what;
    }
}

TEST(User32Dialogs, ATruncatedTemplateIsRefused) {
    std::vector<uint8_t> bytes = TestDialog(201);
    // The last item's creation-data count ends the template; nothing before it will do.
    for (size_t size = 0; size + 2 <= bytes.size() - 2; size++) {
        EXPECT_FALSE(ParseDialogTemplate(bytes.data(), size)) << size << " bytes";
    }
}

struct UnitsCase {
    int points;  // 0: no DS_SETFONT
    int base_x;
    int base_y;
};

// The template's font is measured as the stand-in draws it: MS Shell Dlg is Arial's metrics
// (Liberation Sans), whose cell at 8 points is 12 pixels high.
const UnitsCase kUnitsCases[] = {{0, 8, 16}, {8, 6, 12}, {9, 7, 14}, {10, 8, 15}, {12, 9, 17}};

TEST(User32Dialogs, BaseUnitsComeFromTheTemplatesFont) {
    for (const UnitsCase& entry : kUnitsCases) {
        std::optional<sim::win32::user32::DialogFont> font;
        if (entry.points != 0) {
            font = sim::win32::user32::DialogFont{"MS Shell Dlg", entry.points, 400, false};
        }
        auto base = sim::win32::user32::DialogBaseUnits(font);
        EXPECT_EQ(base.x, entry.base_x) << entry.points;
        EXPECT_EQ(base.y, entry.base_y) << entry.points;
    }
}

INT_PTR CALLBACK QuietDialog(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

TEST(User32Dialogs, DialogUnitsPlaceTheWindowAndItsControls) {
    sim::Machine machine(1);
    RunThreads({{"ui", [] {
                     std::vector<uint8_t> bytes = CompiledResource(AMPWISE_RES, kDialogType, 102);
                     HWND dialog = CreateDialogIndirectParamA(
                         NULL, reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()), NULL, QuietDialog,
                         0);
                     ASSERT_NE(dialog, (HWND)NULL);
                     RECT client;
                     GetClientRect(dialog, &client);
                     // 320 x 200 units of MS Shell Dlg 8 (6 x 12).
                     EXPECT_EQ(client.right, 480);
                     EXPECT_EQ(client.bottom, 300);
                     RECT window;
                     GetWindowRect(dialog, &window);
                     EXPECT_EQ(window.right - window.left, 480 + 2 * 3);
                     EXPECT_EQ(window.bottom - window.top, 300 + 2 * 3 + 18);
                     RECT edit;
                     GetWindowRect(GetDlgItem(dialog, 1015), &edit);
                     EXPECT_EQ(edit.left - window.left - 3, 7 * 6 / 4 + 1);  // 10.5 rounds up
                     EXPECT_EQ(edit.top - window.top - 21, 60 * 12 / 8);
                     RECT units = {4, 8, 40, 16};
                     MapDialogRect(dialog, &units);
                     EXPECT_EQ(units.left, 6);
                     EXPECT_EQ(units.top, 12);
                     EXPECT_EQ(units.right, 60);
                     EXPECT_EQ(units.bottom, 24);
                     char text[64];
                     GetWindowTextA(GetDlgItem(dialog, IDCANCEL), text, sizeof text);
                     EXPECT_STREQ(text, "Cancel");
                     DestroyWindow(dialog);
                 }}});
}

constexpr UINT kAsk = WM_USER + 1;

INT_PTR CALLBACK RecordingDialog(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_SETFONT:
        case WM_INITDIALOG:
        case WM_DESTROY:
        case WM_NCDESTROY:
            Note("dlg " + MessageName(message));
            return message == WM_INITDIALOG;
        case WM_SHOWWINDOW:
        case WM_COMMAND:
        case kAsk:
            Note("dlg " + MessageName(message) + " " + std::to_string(wparam));
            if (message == WM_COMMAND && LOWORD(wparam) == IDOK) {
                EndDialog(dialog, 5);
            }
            return TRUE;
    }
    return FALSE;
}

TEST(User32Dialogs, ModalLoopDisablesTheOwnerRunsSentMessagesAndEndsOnEnter) {
    // The order is the program's, not the seed's.
    for (uint64_t seed = 0; seed < 8; ++seed) {
        sim::Machine machine(seed);
        SCOPED_TRACE("seed " + std::to_string(seed));
        HWND dialog = NULL;
        RecordOnly({WM_ENABLE, WM_USER + 7});
        sim::RunOutcome outcome = RunThreads({
            {"ui",
             [&] {
                 HWND owner = MakeWindow("owner");
                 std::vector<uint8_t> bytes = TestDialog(201);
                 SetReaction(owner, [&](HWND, UINT msg, WPARAM, LPARAM lparam, LRESULT*) {
                     if (msg == WM_ENTERIDLE && dialog == NULL) {
                         dialog = reinterpret_cast<HWND>(lparam);
                     }
                     return false;
                 });
                 // Messages of other windows go on while the dialog runs.
                 PostMessageA(owner, WM_USER + 7, 0, 0);
                 INT_PTR result =
                     DialogBoxIndirectParamA(NULL, reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()),
                                             owner, RecordingDialog, 0);
                 Note("returned " + std::to_string(result) + ", owner enabled " +
                      std::to_string(IsWindowEnabled(owner)));
             }},
            {"monitor",
             [&] {
                 Sleep(5);
                 SendMessageA(dialog, kAsk, 9, 0);
             }},
            {"scenario",
             [&] {
                 Sleep(10);
                 sim::win32::PressKey(dialog, VK_RETURN);
             }},
        });
        ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
        EXPECT_TRUE(SameRows(Recorded(), {
                                             {"ui", "dlg WM_SETFONT"},
                                             {"ui", "dlg WM_INITDIALOG"},
                                             {"ui", "owner WM_ENABLE 0"},
                                             {"ui", "owner WM_USER+7 0"},
                                             {"ui", "dlg WM_SHOWWINDOW 1"},
                                             {"ui", "dlg WM_USER+1 9"},
                                             {"ui", "dlg WM_COMMAND 1"},
                                             {"ui", "owner WM_ENABLE 1"},
                                             {"ui", "dlg WM_DESTROY"},
                                             {"ui", "dlg WM_NCDESTROY"},
                                             {"ui", "returned 5, owner enabled 1"},
                                         }));
    }
}

// Keys as IsDialogMessageA turns them into commands.
struct KeyCase {
    uint16_t dialog;
    UINT key;
    std::string command;
};

const KeyCase kKeyCases[] = {
    {201, VK_RETURN, "command 1 from 'OK'"},
    {201, VK_ESCAPE, "command 2 from 'Cancel'"},
    {200, VK_RETURN, "command 7 from 'Go'"},
    {200, VK_ESCAPE, "command 2 from no control"},
};

TEST(User32Dialogs, EnterAndEscapeBecomeCommandsOfTheDialog) {
    for (const KeyCase& entry : kKeyCases) {
        sim::Machine machine(3);
        std::string command;
        RunThreads({{"ui", [&] {
                         std::vector<uint8_t> bytes = TestDialog(entry.dialog);
                         HWND dialog = CreateDialogIndirectParamA(
                             NULL, reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()), NULL,
                             [](HWND, UINT message, WPARAM wparam, LPARAM lparam) -> INT_PTR {
                                 if (message != WM_COMMAND) {
                                     return message == WM_INITDIALOG;
                                 }
                                 char text[32] = "no control";
                                 if (lparam != 0) {
                                     text[0] = '\'';
                                     GetWindowTextA((HWND)lparam, text + 1, sizeof text - 2);
                                     strcat(text, "'");
                                 }
                                 Note("command " + std::to_string(wparam) + " from " + text);
                                 return TRUE;
                             },
                             0);
                         sim::win32::PressKey(dialog, entry.key);
                         MSG msg;
                         while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
                             IsDialogMessageA(dialog, &msg);
                         }
                     }}});
        ASSERT_EQ(Recorded().size(), 1u) << entry.dialog << " " << entry.key;
        EXPECT_EQ(Recorded()[0], "ui: " + entry.command) << entry.dialog << " " << entry.key;
    }
}

// WM_INITDIALOG's answer decides whether the dialog manager sets the focus.
struct FocusCase {
    BOOL answer;
    int focused_id;  // 0: no focus
};

const FocusCase kFocusCases[] = {{TRUE, 310}, {FALSE, 0}};

TEST(User32Dialogs, InitDialogAnswerDecidesTheFocus) {
    for (const FocusCase& entry : kFocusCases) {
        sim::Machine machine(4);
        static BOOL answer;
        answer = entry.answer;
        RunThreads({{"ui", [&] {
                         std::vector<uint8_t> bytes = TestDialog(201);
                         CreateDialogIndirectParamA(
                             NULL, reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()), NULL,
                             [](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR {
                                 return message == WM_INITDIALOG ? answer : FALSE;
                             },
                             0);
                         HWND focus = GetFocus();
                         EXPECT_EQ(focus == NULL ? 0 : GetDlgCtrlID(focus), entry.focused_id)
                             << entry.answer;
                     }}});
    }
}

// The class library's way: the first message subclasses the dialog, and what the subclass
// does not handle reaches the dialog procedure through the class's own procedure.
WNDPROC g_dialog_class_proc = NULL;

LRESULT CALLBACK HiddenSubclass(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_WINDOWPOSCHANGING) {
        reinterpret_cast<WINDOWPOS*>(lparam)->flags &= ~SWP_SHOWWINDOW;
    }
    return CallWindowProcA(g_dialog_class_proc, hwnd, message, wparam, lparam);
}

INT_PTR CALLBACK SubclassingDialog(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (g_dialog_class_proc == NULL) {
        g_dialog_class_proc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HiddenSubclass)));
    }
    switch (message) {
        case WM_INITDIALOG:
            Note("init, visible " + std::to_string(IsWindowVisible(dialog)));
            return TRUE;
        case WM_USER + 5:
            SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 77);
            return TRUE;
        case WM_USER + 6:
            Note("answer " + std::to_string(SendMessageA(dialog, WM_USER + 5, 0, 0)) +
                 ", visible " + std::to_string(IsWindowVisible(dialog)));
            EndDialog(dialog, 3);
            return TRUE;
    }
    return FALSE;
}

TEST(User32Dialogs, SubclassedModalDialogStaysHiddenAndAnswersThroughMsgResult) {
    sim::Machine machine(5);
    g_dialog_class_proc = NULL;
    RunThreads({{"ui", [] {
                     std::vector<uint8_t> bytes = CompiledResource(AMPWISE_RES, kDialogType, 102);
                     SetTimer(NULL, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) {
                         for (const auto& window : sim::win32::LiveWindows()) {
                             if (window.title == "Ampwise") {
                                 PostMessageA(window.hwnd, WM_USER + 6, 0, 0);
                             }
                         }
                     });
                     INT_PTR result = DialogBoxIndirectParamA(
                         NULL, reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()), NULL,
                         SubclassingDialog, 0);
                     Note("returned " + std::to_string(result));
                 }}});
    EXPECT_TRUE(SameRows(Recorded(), {
                                         {"ui", "init, visible 0"},
                                         {"ui", "answer 77, visible 0"},
                                         {"ui", "returned 3"},
                                     }));
}

// A dialog of the program's own class, and the font the dialog manager gave it.
TEST(User32Dialogs, TemplateClassAndFontReachTheWindow) {
    sim::Machine machine(7);
    RunThreads(
        {{"ui", [] {
              WNDCLASSA wc = {};
              wc.lpfnWndProc = DefDlgProcA;
              wc.cbWndExtra = DLGWINDOWEXTRA;
              wc.lpszClassName = "TestDialogClass";
              RegisterClassA(&wc);
              std::vector<uint8_t> plain = TestDialog(202);
              HWND own = CreateDialogIndirectParamA(
                  NULL, reinterpret_cast<LPCDLGTEMPLATEA>(plain.data()), NULL, QuietDialog, 0);
              ASSERT_NE(own, (HWND)NULL);
              EXPECT_EQ(sim::win32::LiveWindows()[0].window_class, "TestDialogClass");
              EXPECT_EQ(SendMessageA(own, WM_GETFONT, 0, 0), 0);
              std::vector<uint8_t> bytes = TestDialog(201);
              HWND dialog = CreateDialogIndirectParamA(
                  NULL, reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()), NULL, QuietDialog, 0);
              auto font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
              const auto* described = sim::win32::user32::FontFromHandle(font);
              ASSERT_NE(described, nullptr);
              EXPECT_EQ(described->face, "MS Shell Dlg");
              EXPECT_EQ(described->points, 10);
              EXPECT_EQ(SendMessageA(GetDlgItem(dialog, IDOK), WM_GETFONT, 0, 0), (LRESULT)font);
              EXPECT_EQ(SendMessageA(GetDlgItem(dialog, 310), WM_GETFONT, 0, 0), (LRESULT)font);
          }}});
}

TEST(User32Dialogs, ControlsKeepTheirCheckAndIcon) {
    sim::Machine machine(6);
    RunThreads({{"ui", [] {
                     std::vector<uint8_t> bytes = TestDialog(200);
                     HWND dialog = CreateDialogIndirectParamA(
                         NULL, reinterpret_cast<LPCDLGTEMPLATEA>(bytes.data()), NULL, QuietDialog,
                         0);
                     HWND check = GetDlgItem(dialog, 300);
                     EXPECT_EQ(SendMessageA(check, BM_GETCHECK, 0, 0), BST_UNCHECKED);
                     SendMessageA(check, BM_SETCHECK, BST_CHECKED, 0);
                     EXPECT_EQ(SendMessageA(check, BM_GETCHECK, 0, 0), BST_CHECKED);
                     HICON icon = reinterpret_cast<HICON>(0x1320);
                     HWND icon_static = GetDlgItem(dialog, 302);
                     EXPECT_EQ(SendMessageA(icon_static, STM_SETICON, (WPARAM)icon, 0), 0);
                     EXPECT_EQ(SendMessageA(icon_static, STM_GETICON, 0, 0), (LRESULT)icon);
                     HWND label = GetDlgItem(dialog, 301);
                     EXPECT_EQ(SendMessageA(label, STM_SETICON, (WPARAM)icon, 0), 0);
                     EXPECT_EQ(SendMessageA(label, STM_GETICON, 0, 0), 0);
                 }}});
}

}  // namespace
}  // namespace user32_test
