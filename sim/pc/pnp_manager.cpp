#include "pc/pnp_manager.h"

#include <cstdio>

#include "kmdf/kmdf.h"
#include "pc/machine.h"
#include "pc/usb_tree.h"

namespace sim {
namespace {

constexpr UCHAR kSurpriseRemoval = 0x17;

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

// The bus driver's PDOs succeed every PnP and power request and reject the rest.
NTSTATUS BusDispatch(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    UNREFERENCED_PARAMETER(DeviceObject);
    UCHAR major = IoGetCurrentIrpStackLocation(Irp)->MajorFunction;
    if (major == IRP_MJ_PNP || major == IRP_MJ_POWER) {
        return CompleteWith(Irp, STATUS_SUCCESS);
    }
    return CompleteWith(Irp, STATUS_NOT_SUPPORTED);
}

// The function driver passes everything to the PDO below it.
NTSTATUS FunctionDispatch(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    auto* stack = static_cast<DeviceStack*>(DeviceObject->DeviceExtension);
    IoSkipCurrentIrpStackLocation(Irp);
    return IoCallDriver(&stack->pdo, Irp);
}

NTSTATUS SignalCompletion(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context) {
    UNREFERENCED_PARAMETER(DeviceObject);
    UNREFERENCED_PARAMETER(Irp);
    KeSetEvent(static_cast<PKEVENT>(Context), IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
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
}

void PnpManager::Shutdown() {
    shutting_down_ = true;
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
        filter_driver_ = DRIVER_OBJECT{};
        static WCHAR kRegistryPath[] =
            L"\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet001\\Services\\tabvoltx";
        UNICODE_STRING path;
        RtlInitUnicodeString(&path, kRegistryPath);
        result = entry(&filter_driver_, &path);
        if (!NT_SUCCESS(result)) {
            // The framework drops a driver whose entry failed without calling its unload.
            Kmdf& kmdf = *machine_.kmdf;
            if (kmdf.driver != nullptr) {
                kmdf.driver->config.EvtDriverUnload = nullptr;
                kmdf.UnloadDriver();
            }
            Log("driver load-failed status=" + Hex(result));
            return;
        }
        driver_loaded_ = true;
        Log("driver loaded");
        RestartAll();
    });
    return result;
}

void PnpManager::UnloadDriver() {
    Execute([&] {
        if (!driver_loaded_) {
            return;
        }
        driver_loaded_ = false;
        RestartAll();
        machine_.kmdf->UnloadDriver();
        Log("driver unloaded");
    });
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

void PnpManager::BuildStack(UsbNode* node) {
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

    if (driver_loaded_) {
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
    machine_.kernel.object_names.erase(&stack->pdo);
    machine_.kernel.object_names.erase(&stack->fdo);
    node->stack = nullptr;
    for (auto it = stacks_.begin(); it != stacks_.end(); ++it) {
        if (it->get() == stack) {
            stacks_.erase(it);
            break;
        }
    }
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
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoSetCompletionRoutine(irp, SignalCompletion, &done, TRUE, TRUE, TRUE);
    NTSTATUS status = IoCallDriver(top, irp);
    if (status == STATUS_PENDING) {
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    }
    status = irp->IoStatus.Status;
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
