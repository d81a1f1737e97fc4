// Chooses an entry of Ampwise's tray menu the way the menu does: WM_COMMAND with the entry's
// identifier, posted to the hidden main dialog. The smoke test opens the notify dialog with
// a hub entry (10: hub slot 0) and ends the program with "Exit" (3).
//   ampwise_menu ID
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        printf("usage: ampwise_menu ID\n");
        return 2;
    }
    WPARAM id = (WPARAM)atoi(argv[1]);
    HWND dialog = NULL;
    for (int attempt = 0; attempt < 50 && dialog == NULL; attempt++) {
        dialog = FindWindowA(MAKEINTATOM(32770), "Ampwise");  // the dialog class
        if (dialog == NULL) {
            Sleep(100);
        }
    }
    if (dialog == NULL || !PostMessageA(dialog, WM_COMMAND, id, 0)) {
        printf("ampwise_menu: no Ampwise window to send %u to\n", (unsigned)id);
        return 1;
    }
    printf("ampwise_menu: entry %u chosen\n", (unsigned)id);
    return 0;
}
