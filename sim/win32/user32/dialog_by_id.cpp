// CreateDialogParamA and DialogBoxParamA: dialogs from the module's RT_DIALOG resources,
// found the way Windows finds them (FindResourceA, LoadResource, LockResource).
#include <windows.h>

#include "win32/user32/dialog_manager.h"

using namespace sim::win32::user32;

namespace {

struct FoundTemplate {
    const void* data = nullptr;
    size_t size = 0;
};

// A missing resource leaves FindResourceA's error (ERROR_RESOURCE_NAME_NOT_FOUND).
FoundTemplate FindTemplate(HINSTANCE instance, LPCSTR name) {
    HRSRC resource = FindResourceA(instance, name, RT_DIALOG);
    if (resource == NULL) {
        return {};
    }
    HGLOBAL loaded = LoadResource(instance, resource);
    if (loaded == NULL) {
        return {};
    }
    return {LockResource(loaded), SizeofResource(instance, resource)};
}

int TemplateId(LPCSTR name) {
    return IS_INTRESOURCE(name) ? LOWORD(reinterpret_cast<uintptr_t>(name)) : 0;
}

}  // namespace

// A modeless dialog from the module's template; NULL if there is none.
HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    FoundTemplate found = FindTemplate(hInstance, lpTemplateName);
    if (found.data == nullptr) {
        return NULL;
    }
    return CreateDialogFromTemplate(hInstance, found.data, found.size, hWndParent, lpDialogFunc,
                                    dwInitParam, false, TemplateId(lpTemplateName));
}

// A modal dialog from the module's template; -1 if there is none.
INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    FoundTemplate found = FindTemplate(hInstance, lpTemplateName);
    if (found.data == nullptr) {
        return -1;
    }
    return RunModalDialog(hInstance, found.data, found.size, hWndParent, lpDialogFunc, dwInitParam,
                          TemplateId(lpTemplateName));
}
