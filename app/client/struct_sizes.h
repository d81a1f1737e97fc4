// The size fields Ampwise writes. On Windows they come from the headers, and the 32-bit
// program's sizes are checked at compile time; the simulated build on a 64-bit host passes
// the 32-bit program's numbers, which the simulated Windows accepts as a 32-bit one would.
#pragma once

#include <windows.h>

#if defined(__MINGW32__)
// Only the sizes taken from the real headers need their structures.
#include <setupapi.h>
#include <shellapi.h>

#define TRAY_DATA_SIZE NOTIFYICONDATAA_V2_SIZE  // up to dwInfoFlags, without guidItem
#define SHELL_EXECUTE_INFO_SIZE sizeof(SHELLEXECUTEINFOA)
#define OS_VERSION_INFO_SIZE sizeof(OSVERSIONINFOA)
#define DEV_INFO_DATA_SIZE sizeof(SP_DEVINFO_DATA)
#define PROP_CHANGE_PARAMS_SIZE sizeof(SP_PROPCHANGE_PARAMS)
#if !defined(_WIN64)
static_assert(TRAY_DATA_SIZE == 488, "the 488-byte NOTIFYICONDATAA form");
static_assert(SHELL_EXECUTE_INFO_SIZE == 60, "the 32-bit SHELLEXECUTEINFOA");
static_assert(OS_VERSION_INFO_SIZE == 148, "OSVERSIONINFOA");
static_assert(DEV_INFO_DATA_SIZE == 28, "the 32-bit SP_DEVINFO_DATA");
static_assert(PROP_CHANGE_PARAMS_SIZE == 20, "SP_PROPCHANGE_PARAMS");
#endif
#else
#define TRAY_DATA_SIZE 488
#define SHELL_EXECUTE_INFO_SIZE 60
#define OS_VERSION_INFO_SIZE 148
#define DEV_INFO_DATA_SIZE 28
#define PROP_CHANGE_PARAMS_SIZE 20
#endif
