// Helpers shared by the tests: run a scenario on a fresh simulated PC, read the driver's
// device list from inside it, and compare event sequences with a readable diff.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ampsim/io_commands.h"
#include "ampsim/runner.h"
#include "filter.h"
#include "kmdf/kmdf.h"
#include "pc/pnp_manager.h"
#include "pc/usb_tree.h"

namespace support {

struct ScenarioRun {
    std::unique_ptr<ampsim::ScenarioRunner> runner;
    ampsim::RunResult result;
    uint64_t seed = 0;
    std::string text;
    // Texts of one category's events, in order.
    std::vector<std::string> Lines(const std::string& category) const;
    // What reproduces the run, for failure messages: seed, scenario and the log's tail.
    std::string Reproduce() const;
    sim::Machine& machine() const { return *runner->machine(); }
};

// Runs `text`; `after` runs on the scenario thread after the last command.
ScenarioRun RunScenario(const std::string& text, uint64_t seed = 0,
                        const std::function<void(sim::Machine&)>& after = nullptr);

// A run that must finish without deadlock or bug check.
#define EXPECT_RUN_OK(run) \
    EXPECT_TRUE((run).result.ok()) << (run).result.outcome.report << "\n" << (run).Reproduce()

struct ListedDevice {
    ULONG handle;
    USHORT vexa;
    USHORT vid;
    USHORT pid;
    UCHAR charge_sent;
    std::string container_id;
};

// The driver's listed devices, none while it is not loaded; call from a simulated thread.
std::vector<ListedDevice> ListedDevices();

// One request through the user-mode channel on a handle of its own (see ampsim's SendIoctl),
// from the current simulated thread.
using ampsim::IoctlReply;
IoctlReply Ioctl(uint32_t code, const std::vector<uint8_t>& input, size_t output_length);
// Little-endian bytes of a request record, from 32-bit and 16-bit fields.
std::vector<uint8_t> Le32(std::initializer_list<uint32_t> values);
void AppendLe16(std::vector<uint8_t>* bytes, std::initializer_list<uint16_t> values);

// Compares whole sequences and shows both on a mismatch.
::testing::AssertionResult SameSequence(const std::vector<std::string>& actual,
                                        const std::vector<std::string>& expected);

}  // namespace support
