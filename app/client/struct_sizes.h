// The size fields Ampwise writes. On Windows they come from the headers, and the 32-bit
// program's sizes are checked at compile time; the simulated build on a 64-bit host passes
// the 32-bit program's numbers, which the simulated Windows accepts as a 32-bit one would.
#pragma once

#include <windows.h>
#include <shellapi.h>

#if defined(__MINGW32__)
#define TRAY_DATA_SIZE NOTIFYICONDATAA_V2_SIZE  // up to dwInfoFlags, without guidItem
#define SHELL_EXECUTE_INFO_SIZE sizeof(SHELLEXECUTEINFOA)
#define OS_VERSION_INFO_SIZE sizeof(OSVERSIONINFOA)
#if !defined(_WIN64)
static_assert(TRAY_DATA_SIZE == 488, "the 488-byte NOTIFYICONDATAA form");
static_assert(SHELL_EXECUTE_INFO_SIZE == 60, "the 32-bit SHELLEXECUTEINFOA");
static_assert(OS_VERSION_INFO_SIZE == 148, "OSVERSIONINFOA");
#endif
#else
#define TRAY_DATA_SIZE 488
#define SHELL_EXECUTE_INFO_SIZE 60
#define OS_VERSION_INFO_SIZE 148
#endif
