// CreateFileA, DeviceIoControl and CloseHandle against the driver: what a program sees of
// each outcome, return value, bytes returned and last error together.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ampsim/runner.h"
#include "machine_run.h"
#include "vexa_ioctl.h"

namespace {

using win32test::kPcWithDriver;

// Runs `body` on the scenario thread once the scenario is done.
void AfterScenario(const std::string& scenario, const std::function<void()>& body) {
    ampsim::ScenarioRunner runner(scenario);
    ampsim::RunResult result = runner.Run(0, nullptr, [&](sim::Machine&) { body(); });
    EXPECT_TRUE(result.ok()) << result.outcome.report;
}

HANDLE OpenTabvolt() {
    return CreateFileA(VEXA_USER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
}

struct ControlCase {
    const char* what;
    DWORD code;
    DWORD output_length;
    BOOL succeeds;
    DWORD returned;
    DWORD error;  // the last error after a failure
};
const ControlCase kControlCases[] = {
    {"device count", VEXA_IOCTL_GET_DEVICE_NUM, sizeof(VEXA_DEVICE_LIST), TRUE,
     sizeof(VEXA_DEVICE_LIST), 0},
    {"count into a short buffer", VEXA_IOCTL_GET_DEVICE_NUM, 4, FALSE, 0,
     ERROR_INSUFFICIENT_BUFFER},
    {"unknown code", VEXA_CTL_CODE(0x80E), 0, FALSE, 0, ERROR_NOT_SUPPORTED},
};

TEST(DeviceIo, ControlRequestsReportTheirOutcomeAsWindowsDoes) {
    for (const ControlCase& entry : kControlCases) {
        AfterScenario(kPcWithDriver, [&] {
            HANDLE device = OpenTabvolt();
            ASSERT_NE(device, INVALID_HANDLE_VALUE) << GetLastError();
            std::vector<BYTE> output(entry.output_length + 1);
            DWORD returned = 0xDEAD;
            SetLastError(0);
            BOOL succeeded = DeviceIoControl(device, entry.code, NULL, 0, output.data(),
                                             entry.output_length, &returned, NULL);
            EXPECT_EQ(succeeded, entry.succeeds) << entry.what;
            EXPECT_EQ(returned, entry.returned) << entry.what;
            EXPECT_EQ(GetLastError(), entry.error) << entry.what;
            EXPECT_TRUE(CloseHandle(device));
        });
    }
}

TEST(DeviceIo, OpeningWhatDoesNotExistFailsWithFileNotFound) {
    for (const char* name : {"\\\\.\\tabvolt", "\\\\.\\nothing", "c:\\a.out"}) {
        AfterScenario("controller C1\n", [&] {
            SetLastError(0);
            EXPECT_EQ(CreateFileA(name, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL),
                      INVALID_HANDLE_VALUE)
                << name;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << name;
        });
    }
}

TEST(DeviceIo, ClosingAHandleTwiceFailsTheSecondTime) {
    AfterScenario(kPcWithDriver, [] {
        HANDLE device = OpenTabvolt();
        ASSERT_NE(device, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(CloseHandle(device));
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(device));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    });
}

}  // namespace
