#include "support/sim_test.h"

#include <sstream>

namespace support {

std::vector<std::string> ScenarioRun::Lines(const std::string& category) const {
    return runner->machine()->log.Texts(category);
}

std::string ScenarioRun::Reproduce() const {
    std::ostringstream text;
    text << "seed " << seed << "\n--- scenario ---\n"
         << this->text << "--- last events ---\n"
         << runner->machine()->log.Tail(25);
    return text.str();
}

ScenarioRun RunScenario(const std::string& text, uint64_t seed,
                        const std::function<void(sim::Machine&)>& after) {
    ScenarioRun run;
    run.seed = seed;
    run.text = text;
    run.runner = std::make_unique<ampsim::ScenarioRunner>(text);
    run.result = run.runner->Run(seed, nullptr, after);
    return run;
}

std::vector<ListedDevice> ListedDevices() {
    std::vector<ListedDevice> devices;
    if (!sim::Machine::Current().pnp->driver_loaded() || FilterDevices == NULL) {
        return devices;
    }
    // Nothing here blocks or is preempted, and only one simulated thread runs at a time, so
    // the walk sees the list as it is without the driver's lock, whose acquisition could let
    // another thread in to unload the driver and take the lock away.
    sim::Machine::Observation observation(sim::Machine::Current());
    ULONG count = WdfCollectionGetCount(FilterDevices);
    for (ULONG i = 0; i < count; ++i) {
        PFILTER_EXTENSION extension = FilterGetData(WdfCollectionGetItem(FilterDevices, i));
        devices.push_back(ListedDevice{extension->Handle, extension->VexaDevType,
                                       extension->DeviceDescriptor.idVendor,
                                       extension->DeviceDescriptor.idProduct, extension->ChargeSent,
                                       reinterpret_cast<const char*>(extension->ContainerId)});
    }
    return devices;
}

IoctlReply Ioctl(uint32_t code, const std::vector<uint8_t>& input, size_t output_length) {
    return ampsim::SendIoctl(sim::Machine::Current(), code, input, output_length);
}

std::vector<uint8_t> Le32(std::initializer_list<uint32_t> values) {
    std::vector<uint8_t> bytes;
    for (uint32_t value : values) {
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<uint8_t>(value >> shift));
        }
    }
    return bytes;
}

void AppendLe16(std::vector<uint8_t>* bytes, std::initializer_list<uint16_t> values) {
    for (uint16_t value : values) {
        bytes->push_back(static_cast<uint8_t>(value));
        bytes->push_back(static_cast<uint8_t>(value >> 8));
    }
}

::testing::AssertionResult SameSequence(const std::vector<std::string>& actual,
                                        const std::vector<std::string>& expected) {
    if (actual == expected) {
        return ::testing::AssertionSuccess();
    }
    std::ostringstream diff;
    size_t rows = std::max(actual.size(), expected.size());
    diff << "sequences differ (expected | actual):\n";
    for (size_t i = 0; i < rows; ++i) {
        std::string want = i < expected.size() ? expected[i] : "<none>";
        std::string got = i < actual.size() ? actual[i] : "<none>";
        diff << (want == got ? "   " : " ! ") << want << " | " << got << "\n";
    }
    return ::testing::AssertionFailure() << diff.str();
}

}  // namespace support
