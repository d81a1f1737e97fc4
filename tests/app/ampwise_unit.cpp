// Ampwise's pure logic: topology tests, the slot list, the scheme-GUID check and the debug-line
// cut, then the class library's checks. A console program on Windows (or Wine) runs them all
// (main below); the simulated PC runs the same tables as a program of its own
// (ampwise_unit_app.cpp). Prints every failure and a "N passed, N failed" line; the exit status
// is the number of failures.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "client/device_slot_list.h"
#include "client/power_plan.h"
#include "client/topo_addr.h"
#include "unit_check.h"

namespace {

int g_passed = 0;
int g_failed = 0;

}  // namespace

void Check(bool ok, const char* what, int caseIndex) {
    if (ok) {
        g_passed++;
        return;
    }
    g_failed++;
    printf("FAILED: %s (case %d)\n", what, caseIndex);
}

namespace {

// Bus 1, device 2, function 0, root port r, then the hub ports from the root down.
TopoAddr Addr(USHORT root, USHORT p0 = 0, USHORT p1 = 0, USHORT p2 = 0, USHORT p3 = 0,
              USHORT p4 = 0) {
    TopoAddr addr = {1, 2, 0, root, {p0, p1, p2, p3, p4}};
    return addr;
}

struct UpstreamCase {
    TopoAddr hub;
    TopoAddr dev;
    BOOL upstream;
};

void TestIsUpstreamOf() {
    TopoAddr otherBus = Addr(3, 1, 2);
    otherBus.PciBusNumber = 2;
    const UpstreamCase cases[] = {
        {Addr(3, 1), Addr(3, 1, 2), TRUE},            // one level below
        {Addr(3, 1), Addr(3, 1, 2, 4), TRUE},         // two levels below
        {Addr(3, 1), Addr(3, 2, 1), FALSE},           // another port of the first hub
        {Addr(3, 1), Addr(4, 1, 2), FALSE},           // another root port
        {Addr(3, 1), otherBus, FALSE},                // another host controller
        {Addr(3), Addr(3, 1), TRUE},                  // a hub on the root port: depth 0
        {Addr(3, 1, 0, 2), Addr(3, 1, 5, 2), FALSE},  // a gap in the hub's ports counts
        {Addr(3, 1, 2, 3, 4, 5), Addr(3, 1, 2, 3, 4, 5), TRUE},
        {Addr(3, 1, 2), Addr(3, 1), FALSE},  // the hub is below the device
    };
    for (int i = 0; i < (int)(sizeof(cases) / sizeof(cases[0])); i++) {
        Check(IsUpstreamOf(cases[i].hub, cases[i].dev) == cases[i].upstream, "IsUpstreamOf", i);
    }
}

struct ParentPortCase {
    TopoAddr dev;
    USHORT port;
};

void TestParentPortAndEquals() {
    const ParentPortCase cases[] = {
        {Addr(3), 3},
        {Addr(3, 1), 1},
        {Addr(3, 1, 4), 4},
        {Addr(3, 1, 0, 2), 2},
        {Addr(3, 1, 2, 3, 4, 5), 5},
    };
    for (int i = 0; i < (int)(sizeof(cases) / sizeof(cases[0])); i++) {
        Check(ParentPort(cases[i].dev) == cases[i].port, "ParentPort", i);
    }
    TopoAddr function = Addr(3, 1);
    function.PciFunctionNumber = 1;
    Check(Equals(Addr(3, 1, 2), Addr(3, 1, 2)), "Equals same", 0);
    Check(!Equals(Addr(3, 1, 2), Addr(3, 1, 2, 0, 0, 1)), "Equals last level", 1);
    Check(!Equals(Addr(3, 1), function), "Equals function", 2);
}

struct TabHubCase {
    TopoAddr tab;
    int hubSlot;  // the hub it is plugged into, -1 for none
    USHORT port;  // its port there
};

// Hubs in slots 0..4: a chain of four from root port 3 (port 4 each time), with the slot order
// not the chain's; one more on another PCI function, and a freed slot upstream of everything.
void TestTabHubOfChainedHubs() {
    DeviceSlotList hubs;
    hubs.Lock();
    TopoAddr otherFunction = Addr(3);
    otherFunction.PciFunctionNumber = 1;
    const TopoAddr listed[] = {Addr(3, 4, 4), Addr(3),       Addr(3, 4, 4, 4),
                               Addr(3, 4),    otherFunction, Addr(3, 4, 4, 4, 4)};
    for (int i = 0; i < (int)(sizeof(listed) / sizeof(listed[0])); i++) {
        hubs.Add(listed[i]);
    }
    hubs.MarkAllUnconfirmed();
    for (int i = 0; i < 5; i++) {
        hubs.Confirm(listed[i]);
    }
    ULONG freed = 0;
    Check(hubs.SweepUnconfirmed(&freed) == 1 && freed == 0x20, "sweep names the freed slot", 0);
    TopoAddr onOtherFunction = Addr(3, 1);
    onOtherFunction.PciFunctionNumber = 1;
    const TabHubCase cases[] = {
        {Addr(3, 1), 1, 1},              // on the hub of the root port
        {Addr(3, 4, 1), 3, 1},           // one level down
        {Addr(3, 4, 4, 2), 0, 2},        // port 2 of the third hub
        {Addr(3, 4, 4, 4, 1), 2, 1},     // the deepest listed hub wins whatever its slot
        {Addr(3, 4, 4, 4, 4, 1), 2, 4},  // below the freed hub: the deepest listed one
        {Addr(3, 4, 2, 1), 3, 2},        // below a hub that is not listed
        {onOtherFunction, 4, 1},
        {Addr(2, 1), -1, 0},
    };
    for (int i = 0; i < (int)(sizeof(cases) / sizeof(cases[0])); i++) {
        int slot = hubs.DeepestUpstreamOf(cases[i].tab);
        Check(slot == cases[i].hubSlot, "DeepestUpstreamOf", i);
        Check(slot == -1 || PortOnHub(hubs.records[slot], cases[i].tab) == cases[i].port,
              "PortOnHub", i);
    }
    hubs.Unlock();
}

// One list through three passes: add, confirm, sweep, with the port words of a freed slot.
void TestSlotListPasses() {
    DeviceSlotList list;
    list.Lock();
    Check(list.Add(Addr(1, 1)) == 0 && list.Add(Addr(2, 1)) == 1, "Add lowest slots", 0);
    list.port_cmd[1] = 0x101;
    list.port_state[1] = 1;

    list.MarkAllUnconfirmed();  // pass 2 sees only the first device
    Check(list.HasUnconfirmed(Addr(1, 1)) && !list.HasUnconfirmed(Addr(5, 1)), "HasUnconfirmed", 1);
    list.Confirm(Addr(1, 1));
    Check(!list.HasUnconfirmed(Addr(1, 1)), "Confirm", 2);
    Check(list.SweepUnconfirmed() == 1, "Sweep count", 3);
    const ULONG afterSweep[] = {SLOT_PRESENT, SLOT_FREE, SLOT_FREE};
    Check(memcmp(list.state, afterSweep, sizeof(afterSweep)) == 0 && list.count == 1,
          "states after sweep", 4);
    Check(list.port_cmd[1] == 0 && list.port_state[1] == 0, "sweep clears port words", 5);

    list.port_cmd[1] = 0x101;  // queued for the slot while it was free
    Check(list.Add(Addr(6, 1)) == 1 && list.port_cmd[1] == 0, "freed slot reused afresh", 6);
    list.port_cmd[0] = 0x100;
    list.Clear();
    Check(list.count == 0 && list.state[0] == SLOT_FREE && list.port_cmd[0] == 0 &&
              Equals(list.records[1], Addr(6, 1)),
          "Clear keeps records", 7);
    list.Unlock();
}

void TestSlotListFull() {
    DeviceSlotList list;
    list.Lock();
    for (USHORT port = 1; port <= DEVICE_SLOT_COUNT; port++) {
        Check(list.Add(Addr(1, port)) == port - 1, "Add up to eight", port);
    }
    Check(list.Add(Addr(2, 1)) == -1 && list.count == DEVICE_SLOT_COUNT, "ninth refused", 0);
    list.Unlock();
}

struct GuidCase {
    const char* text;
    const char* guid;  // NULL: a format error
};

void TestReadSchemeGuid() {
    const GuidCase cases[] = {
        {"Power Scheme GUID: 381b4222-f694-41f0-9685-ff5bb260df2e  (Balanced)\r\n",
         "381b4222-f694-41f0-9685-ff5bb260df2e"},
        {"GUID: 381B4222-F694-41F0-9685-FF5BB260DF2E", "381B4222-F694-41F0-9685-FF5BB260DF2E"},
        {"x: 381b4222-f694-41f0-9685-ff5bb260df2e&calc", "381b4222-f694-41f0-9685-ff5bb260df2e"},
        {"Power Scheme GUID 381b4222-f694-41f0-9685-ff5bb260df2e", NULL},  // no ": "
        {"GUID: 381b4222-f694-41f0-9685-ff5bb260df", NULL},                // text ends early
        {"GUID: 381b4222&f694-41f0-9685-ff5bb260df2e", NULL},              // a separator
        {"GUID: 381b4222-f694-41f0-9685-ff5bb260df2& calc.exe", NULL},     // a command
        {"GUID: 381b42220f694-41f0-9685-ff5bb260df2e", NULL},              // dash missing
        {"a: b: 381b4222-f694-41f0-9685-ff5bb260df2e", NULL},              // first ": " counts
        {"", NULL},
    };
    for (int i = 0; i < (int)(sizeof(cases) / sizeof(cases[0])); i++) {
        char guid[SCHEME_GUID_LENGTH + 1];
        memset(guid, 'z', sizeof(guid));
        BOOL found = ReadSchemeGuid(cases[i].text, guid);
        if (cases[i].guid == NULL) {
            Check(!found, "ReadSchemeGuid refuses", i);
        } else {
            Check(found && strcmp(guid, cases[i].guid) == 0, "ReadSchemeGuid takes", i);
        }
    }
}

}  // namespace

void RunAmpwiseTables() {
    // Unbuffered, so a check that hangs still leaves the lines before it.
    setvbuf(stdout, NULL, _IONBF, 0);
    TestIsUpstreamOf();
    TestParentPortAndEquals();
    TestTabHubOfChainedHubs();
    TestSlotListPasses();
    TestSlotListFull();
    TestReadSchemeGuid();
}

int ReportUnitChecks() {
    printf("ampwise_unit: %d passed, %d failed\n", g_passed, g_failed);
    return g_failed;
}
