// The registry configuration: list text, options and every read failure.
#include "support/sim_test.h"

#include "kernel/wide_text.h"

namespace {

using support::RunScenario;

using Pairs = std::vector<std::pair<USHORT, USHORT>>;

Pairs PairsOf(const VID_PID_LIST& list) {
    Pairs pairs;
    for (LONG i = 0; i < list.Count; ++i) {
        pairs.emplace_back(list.Vid[i], list.Pid[i]);
    }
    return pairs;
}

// Loads the driver with the given registry lines and returns its configuration.
CONTROL_DEVICE_EXTENSION ConfigurationFor(const std::string& registry,
                                          const std::function<void(sim::Machine&)>& before = {}) {
    CONTROL_DEVICE_EXTENSION config;
    memset(&config, 0xAB, sizeof config);
    ampsim::ScenarioRunner runner(registry + "\ncontroller C1\n");
    ampsim::RunResult result = runner.Run(0, nullptr, [&](sim::Machine& machine) {
        if (before) {
            before(machine);
        }
        EXPECT_EQ(machine.pnp->LoadDriver(DriverEntry), STATUS_SUCCESS);
        config = *FilterGetControlExtension();
        machine.pnp->UnloadDriver();
    });
    EXPECT_TRUE(result.ok()) << result.outcome.report;
    EXPECT_EQ(result.pool_outstanding, 0u);
    EXPECT_EQ(result.handles_open, 0u) << "a key was left open";
    return config;
}

struct ListCase {
    std::string registry;
    Pairs pairs;
};

std::string SeventyStrings() {
    std::string line = "registry IPADSupportList REG_MULTI_SZ";
    for (int i = 0; i < 70; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, " 05AC_%04X", 0x1200 + i);
        line += text;
    }
    return line;
}

Pairs FirstSixtyFour() {
    Pairs pairs;
    for (int i = 0; i < 64; ++i) {
        pairs.emplace_back(0x05AC, 0x1200 + i);
    }
    return pairs;
}

TEST(Configuration, ListTextFormat) {
    const ListCase cases[] = {
        {"", {}},
        {"registry IPADSupportList REG_MULTI_SZ 05ac_12ab", {{0x05AC, 0x12AB}}},
        {"registry IPADSupportList REG_MULTI_SZ 0X5A_12AB", {{0x005A, 0x12AB}}},
        {"registry IPADSupportList REG_MULTI_SZ 05AG_12AB", {{0x0000, 0x12AB}}},
        {"registry IPADSupportList REG_SZ 05AC:12AB;05AC:12A0;",
         {{0x05AC, 0x12AB}, {0x05AC, 0x12A0}}},
        // Nine characters and the terminator: 20 bytes, one record.
        {"registry IPADSupportList REG_SZ 05AC:12AB", {{0x05AC, 0x12AB}}},
        // Eight characters and the terminator: 18 bytes, too short for a record.
        {"registry IPADSupportList REG_SZ 05AC:12A", {}},
        {"registry IPADSupportList REG_BINARY 3000350041004300", {}},
        // An eight-character string shifts every later record.
        {"registry IPADSupportList REG_MULTI_SZ 05AC_12A 05AC_12AB",
         {{0x05AC, 0x012A}, {0x0000, 0x02AB}}},
        {"registry IPADSupportList REG_MULTI_SZ 05AC_12AB 05AC_12AB",
         {{0x05AC, 0x12AB}, {0x05AC, 0x12AB}}},
        {SeventyStrings(), FirstSixtyFour()},
    };
    for (const ListCase& c : cases) {
        CONTROL_DEVICE_EXTENSION config = ConfigurationFor(c.registry);
        EXPECT_EQ(PairsOf(config.IpadSupportList), c.pairs) << c.registry;
        EXPECT_EQ(config.IDevSkipList.Count, 0) << c.registry;
        EXPECT_EQ(config.VexaHubSupportList.Count, 0) << c.registry;
    }
}

TEST(Configuration, EachListComesFromItsOwnValue) {
    CONTROL_DEVICE_EXTENSION config = ConfigurationFor(
        "registry IPADSupportList REG_MULTI_SZ 05AC_1297\n"
        "registry IDevSkipList REG_MULTI_SZ 05AC_12AB\n"
        "registry VEXAHUBSupportList REG_MULTI_SZ 1234_5678\n");
    EXPECT_EQ(PairsOf(config.IpadSupportList), (Pairs{{0x05AC, 0x1297}}));
    EXPECT_EQ(PairsOf(config.IDevSkipList), (Pairs{{0x05AC, 0x12AB}}));
    EXPECT_EQ(PairsOf(config.VexaHubSupportList), (Pairs{{0x1234, 0x5678}}));
}

struct OptionCase {
    const char* registry;
    ULONG value;
};

TEST(Configuration, OptionsCopyAtMostFourBytes) {
    const OptionCase cases[] = {
        {"", 0},
        {"registry DONTGETSTRDESC REG_DWORD 1", 1},
        {"registry DONTGETSTRDESC REG_SZ 1", 0x31},
        {"registry DONTGETSTRDESC REG_QWORD 0x100000005", 5},
        {"registry DONTGETSTRDESC REG_BINARY 0102", 0x0201},
        {"registry DONTGETSTRDESC REG_BINARY 01020304050607", 0x04030201},
    };
    for (const OptionCase& c : cases) {
        CONTROL_DEVICE_EXTENSION config = ConfigurationFor(c.registry);
        EXPECT_EQ(config.DontGetStrDesc, c.value) << c.registry;
        EXPECT_EQ(config.ChgCmdMode, 0u) << c.registry;
    }
    EXPECT_EQ(ConfigurationFor("registry CHGCMDMODE REG_DWORD 2").ChgCmdMode, 2u);
}

TEST(Configuration, AFailedReadLeavesOnlyThatSettingAtItsDefault) {
    const std::string registry =
        "registry IPADSupportList REG_MULTI_SZ 05AC_1297\n"
        "registry IDevSkipList REG_MULTI_SZ 05AC_12AB\n"
        "registry CHGCMDMODE REG_DWORD 3\n";
    // The first read's buffer cannot be allocated.
    CONTROL_DEVICE_EXTENSION config = ConfigurationFor(registry, [](sim::Machine& machine) {
        machine.faults.Arm(sim::Fault::kPoolAllocation, "Tabv", 1);
    });
    EXPECT_EQ(config.IpadSupportList.Count, 0);
    EXPECT_EQ(PairsOf(config.IDevSkipList), (Pairs{{0x05AC, 0x12AB}}));
    EXPECT_EQ(config.ChgCmdMode, 3u);

    // The value grows between the size query and the read.
    config = ConfigurationFor(registry, [](sim::Machine& machine) {
        int queries = 0;
        machine.kernel.registry.on_query = [&machine, queries](const std::string& key,
                                                               const std::string& name) mutable {
            if (sim::Registry::Canonical(name) == "IDEVSKIPLIST" && ++queries == 2) {
                machine.kernel.registry.SetValue(key, name, REG_MULTI_SZ,
                                                 sim::Utf16MultiSz({"05AC_12AB", "05AC_12A0"}));
            }
        };
    });
    EXPECT_EQ(PairsOf(config.IpadSupportList), (Pairs{{0x05AC, 0x1297}}));
    EXPECT_EQ(config.IDevSkipList.Count, 0);
    EXPECT_EQ(config.ChgCmdMode, 3u);
}

struct RegistryFaultCase {
    sim::Fault fault;
    const char* target;
    int skip;
    LONG ipad_pairs;  // what is left of each setting
    LONG skip_pairs;
    ULONG mode;
};

// Each registry call of a read failing once: that setting stays at its default, the others
// are read, and no key stays open (ConfigurationFor checks the handles).
TEST(Configuration, AFailedRegistryCallLeavesOnlyThatSettingAtItsDefault) {
    const RegistryFaultCase cases[] = {
        {sim::Fault::kOpenKey, "", 0, 0, 1, 3},
        {sim::Fault::kOpenKey, "", 1, 1, 0, 3},
        {sim::Fault::kOpenKey, "", 4, 1, 1, 0},
        {sim::Fault::kQueryValue, "IPADSupportList", 0, 0, 1, 3},
        {sim::Fault::kQueryValue, "IPADSupportList", 1, 0, 1, 3},
        {sim::Fault::kQueryValue, "IDevSkipList", 1, 1, 0, 3},
        {sim::Fault::kQueryValue, "CHGCMDMODE", 0, 1, 1, 0},
        {sim::Fault::kQueryValue, "CHGCMDMODE", 1, 1, 1, 0},
    };
    for (const RegistryFaultCase& c : cases) {
        CONTROL_DEVICE_EXTENSION config = ConfigurationFor(
            "registry IPADSupportList REG_MULTI_SZ 05AC_1297\n"
            "registry IDevSkipList REG_MULTI_SZ 05AC_12AB\n"
            "registry CHGCMDMODE REG_DWORD 3\n",
            [&](sim::Machine& machine) { machine.faults.Arm(c.fault, c.target, 1, c.skip); });
        std::string what = std::string(sim::FaultName(c.fault)) + " " + c.target + " skip " +
                           std::to_string(c.skip);
        EXPECT_EQ(config.IpadSupportList.Count, c.ipad_pairs) << what;
        EXPECT_EQ(config.IDevSkipList.Count, c.skip_pairs) << what;
        EXPECT_EQ(config.ChgCmdMode, c.mode) << what;
    }
}

}  // namespace
