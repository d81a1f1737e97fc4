// USB transfers and start-time reads: target order and fallbacks, the bounded request and
// its races, the BOS container ID, the instance ID and the topology address.
#include "support/sim_test.h"

#include <set>

namespace {

using support::RunScenario;
using support::SameSequence;

// The first listed device's context, read on the scenario thread.
FILTER_EXTENSION FirstDevice() {
    FILTER_EXTENSION copy = {};
    WdfWaitLockAcquire(FilterDevicesLock, NULL);
    if (WdfCollectionGetCount(FilterDevices) > 0) {
        copy = *FilterGetData(WdfCollectionGetItem(FilterDevices, 0));
    }
    WdfWaitLockRelease(FilterDevicesLock);
    return copy;
}

std::vector<std::string> SetupsOf(const support::ScenarioRun& run, const std::string& device) {
    std::vector<std::string> lines;
    for (const sim::Event& event : run.machine().log.events()) {
        if ((event.category == "usb" || event.category == "usb-std") &&
            event.text.rfind(device + " setup ", 0) == 0) {
            lines.push_back(event.text.substr(device.size() + 7));
        }
    }
    return lines;
}

TEST(Transfers, WithoutTargetReadsGoToPdoThenLower) {
    FILTER_EXTENSION pdo_path = {}, lower_path = {};
    auto run = RunScenario(
        "controller C1\ndevice PAD vid=05AC pid=12AB serial=AB notarget\n"
        "load\nplug PAD C1:1\n",
        0, [&](sim::Machine&) { pdo_path = FirstDevice(); });
    EXPECT_RUN_OK(run);
    EXPECT_TRUE(SameSequence(
        SetupsOf(run, "PAD"),
        {"80 06 0100 0000 0012 via=pdo -> 0x00000000", "80 06 0303 0000 0200 via=pdo -> 0x00000000",
         // On the IRP path the BOS read goes out as a vendor request.
         "C0 06 0F00 0000 002A via=pdo -> 0xc0000001",
         "C0 06 0F00 0000 002A via=lower -> 0xc0000001",
         // The hub test's string 0x80, 256 bytes on this path.
         "80 06 0380 0000 0100 via=pdo -> 0xc0000001",
         "80 06 0380 0000 0100 via=lower -> 0xc0000001"}));
    EXPECT_EQ(pdo_path.DeviceDescriptor.idProduct, 0x12AB);
    // The IRP path keeps the whole string descriptor: length, type, UTF-16 characters.
    EXPECT_EQ(pdo_path.SerialNumber[0], 6);
    EXPECT_EQ(pdo_path.SerialNumber[1], USB_STRING_DESCRIPTOR_TYPE);
    EXPECT_EQ(pdo_path.SerialNumber[2], 'A');
    run.runner.reset();

    auto lower = RunScenario(
        "controller C1\ndevice PAD vid=05AC pid=12AB notarget pdofail\n"
        "load\nplug PAD C1:1\n",
        0, [&](sim::Machine&) { lower_path = FirstDevice(); });
    EXPECT_RUN_OK(lower);
    EXPECT_EQ(SetupsOf(lower, "PAD").front(), "80 06 0100 0000 0012 via=lower -> 0x00000000");
    EXPECT_EQ(lower_path.DeviceDescriptor.idProduct, 0x12AB);
    EXPECT_EQ(lower_path.TopologyAddress.RootHubPortNumber, 1);
}

struct InternalOrderCase {
    const char* options;
    std::vector<std::string> requests;  // the internal requests the device's stack received
};

#define URB_VIA(via, result) "IOCTL_INTERNAL_USB_SUBMIT_URB via=" via " -> " result
#define TOPOLOGY_VIA(via, result) "IOCTL_INTERNAL_USB_GET_TOPOLOGY_ADDRESS via=" via " -> " result

// Every request the driver sends down the stack itself goes to the Pdo first and, only when
// that fails, to the next-lower device: the topology address on every device, and the
// descriptor, serial, BOS and hub-test reads on a device without a framework target.
TEST(Transfers, InternalRequestsGoToPdoFirstThenLower) {
    const InternalOrderCase cases[] = {
        {"", {TOPOLOGY_VIA("pdo", "0x00000000")}},
        {"pdofail", {TOPOLOGY_VIA("pdo", "0xc0000001"), TOPOLOGY_VIA("lower", "0x00000000")}},
        // The BOS and string 0x80 reads stall on the Pdo path and are tried again below.
        {"notarget",
         {URB_VIA("pdo", "pending"), URB_VIA("pdo", "pending"), URB_VIA("pdo", "pending"),
          URB_VIA("lower", "pending"), URB_VIA("pdo", "pending"), URB_VIA("lower", "pending"),
          TOPOLOGY_VIA("pdo", "0x00000000")}},
        {"notarget pdofail",
         {URB_VIA("pdo", "0xc0000001"), URB_VIA("lower", "pending"), URB_VIA("pdo", "0xc0000001"),
          URB_VIA("lower", "pending"), URB_VIA("pdo", "0xc0000001"), URB_VIA("lower", "pending"),
          URB_VIA("pdo", "0xc0000001"), URB_VIA("lower", "pending"),
          TOPOLOGY_VIA("pdo", "0xc0000001"), TOPOLOGY_VIA("lower", "0x00000000")}},
    };
    for (const InternalOrderCase& c : cases) {
        auto run =
            RunScenario(std::string("controller C1\ndevice PAD vid=05AC pid=12AB serial=AB ") +
                        c.options + "\nload\nplug PAD C1:1\n");
        EXPECT_RUN_OK(run);
        std::vector<std::string> expected;
        for (const std::string& request : c.requests) {
            expected.push_back("PAD " + request);
        }
        EXPECT_TRUE(SameSequence(run.Lines("usb-internal"), expected)) << c.options;
    }
}

TEST(Transfers, FrameworkPathKeepsCharactersOnlyAndReadsTheBos) {
    FILTER_EXTENSION device = {};
    auto run = RunScenario(
        "controller C1\ndevice PAD vid=05AC pid=12AB bcdusb=0210 serial=AB\n"
        "load\nplug PAD C1:1\n",
        0, [&](sim::Machine&) { device = FirstDevice(); });
    EXPECT_RUN_OK(run);
    EXPECT_EQ(device.SerialNumber[0], 'A');
    EXPECT_EQ(device.SerialNumber[2], 'B');
    std::string container = reinterpret_cast<const char*>(device.ContainerId);
    std::string bos = reinterpret_cast<const char*>(device.BosContainerId);
    for (char& c : container) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    EXPECT_EQ(bos, container) << "the standard BOS carries the container ID";
}

struct BosCase {
    const char* options;
    const char* text;
};

TEST(Transfers, BosContainerIdComesFromOffset26) {
    const BosCase cases[] = {
        // A 5-byte BOS leaves the zeroed field's bytes at 26 to 41.
        {"bcdusb=0210 bos=050F050000", "{00000000-0000-0000-0000-000000000000}"},
        {"bcdusb=0210 bos=050F2A0001"
         "000000000000000000000000000000000000000000"
         "33221100554477668899AABBCCDDEEFF",
         "{00112233-4455-6677-8899-aabbccddeeff}"},
        {"bcdusb=0210 nobos", ""},
        {"bcdusb=0200", ""},
    };
    for (const BosCase& c : cases) {
        FILTER_EXTENSION device = {};
        auto run = RunScenario(std::string("controller C1\ndevice PAD vid=05AC pid=12AB ") +
                                   c.options + "\nload\nplug PAD C1:1\n",
                               0, [&](sim::Machine&) { device = FirstDevice(); });
        EXPECT_RUN_OK(run);
        EXPECT_STREQ(reinterpret_cast<const char*>(device.BosContainerId), c.text) << c.options;
    }
}

TEST(Transfers, InstanceIdAndTopologyThroughChainedHubs) {
    FILTER_EXTENSION device = {};
    auto run = RunScenario(
        "controller C1 bus=3 device=20 function=1\n"
        "hub H1 vid=1234 pid=0001\nhub H2 vid=1234 pid=0002\n"
        "device PAD vid=05AC pid=12AB serial=DMPX1234\n"
        "load\nplug PAD C1:1\n",
        0, [&](sim::Machine& machine) {
            machine.pnp->Unplug(machine.usb->Find("PAD"));
            machine.pnp->Plug(machine.usb->Find("H1"), machine.usb->HubOf("C1"), 2);
            machine.pnp->Plug(machine.usb->Find("H2"), machine.usb->Find("H1"), 3);
            machine.pnp->Plug(machine.usb->Find("PAD"), machine.usb->Find("H2"), 4);
            WdfWaitLockAcquire(FilterDevicesLock, NULL);
            device = *FilterGetData(WdfCollectionGetItem(FilterDevices, 2));
            WdfWaitLockRelease(FilterDevicesLock);
        });
    EXPECT_RUN_OK(run);
    EXPECT_STREQ(reinterpret_cast<const char*>(device.InstanceId), "DMPX1234");
    const USB_TOPOLOGY_ADDRESS& address = device.TopologyAddress;
    EXPECT_EQ(address.PciBusNumber, 3u);
    EXPECT_EQ(address.PciDeviceNumber, 20u);
    EXPECT_EQ(address.PciFunctionNumber, 1u);
    EXPECT_EQ(address.RootHubPortNumber, 2);
    EXPECT_EQ(address.HubPortNumber[0], 3);
    EXPECT_EQ(address.HubPortNumber[1], 4);
    EXPECT_EQ(address.HubPortNumber[2], 0);
}

struct SlowDeviceCase {
    const char* fault;                // a fault line before the plug, or ""
    std::vector<std::string> setups;  // the descriptor read, then the serial read on each path
    UCHAR serial_length;              // the answer a device sends despite the cancel still lands
};

// A device slower than 5 ms: the descriptor read waits as long as it takes; the serial read
// times out on both paths and fails, whether the cancelled transfer comes back at once, later,
// or (a device that ignores the cancel) with the device's answer. The call returns only once
// the IRP is back, and nothing outlives the request. The seeds reach both orders of the
// cancel's handshake.
TEST(Transfers, BoundedRequestFailsAfterItsTimeoutHoweverTheIrpComesBack) {
    const SlowDeviceCase cases[] = {
        {"",
         {"80 06 0100 0000 0012 via=pdo -> 0x00000000",
          "80 06 0303 0000 0200 via=pdo -> 0xc0000120",
          "80 06 0303 0000 0200 via=lower -> 0xc0000120"},
         0},
        {"fail usb-cancel PAD count=always\n",
         {"80 06 0100 0000 0012 via=pdo -> 0x00000000",
          "80 06 0303 0000 0200 via=pdo -> 0x00000000",
          "80 06 0303 0000 0200 via=lower -> 0x00000000"},
         6},
    };
    for (const SlowDeviceCase& c : cases) {
        for (uint64_t seed = 0; seed < 8; ++seed) {
            FILTER_EXTENSION device = {};
            auto run = RunScenario(std::string("controller C1\ndevice PAD vid=05AC pid=12AB "
                                               "serial=AB notarget latency=8ms\nload\n") +
                                       c.fault + "plug PAD C1:1\n",
                                   seed, [&](sim::Machine&) { device = FirstDevice(); });
            ASSERT_TRUE(run.result.ok()) << run.result.outcome.report << run.Reproduce();
            auto setups = SetupsOf(run, "PAD");
            setups.resize(std::min<size_t>(setups.size(), 3));
            EXPECT_TRUE(SameSequence(setups, c.setups)) << run.Reproduce();
            EXPECT_EQ(device.SerialNumber[0], c.serial_length) << run.Reproduce();
            EXPECT_TRUE(run.machine().kernel.live_irps.empty()) << run.Reproduce();
            EXPECT_EQ(run.result.pool_outstanding, 0u) << run.Reproduce();
        }
    }
}

// A device that answers exactly at the 5 ms limit races the waiter's timeout; across seeds
// both outcomes occur, and every one leaves no IRP, URB or pool behind.
TEST(Transfers, CompletionAtTheTimeoutIsRaceFree) {
    std::set<std::string> outcomes;
    for (uint64_t seed = 0; seed < 40; ++seed) {
        auto run = RunScenario(
            "controller C1\ndevice PAD vid=05AC pid=12AB serial=AB notarget "
            "latency=5ms\nload\nplug PAD C1:1\nunplug PAD\nunload\n",
            seed);
        ASSERT_TRUE(run.result.ok()) << run.result.outcome.report << run.Reproduce();
        ASSERT_TRUE(run.machine().kernel.live_irps.empty()) << run.Reproduce();
        ASSERT_EQ(run.result.pool_outstanding, 0u) << run.Reproduce();
        std::vector<std::string> setups = SetupsOf(run, "PAD");
        outcomes.insert(setups.at(1));
        // Whatever the device answered at the limit, the request timed out: the serial
        // read is made again below.
        ASSERT_EQ(setups.at(2).substr(0, 30), "80 06 0303 0000 0200 via=lower") << run.Reproduce();
    }
    EXPECT_EQ(outcomes.size(), 2u) << "the race was not exercised";
}

TEST(Transfers, FailedIrpBuildFallsBackToLower) {
    FILTER_EXTENSION device = {};
    auto run = RunScenario(
        "controller C1\ndevice PAD vid=05AC pid=12AB serial=AB notarget\n"
        "load\nfail irp-build count=1 skip=1\nplug PAD C1:1\n",
        0, [&](sim::Machine&) { device = FirstDevice(); });
    EXPECT_RUN_OK(run);
    EXPECT_EQ(SetupsOf(run, "PAD")[1], "80 06 0303 0000 0200 via=lower -> 0x00000000");
    EXPECT_EQ(device.SerialNumber[2], 'A');
    EXPECT_EQ(run.result.pool_outstanding, 0u);
}

}  // namespace

namespace {

// The hub's port-mode command goes to recipient "other" through the Pdo; the iPad's
// charge-current request to the device through the framework target.
TEST(Transfers, PortModeAndChargeRequestsReachTheirDevices) {
    NTSTATUS port = STATUS_UNSUCCESSFUL, charge = STATUS_UNSUCCESSFUL, bad = STATUS_SUCCESS;
    auto run = RunScenario(
        "controller C1\nhub H1 vid=2E7B pid=0610 bcdusb=0210\ndevice PAD vid=05AC pid=12AB\n"
        "load\nplug H1 C1:1\nplug PAD H1:2\n",
        0, [&](sim::Machine&) {
            WDFDEVICE hub = (WDFDEVICE)WdfCollectionGetItem(FilterDevices, 0);
            WDFDEVICE pad = (WDFDEVICE)WdfCollectionGetItem(FilterDevices, 1);
            port = FilterSendPortRequest(hub, 0x43, 0x74, 2, 1, 0, NULL);
            FilterSendPortRequest(hub, 0x43, 0x74, 2, 1, 0, NULL);
            bad = FilterSendPortRequest(hub, 0x43, 0x74, 2, 9, 0, NULL);
            charge = FilterSendDeviceRequest(pad, 0x40, 0x40, 0x6400, 0x6400, 0, NULL);
        });
    EXPECT_RUN_OK(run);
    EXPECT_EQ(port, STATUS_SUCCESS);
    EXPECT_EQ(charge, STATUS_SUCCESS);
    EXPECT_EQ(bad, STATUS_UNSUCCESSFUL) << "a port the hub does not have";
    EXPECT_TRUE(SameSequence(
        run.Lines("usb"),
        {"H1 port 1 mode=charging", "H1 setup 43 74 0002 0001 0000 via=pdo -> 0x00000000",
         "H1 setup 43 74 0002 0001 0000 via=pdo -> 0x00000000",
         "H1 setup 43 74 0002 0009 0000 via=pdo -> 0xc0000001",
         "H1 setup 43 74 0002 0009 0000 via=lower -> 0xc0000001",
         "PAD setup 40 40 6400 6400 0000 via=target -> 0x00000000"}));
}

}  // namespace

namespace {

struct KeyNameCase {
    std::string key;
    NTSTATUS status;
    const char* instance;  // what the destination holds afterwards
};

const size_t kLongestKeyName = (1024 - sizeof(OBJECT_NAME_INFORMATION)) / sizeof(WCHAR) - 1;

// A key name of `length` characters whose instance component is "INST".
std::string KeyNameOfLength(size_t length) {
    const std::string tail = "\\INST\\Device Parameters";
    return "\\" + std::string(length - 1 - tail.size(), 'K') + tail;
}

TEST(Transfers, InstanceIdNeedsTwoComponentsBeforeItsEnd) {
    const KeyNameCase cases[] = {
        {"\\REGISTRY\\X\\5&abc&0&1\\Device Parameters", STATUS_SUCCESS, "5&abc&0&1"},
        {"\\Device Parameters", STATUS_UNSUCCESSFUL, "unchanged"},
        {"Device Parameters", STATUS_UNSUCCESSFUL, "unchanged"},
        // The name is read into 1024 bytes: the name record, then the terminated name.
        {KeyNameOfLength(kLongestKeyName), STATUS_SUCCESS, "INST"},
        {KeyNameOfLength(kLongestKeyName + 1), STATUS_INFO_LENGTH_MISMATCH, "unchanged"},
    };
    for (const KeyNameCase& c : cases) {
        NTSTATUS status = STATUS_PENDING;
        UCHAR destination[IDENT_TEXT_SIZE] = "unchanged";
        auto run = RunScenario("controller C1\ndevice PAD vid=05AC pid=12AB\nload\nplug PAD C1:1\n",
                               0, [&](sim::Machine& machine) {
                                   WDFDEVICE device =
                                       (WDFDEVICE)WdfCollectionGetItem(FilterDevices, 0);
                                   machine.kernel.device_keys[FilterGetData(device)->Pdo] = c.key;
                                   status = FilterQueryInstanceId(device, destination);
                               });
        EXPECT_RUN_OK(run);
        EXPECT_EQ(status, c.status) << c.key;
        EXPECT_STREQ(reinterpret_cast<const char*>(destination), c.instance) << c.key;
        EXPECT_EQ(run.machine().kernel.handles.open_count(), 0u) << c.key;
        EXPECT_TRUE(run.machine().kernel.referenced_keys.empty()) << c.key;
    }
}

}  // namespace
