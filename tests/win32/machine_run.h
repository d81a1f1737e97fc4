// Runs a scenario on a fresh simulated PC, then a program's calls on the scenario's thread,
// and keeps the machine for inspection; compares sequences of lines with a readable diff;
// finds Ampwise's main dialog.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "ampsim/runner.h"
#include "win32/user32/user32_control.h"

namespace win32test {

// A PC with one Vexa hub and the driver loaded.
inline constexpr char kPcWithDriver[] =
    "controller C1 ports=4\n"
    "hub H1 vid=2E7B pid=0610 bcdusb=0210 ports=4\n"
    "load\n"
    "plug H1 C1:1\n";
// The hardware key of the Vexa hub with serial number VX0001.
inline constexpr char kHubDeviceParameters[] =
    "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_2E7B&PID_0610\\VX0001\\Device Parameters";

struct MachineRun {
    std::unique_ptr<ampsim::ScenarioRunner> runner;
    ampsim::RunResult result;
    std::vector<std::string> Lines(const std::string& category) const {
        return runner->machine()->log.Texts(category);
    }
    std::string Tail() const { return runner->machine()->log.Tail(30); }
};

inline MachineRun RunThenCall(const std::string& scenario, const std::function<void()>& calls) {
    MachineRun run;
    run.runner = std::make_unique<ampsim::ScenarioRunner>(scenario);
    run.result = run.runner->Run(0, nullptr, [&](sim::Machine&) { calls(); });
    EXPECT_TRUE(run.result.ok()) << run.result.outcome.report << "\n" << run.Tail();
    return run;
}

// The lines that follow the first one equal to `from` (all of them if none is).
inline std::vector<std::string> LinesAfter(const std::vector<std::string>& lines,
                                           const std::string& from) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == from) {
            return std::vector<std::string>(lines.begin() + static_cast<long>(i) + 1, lines.end());
        }
    }
    return lines;
}

// Expected trace texts may hold line feeds inside them: the debugger shows each line as a
// line of its own, and so does the log.
inline std::vector<std::string> AsDebuggerLines(const std::vector<std::string>& texts) {
    std::vector<std::string> lines;
    for (const std::string& text : texts) {
        std::istringstream parts(text);
        for (std::string part; std::getline(parts, part);) {
            lines.push_back(part);
        }
    }
    return lines;
}

inline ::testing::AssertionResult SameLines(const std::vector<std::string>& actual,
                                            const std::vector<std::string>& given) {
    std::vector<std::string> expected = AsDebuggerLines(given);
    if (actual == expected) {
        return ::testing::AssertionSuccess();
    }
    std::ostringstream diff;
    diff << "sequences differ (expected | actual):\n";
    for (size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
        std::string want = i < expected.size() ? expected[i] : "<none>";
        std::string got = i < actual.size() ? actual[i] : "<none>";
        diff << (want == got ? "  " : "! ") << want << " | " << got << "\n";
    }
    return ::testing::AssertionFailure() << diff.str();
}

// The hidden main dialog of the first Ampwise started, or null.
inline sim::win32::WindowHandle AmpwiseMainDialog() {
    for (const sim::win32::LiveWindow& window : sim::win32::LiveWindows()) {
        if (window.title == "Ampwise" && window.window_class == "#32770") {
            return window.hwnd;
        }
    }
    return nullptr;
}

}  // namespace win32test
