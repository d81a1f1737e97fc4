// The console program of Ampwise's unit checks on Windows (or Wine): the shared tables, the
// debug-line cut and the class library's checks.
#include <windows.h>

#include <string.h>

#include "client/debug_print.h"
#include "unit_check.h"

namespace {

// OutputDebugStringA raises DBG_PRINTEXCEPTION_C with the text; a vectored handler sees it
// before anything else, so the program reads its own debug output.
char g_debug_line[4096];

LONG CALLBACK CatchDebugString(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode != DBG_PRINTEXCEPTION_C || record->NumberParameters < 2) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    lstrcpynA(g_debug_line, (const char*)record->ExceptionInformation[1], sizeof(g_debug_line));
    return EXCEPTION_CONTINUE_EXECUTION;
}

void TestDebugPrintCut() {
    static char longText[2001];
    memset(longText, 'x', sizeof(longText) - 1);
    PVOID handler = AddVectoredExceptionHandler(1, CatchDebugString);

    DebugPrint("Found %d HUB(s), serial %d\n", 3, 17);
    Check(strcmp(g_debug_line, "Found 3 HUB(s), serial 17\n") == 0, "DebugPrint formats", 0);

    const int lengths[] = {259, 260, 300, 2000};
    for (int i = 0; i < (int)(sizeof(lengths) / sizeof(lengths[0])); i++) {
        longText[lengths[i]] = '\0';
        g_debug_line[0] = '\0';
        DebugPrint("%s", longText);
        Check(strlen(g_debug_line) == DEBUG_PRINT_BUFFER_SIZE - 1, "DebugPrint cuts at 259", i);
        longText[lengths[i]] = 'x';
    }
    RemoveVectoredExceptionHandler(handler);
}

}  // namespace

int main() {
    RunAmpwiseTables();
    TestDebugPrintCut();
    RunAfxChecks();
    return ReportUnitChecks();
}
