#include "message_recorder.h"

#include <algorithm>
#include <map>
#include <sstream>

#include "win32/user32/window_table.h"

namespace user32_test {
namespace {

struct Recording {
    std::vector<std::string> lines;
    std::vector<UINT> only;
    std::map<HWND, Reaction> reactions;
};

Recording& TheRecording() {
    return sim::Machine::Current().Extension<Recording>();
}

struct NamedMessage {
    UINT message;
    const char* name;
};

const NamedMessage kNames[] = {
    {WM_NULL, "WM_NULL"},
    {WM_CREATE, "WM_CREATE"},
    {WM_DESTROY, "WM_DESTROY"},
    {WM_SETFOCUS, "WM_SETFOCUS"},
    {WM_KILLFOCUS, "WM_KILLFOCUS"},
    {WM_ENABLE, "WM_ENABLE"},
    {WM_SETTEXT, "WM_SETTEXT"},
    {WM_GETTEXT, "WM_GETTEXT"},
    {WM_PAINT, "WM_PAINT"},
    {WM_CLOSE, "WM_CLOSE"},
    {WM_QUIT, "WM_QUIT"},
    {WM_SHOWWINDOW, "WM_SHOWWINDOW"},
    {WM_SETFONT, "WM_SETFONT"},
    {WM_WINDOWPOSCHANGING, "WM_WINDOWPOSCHANGING"},
    {WM_WINDOWPOSCHANGED, "WM_WINDOWPOSCHANGED"},
    {WM_SETICON, "WM_SETICON"},
    {WM_GETICON, "WM_GETICON"},
    {WM_NCCREATE, "WM_NCCREATE"},
    {WM_NCDESTROY, "WM_NCDESTROY"},
    {WM_KEYDOWN, "WM_KEYDOWN"},
    {WM_KEYUP, "WM_KEYUP"},
    {WM_CHAR, "WM_CHAR"},
    {WM_INITDIALOG, "WM_INITDIALOG"},
    {WM_COMMAND, "WM_COMMAND"},
    {WM_TIMER, "WM_TIMER"},
    {WM_INITMENUPOPUP, "WM_INITMENUPOPUP"},
    {WM_UNINITMENUPOPUP, "WM_UNINITMENUPOPUP"},
    {WM_ENTERIDLE, "WM_ENTERIDLE"},
    {WM_ENTERMENULOOP, "WM_ENTERMENULOOP"},
    {WM_EXITMENULOOP, "WM_EXITMENULOOP"},
    {WM_POWERBROADCAST, "WM_POWERBROADCAST"},
    {WM_ACTIVATE, "WM_ACTIVATE"},
    {WM_SETCURSOR, "WM_SETCURSOR"},
    {WM_MOUSEACTIVATE, "WM_MOUSEACTIVATE"},
    {WM_MOUSEMOVE, "WM_MOUSEMOVE"},
    {WM_LBUTTONDOWN, "WM_LBUTTONDOWN"},
    {WM_LBUTTONUP, "WM_LBUTTONUP"},
    {WM_MOUSEHOVER, "WM_MOUSEHOVER"},
    {WM_MOUSELEAVE, "WM_MOUSELEAVE"},
};

bool Wanted(UINT message) {
    const std::vector<UINT>& only = TheRecording().only;
    return std::find(only.begin(), only.end(), message) != only.end();
}

std::string WindowName(HWND hwnd, UINT message, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        return reinterpret_cast<const CREATESTRUCTA*>(lparam)->lpszName;
    }
    const sim::win32::user32::Window* window = sim::win32::user32::FindWindowRecord(hwnd);
    return window != nullptr ? window->text : "?";
}

LRESULT CALLBACK RecordingWndProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (Wanted(message)) {
        std::string text = WindowName(hwnd, message, lparam) + " " + MessageName(message);
        if (message == WM_COMMAND || message == WM_TIMER || message == WM_POWERBROADCAST ||
            message == WM_ENABLE || message == WM_SHOWWINDOW || message == WM_ACTIVATE ||
            message >= WM_USER) {
            text += " " + std::to_string(wparam);
        }
        Note(text);
    }
    Recording& recording = TheRecording();
    auto found = recording.reactions.find(hwnd);
    if (found != recording.reactions.end() && found->second) {
        Reaction reaction = found->second;
        LRESULT result = 0;
        if (reaction(hwnd, message, wparam, lparam, &result)) {
            return result;
        }
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
}

const char kRecordingClass[] = "Recorder";

}  // namespace

::testing::AssertionResult SameRows(const std::vector<std::string>& actual,
                                    const std::vector<Row>& expected) {
    std::vector<std::string> want;
    for (const Row& row : expected) {
        want.push_back(row.thread + ": " + row.text);
    }
    if (actual == want) {
        return ::testing::AssertionSuccess();
    }
    std::ostringstream diff;
    diff << "sequences differ (expected | actual):\n";
    for (size_t i = 0; i < std::max(actual.size(), want.size()); ++i) {
        std::string w = i < want.size() ? want[i] : "<none>";
        std::string a = i < actual.size() ? actual[i] : "<none>";
        diff << (w == a ? "   " : " ! ") << w << " | " << a << "\n";
    }
    return ::testing::AssertionFailure() << diff.str();
}

std::vector<std::string>& Recorded() {
    return TheRecording().lines;
}

void Note(const std::string& text) {
    TheRecording().lines.push_back(ThreadName() + ": " + text);
}

void RecordOnly(std::vector<UINT> messages) {
    TheRecording().only = std::move(messages);
}

HWND MakeWindow(const std::string& name, DWORD style, HWND parent, Reaction reaction) {
    if (sim::win32::user32::FindClass(kRecordingClass) == nullptr) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecordingWndProc;
        wc.lpszClassName = kRecordingClass;
        RegisterClassA(&wc);
    }
    HWND hwnd = CreateWindowExA(0, kRecordingClass, name.c_str(), style, 10, 20, 200, 100, parent,
                                NULL, NULL, NULL);
    SetReaction(hwnd, std::move(reaction));
    return hwnd;
}

void SetReaction(HWND hwnd, Reaction reaction) {
    TheRecording().reactions[hwnd] = std::move(reaction);
}

std::string MessageName(UINT message) {
    for (const NamedMessage& named : kNames) {
        if (named.message == message) {
            return named.name;
        }
    }
    if (message >= WM_USER) {
        return "WM_USER+" + std::to_string(message - WM_USER);
    }
    char text[16];
    snprintf(text, sizeof text, "0x%04X", message);
    return text;
}

sim::RunOutcome RunThreads(std::vector<std::pair<std::string, std::function<void()>>> bodies) {
    sim::Machine& machine = sim::Machine::Current();
    for (auto& [name, body] : bodies) {
        machine.scheduler.Spawn(name, std::move(body));
    }
    return machine.scheduler.Run();
}

std::string ThreadName() {
    sim::SimThread* thread = sim::CurrentScheduler().Current();
    return thread != nullptr ? thread->name() : "host";
}

long NowMs() {
    return static_cast<long>(sim::CurrentScheduler().Now() / sim::kTicksPerMs);
}

}  // namespace user32_test
