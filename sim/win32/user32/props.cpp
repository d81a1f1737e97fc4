// SetPropA, GetPropA and RemovePropA: a window's named values.
#include <windows.h>

#include <string>

#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

namespace {

// An atom stands for its name; the stand-in keeps atoms as "#N" names of their own.
std::string PropName(LPCSTR name) {
    return IS_INTRESOURCE(name) ? "#" + std::to_string(LOWORD(reinterpret_cast<uintptr_t>(name)))
                                : std::string(name);
}

}  // namespace

// Adds or replaces the value. Names compare exactly (Windows' atoms ignore case; the
// program uses one spelling of each name).
BOOL WINAPI SetPropA(HWND hWnd, LPCSTR lpString, HANDLE hData) {
    Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    window->props[PropName(lpString)] = hData;
    return TRUE;
}

// The value, or NULL when the window has none by that name.
HANDLE WINAPI GetPropA(HWND hWnd, LPCSTR lpString) {
    Window* window = FindWindowRecord(hWnd);
    if (window == nullptr) {
        return NULL;
    }
    auto found = window->props.find(PropName(lpString));
    return found == window->props.end() ? NULL : found->second;
}

// Takes the value away and returns it (NULL if there was none).
HANDLE WINAPI RemovePropA(HWND hWnd, LPCSTR lpString) {
    Window* window = FindWindowRecord(hWnd);
    if (window == nullptr) {
        return NULL;
    }
    auto found = window->props.find(PropName(lpString));
    if (found == window->props.end()) {
        return NULL;
    }
    HANDLE data = found->second;
    window->props.erase(found);
    return data;
}
