// USER32's part of windows.h on the simulated PC: windows, messages, dialogs, menus, timers
// and string and icon resources. The calls are carried out in sim/win32/user32/.
#pragma once
