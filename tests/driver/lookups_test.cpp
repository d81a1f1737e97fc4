// Reads keyed by handle and the device list: capacities, unknown handles, layouts.
#include "support/sim_test.h"

namespace {

using support::RunScenario;

const char* const kThreeDevices =
    "controller C1 bus=2 device=20 function=0\n"
    "hub H1 vid=2E7B pid=0610 bcdusb=0210 bcddevice=7763\n"
    "device PAD vid=05AC pid=12AB serial=DMPX\n"
    "device TAB vid=04E8 pid=6860\n"
    "load\nplug H1 C1:1\nplug PAD H1:2\nplug TAB H1:3\nunplug TAB\nplug TAB H1:3\n";

struct TextCase {
    ULONG capacity;
    ULONG copied;
};

TEST(Lookups, StringReadsClearTheirCapacityAndCopyAtMost512) {
    const TextCase cases[] = {{256, 256}, {512, 512}, {1000, 512}};
    for (const TextCase& c : cases) {
        std::vector<UCHAR> area(c.capacity + 16, 0xEE);
        ULONG serial = 0;
        auto run = RunScenario(kThreeDevices, 0, [&](sim::Machine&) {
            QueryFilterDeviceSerialStr(&serial, 2, area.data(), c.capacity);
        });
        EXPECT_RUN_OK(run);
        EXPECT_EQ(serial, 5u);
        EXPECT_EQ(area[0], 'D');
        EXPECT_EQ(area[6], 'X');
        EXPECT_EQ(area[8], 0) << c.capacity;
        EXPECT_EQ(area[c.capacity - 1], 0) << c.capacity;
        EXPECT_EQ(area[c.capacity], 0xEE) << "written past the capacity " << c.capacity;
    }
}

// Handles count from 1: handle 0 names no device.
TEST(Lookups, UnknownHandlesGiveClearedRepliesOrFail) {
    std::vector<UCHAR> area(512, 0xEE);
    std::vector<UCHAR> zero_area(512, 0xEE);
    FOUND_FILTER_DEVICE zero = {reinterpret_cast<WDFDEVICE>(1), reinterpret_cast<WDFUSBDEVICE>(1)};
    NTSTATUS zero_found = STATUS_SUCCESS;
    UCHAR topology[40];
    memset(topology, 0xEE, sizeof topology);
    ULONG serial = 0;
    FOUND_FILTER_DEVICE device = {reinterpret_cast<WDFDEVICE>(1),
                                  reinterpret_cast<WDFUSBDEVICE>(1)};
    NTSTATUS found = STATUS_SUCCESS;
    auto run = RunScenario(kThreeDevices, 0, [&](sim::Machine&) {
        EXPECT_EQ(QueryFilterDeviceInstanceID(&serial, 3, area.data(), 512), STATUS_SUCCESS);
        EXPECT_EQ(QueryFilterDeviceTopoAddr(&serial, 99, topology), STATUS_SUCCESS);
        found = FindFilterDeviceByHandle(&serial, 3, &device);
        QueryFilterDeviceSerialStr(&serial, 0, zero_area.data(), 512);
        zero_found = FindFilterDeviceByHandle(&serial, 0, &zero);
    });
    EXPECT_RUN_OK(run);
    EXPECT_EQ(std::count(area.begin(), area.end(), 0), 512) << "handle 3 was removed";
    EXPECT_EQ(std::count(topology, topology + 32, 0), 32);
    EXPECT_EQ(topology[32], 0xEE);
    EXPECT_EQ(found, STATUS_UNSUCCESSFUL);
    EXPECT_EQ(device.Device, nullptr);
    EXPECT_EQ(device.UsbDevice, nullptr);
    EXPECT_EQ(std::count(zero_area.begin(), zero_area.end(), 0), 512) << "handle 0";
    EXPECT_EQ(zero_found, STATUS_UNSUCCESSFUL) << "handle 0";
    EXPECT_EQ(zero.Device, nullptr);
    EXPECT_EQ(serial, 5u);
}

TEST(Lookups, ListAndTopologyLayouts) {
    std::vector<UCHAR> reply(8 + 15 * 2 + 4, 0xEE);
    UCHAR topology[32];
    ULONG serial = 0, count = 0, list_serial = 0;
    auto run = RunScenario(kThreeDevices, 0, [&](sim::Machine&) {
        count = GetFilterDeviceCount(&serial);
        EnumFilterDevices(&list_serial, reply.data(), 2);
        QueryFilterDeviceTopoAddr(&serial, 4, topology);
    });
    EXPECT_RUN_OK(run);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(list_serial, 5u);
    const std::vector<UCHAR> expected = {
        0,    0,    0,    0,   3, 0, 0,    0,  // serial apart, count 3
        1,    0,    0,    0,   1, 0, 0x7B, 0x2E, 0x10, 0x06, 0x63, 0x77, 0x10, 0x02, 0,  // the hub
        2,    0,    0,    0,   0, 0, 0xAC, 0x05, 0xAB, 0x12, 0x00, 0x01, 0x00, 0x02, 0,  // the iPad
        0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(reply, expected);
    const UCHAR expected_topology[32] = {0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 20, 0, 0, 0,
                                         0, 0, 0, 0, 1, 0, 3, 0, 0, 0, 0, 0, 0,  0, 0, 0};
    EXPECT_EQ(0, memcmp(topology, expected_topology, 32));
}

// A device found by handle stays usable after its removal until the caller lets it go.
TEST(Lookups, FoundDeviceOutlivesItsRemoval) {
    auto run = RunScenario(kThreeDevices, 0, [&](sim::Machine& machine) {
        ULONG serial = 0;
        FOUND_FILTER_DEVICE found;
        ASSERT_EQ(FindFilterDeviceByHandle(&serial, 2, &found), STATUS_SUCCESS);
        machine.pnp->Unplug(machine.usb->Find("PAD"));
        EXPECT_EQ(FilterGetData(found.Device)->Handle, 2u);
        UCHAR data[4];
        EXPECT_EQ(FilterSendDeviceRequest(found.Device, 0xC0, 1, 0, 0, 4, data),
                  STATUS_INVALID_DEVICE_STATE);
        FilterReleaseFoundDevice(&found);
    });
    EXPECT_RUN_OK(run);
}

// The USB target comes with the first start that can create it, which may follow the
// lookup; the release gives back only what the lookup took, and the device's own reference
// to its target survives until its removal.
TEST(Lookups, TargetCreatedAfterTheLookupIsNotReleased) {
    auto run = RunScenario(
        "controller C1\ndevice PAD vid=05AC pid=12AB\nfail usb-target PAD count=1\n"
        "load\nplug PAD C1:1\n",
        0, [&](sim::Machine& machine) {
            ULONG serial = 0;
            FOUND_FILTER_DEVICE found;
            ASSERT_EQ(FindFilterDeviceByHandle(&serial, 1, &found), STATUS_SUCCESS);
            EXPECT_EQ(found.UsbDevice, nullptr);
            FilterEvtDevicePrepareHardware(found.Device, NULL, NULL);
            ASSERT_NE(FilterGetData(found.Device)->UsbDevice, nullptr);
            FilterReleaseFoundDevice(&found);
            machine.pnp->Unplug(machine.usb->Find("PAD"));
        });
    EXPECT_RUN_OK(run);
    EXPECT_EQ(run.result.pool_outstanding, 0u) << run.Reproduce();
}

}  // namespace
