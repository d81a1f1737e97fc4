// Seeded soak: random plugs, unplugs, suspends, resumes, failing allocations and IRP builds,
// slow and stalling devices, the driver unloaded with its last device and loaded again, and
// the application's passes on held handles all the while, with the driver's invariants
// checked after every step and no IRP left at the end. A failure names its seed.
#include "support/sim_test.h"
#include "support/soak_seeds.h"

#include <set>

#include "ampsim/values.h"

#include "kmdf/kmdf.h"
#include "pc/pnp_manager.h"
#include "pc/usb_tree.h"

namespace {

using ampsim::SeedRange;

const char* const kSoakHardware =
    "controller C1 ports=3\ncontroller C2 ports=2 bus=3\n"
    "hub H1 vid=2E7B pid=0610 bcdusb=0210 ports=3\n"
    "hub H2 vid=1234 pid=0001 ports=2\n"
    "device PAD1 vid=05AC pid=12AB serial=P1\n"
    "device PAD2 vid=05AC pid=12A5 notarget latency=5ms\n"
    "device TAB1 vid=04E8 pid=6860 nocontainerid\n"
    "device TAB2 vid=04E8 pid=6861 notarget stall=all latency=3ms\n"
    "device KEY vid=0781 pid=5567 compatid=USB\\Class_08&SubClass_06&Prot_50\n"
    "registry IPADSupportList REG_MULTI_SZ 04E8_6861\n";

class Soak {
  public:
    Soak(sim::Machine& machine, std::string* failure) : machine_(machine), failure_(failure) {}

    void Step(int step) {
        // Steps start on the application's millisecond, so that a removal can meet a walk of
        // the device list that a request is making.
        machine_.scheduler.SleepFor(sim::kTicksPerMs, "the next step");
        std::vector<sim::UsbNode*> plugged, unplugged;
        for (const char* name : {"H1", "H2", "PAD1", "PAD2", "TAB1", "TAB2", "KEY"}) {
            sim::UsbNode* node = machine_.usb->Find(name);
            (node->connected ? plugged : unplugged).push_back(node);
        }
        uint64_t choice = machine_.scheduler.Random() % 11;
        if (choice < 4 && !unplugged.empty()) {
            Plug(unplugged[machine_.scheduler.Random() % unplugged.size()]);
        } else if (choice < 7 && !plugged.empty()) {
            machine_.pnp->Unplug(plugged[machine_.scheduler.Random() % plugged.size()]);
        } else if (choice == 7) {
            machine_.pnp->Suspend();
            machine_.pnp->Resume();
        } else if (choice == 8) {
            sim::Fault fault = machine_.scheduler.Random() % 2 == 0 ? sim::Fault::kPoolAllocation
                                                                    : sim::Fault::kIrpBuild;
            machine_.faults.Arm(fault, "", 1, static_cast<int>(machine_.scheduler.Random() % 3));
        } else if (choice == 9) {
            machine_.faults.Arm(sim::Fault::kCollectionAdd, "", 1);
        } else {
            // Everything out: the driver goes, or stays for a pass's handle until it closes.
            for (sim::UsbNode* node : plugged) {
                if (node->connected) {
                    machine_.pnp->Unplug(node);
                }
            }
        }
        Check(step);
    }

    void Check(int step) {
        sim::Machine::Observation observation(machine_);
        if (!machine_.pnp->driver_loaded()) {
            return;
        }
        // A reload starts the handles afresh; its collection is a new object.
        if (FilterDevices != collection_) {
            collection_ = FilterDevices;
            seen_.clear();
            highest_seen_ = 0;
        }
        std::vector<support::ListedDevice> listed = support::ListedDevices();
        std::set<ULONG> handles;
        ULONG previous = 0;
        for (const support::ListedDevice& device : listed) {
            if (!handles.insert(device.handle).second || device.handle <= previous) {
                Fail(step, "handles out of order or repeated");
            }
            // Handles only grow: one seen for the first time is above every earlier one.
            if (seen_.count(device.handle) == 0 && device.handle <= highest_seen_) {
                Fail(step, "a handle was reused");
            }
            previous = device.handle;
        }
        for (ULONG handle : handles) {
            seen_.insert(handle);
            highest_seen_ = std::max(highest_seen_, handle);
        }
        if (static_cast<ULONG>(DeviceSerial) <= previous) {
            Fail(step, "serial is not past every handle");
        }
        // Whatever handles a program held while devices went, a listed device is reachable.
        if (!listed.empty() && FilterGetControlExtension() == NULL) {
            Fail(step, "devices are listed but there is no control device");
        }
        // Every listed device sits on a connected node's stack. Read without the lock, as
        // ListedDevices does.
        ULONG count = WdfCollectionGetCount(FilterDevices);
        for (ULONG i = 0; i < count; ++i) {
            auto* device = static_cast<sim::WdfDevice*>(WdfCollectionGetItem(FilterDevices, i));
            if (!device->node->connected || device->node->stack == nullptr ||
                device->node->stack->filter != device) {
                Fail(step, "listed device " + device->node->name + " is not attached");
            }
        }
    }

  private:
    void Plug(sim::UsbNode* node) {
        std::vector<std::pair<sim::UsbNode*, int>> free_ports;
        for (sim::UsbNode* hub : machine_.usb->ConnectedNodes()) {
            for (int port = 1; hub->is_hub() && port <= hub->port_count; ++port) {
                if (hub->ports[static_cast<size_t>(port)] == nullptr) {
                    free_ports.emplace_back(hub, port);
                }
            }
        }
        if (free_ports.empty()) {
            return;
        }
        auto [hub, port] = free_ports[machine_.scheduler.Random() % free_ports.size()];
        machine_.pnp->Plug(node, hub, port);
    }

    void Fail(int step, const std::string& what) {
        if (failure_->empty()) {
            *failure_ = "step " + std::to_string(step) + ": " + what;
        }
    }

    sim::Machine& machine_;
    std::string* failure_;
    WDFCOLLECTION collection_ = NULL;
    std::set<ULONG> seen_;
    ULONG highest_seen_ = 0;
};

// One of the application's requests: a charge request, the list, a string or topology query,
// or a port command, to a handle that may have gone.
support::IoctlReply Request(sim::Machine& machine, sim::UserHandle handle) {
    uint64_t pick = machine.scheduler.Random();
    uint32_t device = static_cast<uint32_t>(pick >> 8) % 12;
    switch (pick % 5) {
        case 0:
            return ampsim::SendIoctlOn(machine, handle, VEXA_IOCTL_ENABLE_TAB_CHARGING, {0}, 0);
        case 1:
            return ampsim::SendIoctlOn(machine, handle, VEXA_IOCTL_ENUM_DEVICES, {}, 8 + 15 * 4);
        case 2:
            return ampsim::SendIoctlOn(machine, handle, VEXA_IOCTL_GET_INSTANCE_ID,
                                       support::Le32({0, device, 512}), 12 + 512);
        case 3:
            return ampsim::SendIoctlOn(machine, handle, VEXA_IOCTL_GET_TOPOLOGY_ADDRESS,
                                       support::Le32({0, device}), 32);
    }
    std::vector<uint8_t> command = support::Le32({0, device});
    command.push_back(0x43);
    command.push_back(0x74);
    support::AppendLe16(&command, {2, 1, 0});
    return ampsim::SendIoctlOn(machine, handle, VEXA_IOCTL_HUB_PORT_COMMAND, command, 16);
}

// The application's side: passes of a few requests on one handle held for the whole pass,
// as the polling pass holds it, while devices come and go, and the driver with them. A
// failure must report no bytes.
void Application(sim::Machine& machine, const bool* stop, std::string* failure) {
    while (!*stop) {
        sim::UserHandle handle = 0;
        if (NT_SUCCESS(machine.user_io.Open(VEXA_USER_DEVICE_PATH, &handle))) {
            int requests = 1 + static_cast<int>(machine.scheduler.Random() % 4);
            for (int i = 0; i < requests; ++i) {
                support::IoctlReply reply = Request(machine, handle);
                if (!NT_SUCCESS(reply.status) && reply.information != 0 && failure->empty()) {
                    *failure = "a failed request reported bytes";
                }
                machine.scheduler.SleepFor(sim::kTicksPerMs, "the pass's next request");
            }
            machine.user_io.Close(handle);
        }
        machine.scheduler.SleepFor(sim::kTicksPerMs, "the application's next pass");
    }
}

TEST(Soak, InvariantsHoldOverManySeeds) {
    size_t reloads = 0;
    size_t revived = 0;
    SeedRange seeds = support::SoakSeeds({0, 39});
    for (uint64_t seed = seeds.first; seed >= seeds.first && seed <= seeds.last; ++seed) {
        std::string failure;
        ampsim::ScenarioRunner runner(std::string(kSoakHardware) + "load\n");
        ampsim::RunResult result = runner.Run(seed, nullptr, [&](sim::Machine& machine) {
            Soak soak(machine, &failure);
            bool stop = false;
            machine.scheduler.Spawn("application", [&machine, &stop, &failure] {
                Application(machine, &stop, &failure);
            });
            for (int step = 0; step < 60 && failure.empty(); ++step) {
                soak.Step(step);
            }
            stop = true;
            machine.scheduler.SleepFor(2 * sim::kTicksPerSecond, "the application's last request");
            machine.faults = sim::Faults();
            machine.pnp->UnloadDriver();
        });
        ASSERT_TRUE(result.ok()) << "seed " << seed << ": " << result.outcome.report << "\n"
                                 << runner.machine()->log.Tail(20);
        ASSERT_EQ(failure, "") << "seed " << seed << "\n" << runner.machine()->log.Tail(20);
        ASSERT_EQ(result.pool_outstanding, 0u) << "seed " << seed;
        ASSERT_EQ(result.handles_open, 0u) << "seed " << seed;
        ASSERT_EQ(runner.machine()->kmdf->live_objects(), 0u) << "seed " << seed;
        ASSERT_TRUE(runner.machine()->kernel.live_irps.empty()) << "seed " << seed;
        ASSERT_EQ(runner.machine()->user_io.open_count(), 0u) << "seed " << seed;
        ASSERT_FALSE(runner.machine()->pnp->driver_loaded()) << "seed " << seed;
        std::vector<std::string> pnp = runner.machine()->log.Texts("pnp");
        size_t loads = static_cast<size_t>(std::count(pnp.begin(), pnp.end(), "driver loaded"));
        std::vector<std::string> io = runner.machine()->log.Texts("io");
        reloads += loads - 1;
        // A control device created by a device add: the driver stayed loaded for a handle.
        revived += static_cast<size_t>(
                       std::count(io.begin(), io.end(), "control device \\Device\\tabvolt ready")) -
                   loads;
    }
    // The runs must have taken the driver through unloads and loads, and through adds that
    // found the control device gone, or they tested little. Forty seeds always do; a short
    // range chosen by hand may not.
    if (seeds.last >= seeds.first + 39) {
        EXPECT_GE(reloads, 20u);
        EXPECT_GE(revived, 20u);
    }
}

}  // namespace
