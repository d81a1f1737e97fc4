// Ampwise's driver client, built for the simulated PC, against the real driver.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ampsim/runner.h"
#include "client/driver_client.h"

namespace {

struct ClientRun {
    int result = 0;
    DWORD last_error = 0;
    std::vector<std::string> app;
    std::vector<std::string> usb;
};

// Runs the scenario, then RequestTabCharging(skip) on its thread.
ClientRun RequestChargingAfter(const std::string& scenario, BYTE skip) {
    ampsim::ScenarioRunner runner(scenario);
    ClientRun run;
    ampsim::RunResult result = runner.Run(0, nullptr, [&](sim::Machine&) {
        SetLastError(0);
        run.result = RequestTabCharging(skip);
        run.last_error = GetLastError();
    });
    EXPECT_TRUE(result.ok()) << result.outcome.report;
    run.app = runner.machine()->log.Texts("app");
    run.usb = runner.machine()->log.Texts("usb");
    return run;
}

TEST(DriverClient, ChargingRequestWithoutTheDriverFailsToOpen) {
    ClientRun run = RequestChargingAfter("controller C1\n", 0);
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.last_error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(run.app, (std::vector<std::string>{"dbg open filter fail, 2"}));
}

TEST(DriverClient, ChargingRequestReachesAnAttachedIpad) {
    ClientRun run = RequestChargingAfter(
        "controller C1 ports=4\n"
        "hub H1 vid=2E7B pid=0610 bcdusb=0210 ports=4\n"
        "device PAD vid=05AC pid=12A4\n"
        "load\n"
        "plug H1 C1:1\n"
        "plug PAD H1:2\n",
        0);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.app, (std::vector<std::string>{"dbg yaya"}));
    std::vector<std::string> charge;
    for (const std::string& line : run.usb) {
        if (line.find("setup 40 40") != std::string::npos) {
            charge.push_back(line);
        }
    }
    EXPECT_EQ(charge, (std::vector<std::string>{"PAD setup 40 40 6400 6400 0000 via=target -> "
                                                "0x00000000"}));
}

}  // namespace
