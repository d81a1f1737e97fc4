// The notification area: icons by window and id, their tips and balloons, and what the tray
// shows logged in category "tray" whenever that changes (printed "tray add icon=133 ..."), and
// each showing of a balloon. An icon outlives its window and its process, as on Windows until
// the pointer passes over it. Icon versions (NIM_SETVERSION), states (NIF_STATE), focus,
// balloon timeouts and queueing, and the shell's restart are not modelled.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "pc/machine.h"
#include "win32/kernel32/machine_link.h"
#include "win32/process/icon_handles.h"
#include "win32/shell32/tray_control.h"
#include "win32/user32/message_queue.h"

namespace sim::win32 {
namespace {

constexpr UINT kRightButtonDown = 0x0204;  // WM_RBUTTONDOWN
constexpr UINT kLeftButtonDown = 0x0201;   // WM_LBUTTONDOWN

// The cbSize values a 32-bit program passes for the forms of NOTIFYICONDATAA: the first
// (64-byte tip), Windows 2000's (balloons), XP's (guidItem) and Vista's (hBalloonIcon).
constexpr DWORD kFirstFormSize = 88;
constexpr DWORD kSizes[] = {kFirstFormSize, 488, 504, 508};

struct Tray {
    std::vector<TrayIcon> icons;
    TrayDelivery deliver;
};

Tray& TheTray() {
    return Machine::Current().Extension<Tray>();
}

TrayDelivery& DefaultDelivery() {
    static TrayDelivery deliver;
    return deliver;
}

std::string IconText(HICON icon) {
    if (icon == NULL) {
        return "none";
    }
    std::string id = IconResourceId(icon);
    return id.empty() ? "?" : id;
}

// A fixed field's text up to its terminator, or all of it if it has none.
std::string FieldText(const char* field, size_t size) {
    return std::string(field, strnlen(field, size));
}

void LogIcon(const char* action, const TrayIcon& icon) {
    if (LogWants("tray")) {
        Log("tray", std::string(action) + " icon=" + icon.icon + " tip=\"" + icon.tip + "\"");
    }
}

// Applies the fields uFlags names; logs a change of what the icon or its balloon shows.
void Apply(TrayIcon& icon, const NOTIFYICONDATAA& data, bool adding) {
    bool first_form = data.cbSize == kFirstFormSize;
    std::string shown_icon = icon.icon;
    std::string shown_tip = icon.tip;
    if ((data.uFlags & NIF_MESSAGE) != 0) {
        icon.callback_message = data.uCallbackMessage;
    }
    if ((data.uFlags & NIF_ICON) != 0) {
        icon.icon = IconText(data.hIcon);
    }
    if ((data.uFlags & NIF_TIP) != 0) {
        icon.tip = FieldText(data.szTip, first_form ? 64 : sizeof data.szTip);
    }
    if (adding) {
        LogIcon("add", icon);
    } else if (icon.icon != shown_icon || icon.tip != shown_tip) {
        LogIcon("modify", icon);
    }
    if (first_form || (data.uFlags & NIF_INFO) == 0) {
        return;
    }
    std::string text = FieldText(data.szInfo, sizeof data.szInfo);
    std::string title = FieldText(data.szInfoTitle, sizeof data.szInfoTitle);
    if (text.empty()) {
        // An empty text takes away a balloon that is up.
        if (!icon.balloon_text.empty() && LogWants("tray")) {
            Log("tray", "balloon cleared");
        }
        icon.balloon_text.clear();
        icon.balloon_title.clear();
        return;
    }
    // Every call with NIF_INFO and a text shows the balloon anew, the same text too.
    if (LogWants("tray")) {
        Log("tray", "balloon title=\"" + title + "\" text=\"" + text + "\"");
    }
    icon.balloon_text = text;
    icon.balloon_title = title;
}

// The tray's side of Shell_NotifyIconA.
BOOL ShellAnswer(DWORD dwMessage, PNOTIFYICONDATAA lpData) {
    if (lpData == NULL ||
        std::find(std::begin(kSizes), std::end(kSizes), lpData->cbSize) == std::end(kSizes)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<TrayIcon>& icons = TheTray().icons;
    auto found = std::find_if(icons.begin(), icons.end(), [lpData](const TrayIcon& icon) {
        return icon.window == lpData->hWnd && icon.id == lpData->uID;
    });
    switch (dwMessage) {
        case NIM_ADD:
            if (found != icons.end()) {
                break;
            }
            icons.push_back(TrayIcon{lpData->hWnd, lpData->uID, 0, "none", "", "", ""});
            Apply(icons.back(), *lpData, true);
            return TRUE;
        case NIM_MODIFY:
            if (found == icons.end()) {
                break;
            }
            Apply(*found, *lpData, false);
            return TRUE;
        case NIM_DELETE:
            if (found == icons.end()) {
                break;
            }
            LogIcon("delete", *found);
            icons.erase(found);
            return TRUE;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

}  // namespace

std::vector<TrayIcon> TrayIcons() {
    return TheTray().icons;
}

void SetTrayDelivery(TrayDelivery deliver) {
    TheTray().deliver = std::move(deliver);
}

void SetDefaultTrayDelivery(TrayDelivery deliver) {
    DefaultDelivery() = std::move(deliver);
}

bool ClickTray(bool right, size_t index) {
    Tray& tray = TheTray();
    TrayDelivery& deliver = tray.deliver ? tray.deliver : DefaultDelivery();
    if (index >= tray.icons.size() || tray.icons[index].callback_message == 0 || !deliver) {
        return false;
    }
    const TrayIcon& icon = tray.icons[index];
    return deliver(icon.window, icon.callback_message, icon.id,
                   right ? kRightButtonDown : kLeftButtonDown) != FALSE;
}

}  // namespace sim::win32

// Adds, changes or removes the icon that hWnd and uID name. A cbSize that is none of the
// 32-bit forms' sizes, an icon added twice, and a change or removal of one the tray lacks
// fail with ERROR_INVALID_PARAMETER (the shell documents no code of its own). The call is a
// send to the shell's process: the tray takes the calls in order of arrival, and the caller,
// while it waits for the answer, runs the messages other threads send to it.
BOOL WINAPI Shell_NotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA lpData) {
    BOOL answer = sim::win32::ShellAnswer(dwMessage, lpData);
    DWORD error = GetLastError();
    sim::win32::user32::AwaitAnswerFromAnotherProcess();
    SetLastError(error);
    return answer;
}
