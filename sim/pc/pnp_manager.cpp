#include "pc/pnp_manager.h"

#include <usbioctl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>

#include "kernel/call_and_wait.h"
#include "kmdf/kmdf.h"
#include "pc/machine.h"
#include "pc/usb_device.h"
#include "pc/usb_tree.h"

namespace sim {
namespace {

constexpr UCHAR kSurpriseRemoval = 0x17;
// USB's tier limit: the root port and at most five external hubs' ports.
constexpr size_t kMaxPortsBelowRootHub = 6;

std::string Hex(NTSTATUS status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(status));
    return text;
}

NTSTATUS CompleteWith(PIRP irp, NTSTATUS status) {
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// The ports from the root hub down to the node: the root port first.
std::vector<int> PortPath(const UsbNode& node) {
    std::vector<int> ports;
    const UsbNode* walk = &node;
    while (walk->parent != nullptr && walk->parent->kind != NodeKind::kController) {
        ports.insert(ports.begin(), walk->port);
        walk = walk->parent;
    }
    return ports;
}

// Why the hub above the node does not enumerate it, or "" when it does. A hub without a
// working stack enumerates nothing below it. A hub on the last tier could have nothing below
// it, so Windows' hub driver leaves it alone (port status DeviceHubNestedTooDeeply); a
// device on that tier works.
std::string NotEnumeratedReason(const UsbNode& node) {
    if (node.kind == NodeKind::kController || node.kind == NodeKind::kRootHub) {
        return "";
    }
    if (node.parent->stack == nullptr || !node.parent->stack->started) {
        return "hub-not-started";
    }
    if (node.is_hub() && PortPath(node).size() >= kMaxPortsBelowRootHub) {
        return "hub-nested-too-deeply";
    }
    return "";
}

// The topology address the hub driver reports: the controller's place on the PCI bus, the
// root port, then up to five hub ports.
NTSTATUS FillTopologyAddress(const UsbNode& node, PUSB_TOPOLOGY_ADDRESS address) {
    std::vector<int> ports = PortPath(node);
    if (ports.empty() || ports.size() > kMaxPortsBelowRootHub || node.behaviour.no_topology) {
        return STATUS_NOT_SUPPORTED;
    }
    const UsbNode* controller = node.controller();
    memset(address, 0, sizeof *address);
    address->PciBusNumber = controller->pci_bus;
    address->PciDeviceNumber = controller->pci_device;
    address->PciFunctionNumber = controller->pci_function;
    address->RootHubPortNumber = static_cast<USHORT>(ports[0]);
    for (size_t i = 1; i < ports.size(); ++i) {
        address->HubPortNumber[i - 1] = static_cast<USHORT>(ports[i]);
    }
    return STATUS_SUCCESS;
}

// The USB stack's internal controls, whichever device object of the stack received them.
// Each is logged as it is answered or handed to the device, before its completion can wake
// the sender.
NTSTATUS InternalControl(DeviceStack* stack, PIRP irp, Via via) {
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    ULONG code = location->Parameters.DeviceIoControl.IoControlCode;
    UsbNode* node = stack->node;
    auto answer = [&](NTSTATUS status) {
        LogInternalRequest(Machine::Current(), *node, code, via, status);
        return CompleteWith(irp, status);
    };
    if (stack->removed || !node->connected || (via == Via::kPdo && node->behaviour.pdo_fails)) {
        return answer(via == Via::kPdo && node->behaviour.pdo_fails ? STATUS_UNSUCCESSFUL
                                                                    : STATUS_NO_SUCH_DEVICE);
    }
    switch (code) {
        case IOCTL_INTERNAL_USB_GET_TOPOLOGY_ADDRESS:
            return answer(FillTopologyAddress(
                *node, static_cast<PUSB_TOPOLOGY_ADDRESS>(location->Parameters.Others.Argument1)));
        case IOCTL_INTERNAL_USB_SUBMIT_URB: {
            auto* urb = static_cast<PURB>(location->Parameters.Others.Argument1);
            SetupPacket setup;
            PVOID buffer = nullptr;
            if (node->device_thread == nullptr || !SetupFromUrb(urb, &setup, &buffer)) {
                return answer(STATUS_NOT_SUPPORTED);
            }
            LogInternalRequest(Machine::Current(), *node, code, via, STATUS_PENDING);
            return node->device_thread->Submit(irp, setup, buffer, urb, via);
        }
    }
    return answer(STATUS_NOT_SUPPORTED);
}

// The bus driver's PDOs succeed every PnP and power request and serve the USB stack's
// internal controls.
NTSTATUS BusDispatch(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    UCHAR major = IoGetCurrentIrpStackLocation(Irp)->MajorFunction;
    if (major == IRP_MJ_PNP || major == IRP_MJ_POWER) {
        return CompleteWith(Irp, STATUS_SUCCESS);
    }
    if (major == IRP_MJ_INTERNAL_DEVICE_CONTROL) {
        return InternalControl(static_cast<DeviceStack*>(DeviceObject->DeviceExtension), Irp,
                               Via::kPdo);
    }
    return CompleteWith(Irp, STATUS_NOT_SUPPORTED);
}

// The function driver passes PnP and power requests to the PDO below it; the USB stack's
// internal controls it sends on by its own path, which a failing PDO does not block.
NTSTATUS FunctionDispatch(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    auto* stack = static_cast<DeviceStack*>(DeviceObject->DeviceExtension);
    if (IoGetCurrentIrpStackLocation(Irp)->MajorFunction == IRP_MJ_INTERNAL_DEVICE_CONTROL) {
        return InternalControl(stack, Irp, Via::kLower);
    }
    IoSkipCurrentIrpStackLocation(Irp);
    return IoCallDriver(&stack->pdo, Irp);
}

void InitDriverObject(DRIVER_OBJECT* driver, PDRIVER_DISPATCH dispatch) {
    for (PDRIVER_DISPATCH& entry : driver->MajorFunction) {
        entry = dispatch;
    }
}

PDEVICE_OBJECT TopOf(DeviceStack* stack) {
    PDEVICE_OBJECT top = &stack->pdo;
    while (top->AttachedDevice != NULL) {
        top = top->AttachedDevice;
    }
    return top;
}

// The enumerator and device component of a device's hardware key, by its first hardware ID:
// host-controller stacks other than the in-box one enumerate under names of their own.
struct KeyForm {
    const char* hardware_id_prefix;
    const char* enumerator;  // "": the one the hardware ID names, USB if it names none
    const char* ids_format;  // of vendor and product
};
const KeyForm kKeyForms[] = {
    {"USB\\ASMEDIAUSBD_HUB&", "USB", "VID_%04X&PID_%04X&ASMEDIAUSBD_Hub"},
    {"USB\\TIUSBD_HUB&", "USB", "VID_%04X&PID_%04X&TIUSBD_Hub"},
    {"VUSB\\", "VUSB", "VID_%04X&PID_%04X"},
    {"ENUSB3\\", "ENUSB3", "Vid_%04X&Pid_%04X"},
    {"FLUSB\\", "FLUSB", "Vid_%04X&Pid_%04X"},
    {"", "", "VID_%04X&PID_%04X"},
};

bool StartsWithNoCase(std::string_view text, const char* prefix) {
    size_t length = std::strlen(prefix);
    return text.size() >= length &&
           std::equal(prefix, prefix + length, text.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) ==
                      std::toupper(static_cast<unsigned char>(b));
           });
}

std::string_view FirstHardwareId(const UsbNode& node) {
    return node.hardware_ids.empty() ? std::string_view() : node.hardware_ids[0];
}

const KeyForm& KeyFormOf(const UsbNode& node) {
    const std::string_view first = FirstHardwareId(node);
    for (const KeyForm& form : kKeyForms) {
        if (StartsWithNoCase(first, form.hardware_id_prefix)) {
            return form;
        }
    }
    return kKeyForms[std::size(kKeyForms) - 1];
}

// "\REGISTRY\MACHINE\...\Enum\ENUMERATOR\VID_xxxx&PID_xxxx\INSTANCE\Device Parameters";
// the instance is the serial number when the device has one.
std::string DeviceKeyOf(const UsbNode& node) {
    const KeyForm& form = KeyFormOf(node);
    char ids[64];
    std::snprintf(ids, sizeof ids, form.ids_format, node.descriptor.idVendor,
                  node.descriptor.idProduct);
    std::string instance = node.instance;
    if (instance.empty()) {
        auto serial = node.strings.find(node.descriptor.iSerialNumber);
        if (node.descriptor.iSerialNumber != 0 && serial != node.strings.end()) {
            instance = serial->second;
        } else {
            uint32_t hash = 2166136261u;
            for (char c : node.name) {
                hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
            }
            char text[32];
            std::snprintf(text, sizeof text, "5&%08x&0&%d", hash, node.port);
            instance = text;
        }
    }
    std::string_view enumerator = form.enumerator;
    if (enumerator.empty()) {
        const std::string_view first = FirstHardwareId(node);
        size_t slash = first.find('\\');
        enumerator = slash == std::string::npos || slash == 0 ? "USB" : first.substr(0, slash);
    }
    constexpr std::string_view kEnum = "\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet001\\Enum\\";
    constexpr std::string_view kParameters = "\\Device Parameters";
    std::string key;
    key.reserve(kEnum.size() + enumerator.size() + std::strlen(ids) + instance.size() +
                kParameters.size() + 2);
    key.append(kEnum).append(enumerator).append("\\").append(ids).append("\\").append(instance);
    key.append(kParameters);
    return key;
}

}  // namespace

PnpManager::PnpManager(Machine& machine) : machine_(machine) {
    InitDriverObject(&bus_driver_, &BusDispatch);
    InitDriverObject(&function_driver_, &FunctionDispatch);
}

PnpManager::~PnpManager() = default;

void PnpManager::Log(const std::string& text) {
    machine_.Log("pnp", text);
}

void PnpManager::Start() {
    started_ = true;
    machine_.scheduler.Spawn("pnp", [this] { ThreadMain(); });
}

void PnpManager::ThreadMain() {
    for (;;) {
        while (queue_.empty()) {
            if (shutting_down_) {
                return;
            }
            machine_.scheduler.Block(&queue_, std::nullopt, "PnP work");
        }
        race::Acquire(&queue_);
        Job* job = queue_.front();
        queue_.pop_front();
        job->work();
        job->done = true;
        machine_.scheduler.Signal(job, true);
    }
}

void PnpManager::Execute(std::function<void()> work) {
    SimThread* self = machine_.scheduler.Current();
    if (self == nullptr || !started_ || self->name() == "pnp") {
        work();
        return;
    }
    Job job{std::move(work)};
    queue_.push_back(&job);
    machine_.scheduler.Signal(&queue_, false);
    while (!job.done) {
        machine_.scheduler.Block(&job, std::nullopt, "the PnP manager");
    }
    race::Acquire(&job);
}

void PnpManager::Shutdown() {
    shutting_down_ = true;
    for (auto& thread : device_threads_) {
        thread->Stop();
    }
    machine_.scheduler.Signal(&queue_, false);
}

void PnpManager::Boot() {
    Execute([&] {
        for (UsbNode* node : machine_.usb->ConnectedNodes()) {
            BuildStack(node);
        }
    });
}

NTSTATUS PnpManager::LoadDriver(PDRIVER_INITIALIZE entry) {
    NTSTATUS result = STATUS_SUCCESS;
    Execute([&] {
        filter_entry_ = entry;
        // An image that a program's handle kept loaded after the filter was removed is
        // used again as it is.
        if (!driver_loaded_) {
            result = LoadImage();
        }
        if (NT_SUCCESS(result)) {
            RestartAll();
        }
    });
    return result;
}

void PnpManager::UnloadDriver() {
    Execute([&] {
        if (filter_entry_ == nullptr) {
            return;
        }
        filter_entry_ = nullptr;
        if (driver_loaded_) {
            RestartAll();
        }
        UnloadImageIfUnused();
    });
}

void PnpManager::HandleClosed() {
    // Asked first, so that the usual close costs no PnP job; after the shutdown no PnP
    // thread is left to take one.
    if (!shutting_down_ && DriverUnused()) {
        Execute([this] { UnloadImageIfUnused(); });
    }
}

// Loads the installed filter's image and runs its DriverEntry.
NTSTATUS PnpManager::LoadImage() {
    filter_driver_ = DRIVER_OBJECT{};
    static WCHAR kRegistryPath[] =
        L"\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet001\\Services\\tabvoltx";
    UNICODE_STRING path;
    RtlInitUnicodeString(&path, kRegistryPath);
    NTSTATUS result = filter_entry_(&filter_driver_, &path);
    if (!NT_SUCCESS(result)) {
        // The framework drops a driver whose entry failed without calling its unload.
        Kmdf& kmdf = *machine_.kmdf;
        if (kmdf.driver != nullptr) {
            kmdf.driver->config.EvtDriverUnload = nullptr;
            kmdf.UnloadDriver();
        }
        filter_entry_ = nullptr;
        Log("driver load-failed status=" + Hex(result));
        return result;
    }
    driver_loaded_ = true;
    Log("driver loaded");
    return STATUS_SUCCESS;
}

// As Windows does, the image goes when the driver has no device object left: none that
// exists, and none deleted that a program's handle still references. Once the filter is
// removed no stack will need the driver again, so only handles keep it then.
bool PnpManager::DriverUnused() const {
    return driver_loaded_ && machine_.user_io.HandlesTo(&filter_driver_) == 0 &&
           (filter_entry_ == nullptr || !machine_.kmdf->DriverHasDevices());
}

void PnpManager::UnloadImageIfUnused() {
    if (!DriverUnused()) {
        return;
    }
    driver_loaded_ = false;
    machine_.kmdf->UnloadDriver();
    Log("driver unloaded");
}

// Installing or removing the filter restarts every stack so that it is rebuilt with or
// without the filter.
void PnpManager::RestartAll() {
    std::vector<UsbNode*> nodes = machine_.usb->ConnectedNodes();
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
        TearDownStack(*it, false);
    }
    for (UsbNode* node : nodes) {
        BuildStack(node);
    }
}

void PnpManager::Plug(UsbNode* node, UsbNode* hub, int port) {
    Execute([&] {
        machine_.usb->Connect(node, hub, port);
        for (UsbNode* below : machine_.usb->Subtree(node)) {
            BuildStack(below);
        }
    });
}

void PnpManager::Unplug(UsbNode* node) {
    Execute([&] {
        std::vector<UsbNode*> nodes = machine_.usb->Subtree(node);
        for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
            TearDownStack(*it, true);
        }
        machine_.usb->Disconnect(node);
        UnloadImageIfUnused();
    });
}

void PnpManager::Suspend() {
    Execute([&] {
        if (suspended_) {
            return;
        }
        suspended_ = true;
        Log("system suspend");
        std::vector<UsbNode*> nodes = machine_.usb->ConnectedNodes();
        for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
            DeviceStack* stack = (*it)->stack;
            if (stack != nullptr && stack->started) {
                POWER_STATE state;
                state.SystemState = PowerSystemSleeping3;
                SendPower(stack, SystemPowerState, state);
                state.DeviceState = PowerDeviceD3;
                SendPower(stack, DevicePowerState, state);
            }
        }
    });
}

void PnpManager::Resume() {
    Execute([&] {
        if (!suspended_) {
            return;
        }
        suspended_ = false;
        Log("system resume");
        for (auto& thread : device_threads_) {
            thread->Wake();
        }
        for (UsbNode* node : machine_.usb->ConnectedNodes()) {
            DeviceStack* stack = node->stack;
            if (stack != nullptr && stack->started) {
                POWER_STATE state;
                state.SystemState = PowerSystemWorking;
                SendPower(stack, SystemPowerState, state);
                state.DeviceState = PowerDeviceD0;
                SendPower(stack, DevicePowerState, state);
            }
        }
    });
}

void PnpManager::Disable(UsbNode* node) {
    Execute([&] {
        if (node->disabled) {
            return;
        }
        std::vector<UsbNode*> nodes = machine_.usb->Subtree(node);
        for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
            TearDownStack(*it, false);
        }
        node->disabled = true;
        Log(node->name + " disabled");
        UnloadImageIfUnused();
    });
}

void PnpManager::Enable(UsbNode* node) {
    Execute([&] {
        if (!node->disabled) {
            return;
        }
        node->disabled = false;
        Log(node->name + " enabled");
        for (UsbNode* below : machine_.usb->Subtree(node)) {
            BuildStack(below);
        }
    });
}

void PnpManager::BuildStack(UsbNode* node) {
    std::string not_enumerated = NotEnumeratedReason(*node);
    if (!not_enumerated.empty()) {
        Log(node->name + " not-enumerated " + not_enumerated);
        return;
    }
    // Installed once, as Windows installs a device: its hardware key stays when it goes.
    std::string device_key = DeviceKeyOf(*node);
    machine_.kernel.registry.CreateKey(device_key);
    if (node->disabled) {
        return;
    }
    stacks_.push_back(std::make_unique<DeviceStack>());
    DeviceStack* stack = stacks_.back().get();
    stack->node = node;
    node->stack = stack;
    stack->pdo.DriverObject = &bus_driver_;
    stack->pdo.DeviceExtension = stack;
    stack->pdo.StackSize = 1;
    stack->fdo.DriverObject = &function_driver_;
    stack->fdo.DeviceExtension = stack;
    stack->fdo.StackSize = 2;
    stack->pdo.AttachedDevice = &stack->fdo;
    machine_.kernel.object_names[&stack->pdo] = node->name + ".pdo";
    machine_.kernel.object_names[&stack->fdo] = node->name + ".fdo";
    machine_.kernel.device_keys[&stack->pdo] = device_key;
    if (node->device_thread == nullptr && node->kind != NodeKind::kController) {
        device_threads_.push_back(std::make_unique<UsbDeviceThread>(machine_, *node));
        node->device_thread = device_threads_.back().get();
    }

    // The first stack that needs the filter after its image went loads it again.
    if (filter_entry_ != nullptr && !driver_loaded_) {
        LoadImage();
    }
    if (filter_entry_ != nullptr) {
        NTSTATUS status = machine_.kmdf->AddDevice(node, &stack->pdo, &stack->filter);
        if (!NT_SUCCESS(status)) {
            Log(node->name + " add-failed status=" + Hex(status));
            return;
        }
        if (stack->filter != nullptr) {
            auto& describe = machine_.kmdf->describe_device;
            WDFDEVICE device = reinterpret_cast<WDFDEVICE>(HandleOf(stack->filter));
            Log(node->name + " attached" + (describe ? " " + describe(device) : ""));
        } else {
            Log(node->name + " not-filtered");
        }
    }
    NTSTATUS status = SendIrp(stack, IRP_MJ_PNP, IRP_MN_START_DEVICE, nullptr);
    if (NT_SUCCESS(status)) {
        POWER_STATE state;
        state.DeviceState = PowerDeviceD0;
        status = SendPower(stack, DevicePowerState, state);
    }
    stack->started = NT_SUCCESS(status);
    if (stack->filter != nullptr) {
        Log(node->name + (stack->started ? " started" : " start-failed status=" + Hex(status)));
    }
}

void PnpManager::TearDownStack(UsbNode* node, bool surprise) {
    DeviceStack* stack = node->stack;
    if (stack == nullptr) {
        return;
    }
    bool filtered = stack->filter != nullptr;
    if (surprise) {
        SendIrp(stack, IRP_MJ_PNP, kSurpriseRemoval, nullptr);
    } else if (stack->started) {
        POWER_STATE state;
        state.DeviceState = PowerDeviceD3;
        SendPower(stack, DevicePowerState, state);
    }
    SendIrp(stack, IRP_MJ_PNP, IRP_MN_REMOVE_DEVICE, nullptr);
    if (filtered) {
        Log(node->name + " removed");
    }
    // A removed stack stays in memory: a driver may still hold its device objects, and
    // requests sent to them fail.
    stack->removed = true;
    node->stack = nullptr;
}

NTSTATUS PnpManager::SendIrp(DeviceStack* stack, UCHAR major, UCHAR minor,
                             const std::function<void(PIO_STACK_LOCATION)>& parameters) {
    PDEVICE_OBJECT top = TopOf(stack);
    PIRP irp = IoAllocateIrp(top->StackSize, FALSE);
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = major;
    next->MinorFunction = minor;
    if (parameters) {
        parameters(next);
    }
    NTSTATUS status = CallDriverAndWait(top, irp);
    IoFreeIrp(irp);
    return status;
}

NTSTATUS PnpManager::SendPower(DeviceStack* stack, POWER_STATE_TYPE type, POWER_STATE state) {
    return SendIrp(stack, IRP_MJ_POWER, IRP_MN_SET_POWER, [&](PIO_STACK_LOCATION location) {
        location->Parameters.Power.Type = type;
        location->Parameters.Power.State = state;
    });
}

}  // namespace sim
