// Fuzzes the scenario language. The input is a scenario's text: it must either be refused
// with a ScenarioError naming one of its lines and a readable message, or be accepted and
// then run to an end (finished, or a deadlock or bug check report) with the clock never
// going backwards. A crash, a sanitizer report, or any other exception is a finding.
#include <cstdint>
#include <string>

#include "ampsim/runner.h"

namespace {

int CountLines(const std::string& text) {
    int lines = 1;
    for (char c : text) {
        lines += c == '\n';
    }
    return lines;
}

bool Readable(const std::string& message) {
    if (message.empty()) {
        return false;
    }
    for (char c : message) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::unique_ptr<ampsim::ScenarioRunner> runner;
    try {
        runner = std::make_unique<ampsim::ScenarioRunner>(text);
    } catch (const ampsim::ScenarioError& error) {
        if (error.line < 1 || error.line > CountLines(text) || !Readable(error.what())) {
            __builtin_trap();
        }
        return 0;
    }
    // A nest of `repeat` blocks may run for years of host time: checking it is the finding
    // here, running it is not.
    constexpr uint64_t kMostLinesRun = 100'000;
    if (runner->LinesPerRun() > kMostLinesRun) {
        return 0;
    }
    uint64_t seed = size == 0 ? 0 : data[0];
    ampsim::RunResult result = runner->Run(seed, nullptr);
    if (result.end_time < 0) {
        __builtin_trap();
    }
    return 0;
}
