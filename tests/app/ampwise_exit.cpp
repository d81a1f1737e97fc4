// Chooses "Exit" the way the tray menu does: WM_COMMAND 3, posted to Ampwise's hidden main
// dialog. Used by the smoke test to see the program end through its own exit sequence.
#include <windows.h>

#include <stdio.h>

int main() {
    HWND dialog = NULL;
    for (int attempt = 0; attempt < 50 && dialog == NULL; attempt++) {
        dialog = FindWindowA(MAKEINTATOM(32770), "Ampwise");  // the dialog class
        if (dialog == NULL) {
            Sleep(100);
        }
    }
    if (dialog == NULL || !PostMessageA(dialog, WM_COMMAND, 3, 0)) {
        printf("ampwise_exit: no Ampwise window to send Exit to\n");
        return 1;
    }
    printf("ampwise_exit: Exit chosen\n");
    return 0;
}
