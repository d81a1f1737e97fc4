#include "pc/usb_device.h"

#include <usbioctl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "pc/machine.h"
#include "pc/pnp_manager.h"
#include "pc/usb_tree.h"

namespace sim {
namespace {

constexpr uint8_t kGetDescriptor = 6;
constexpr uint8_t kTypeMask = 0x60;
constexpr uint8_t kTypeStandard = 0x00;
constexpr uint8_t kTypeVendor = 0x40;
constexpr uint8_t kDirectionIn = 0x80;
constexpr uint8_t kPortModeRequest = 0x74;
constexpr uint8_t kChargeCurrentRequest = 0x40;

std::vector<uint8_t> StringDescriptor(const std::string& text) {
    std::vector<uint8_t> bytes{0, USB_STRING_DESCRIPTOR_TYPE};
    for (char c : text.substr(0, 126)) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(0);
    }
    bytes[0] = static_cast<uint8_t>(bytes.size());
    return bytes;
}

uint8_t HexDigit(char c) {
    return static_cast<uint8_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
}

// A BOS of a 5-byte header, a USB 2.0 extension, a SuperSpeed capability and the Container
// ID capability carrying the device's container ID.
std::vector<uint8_t> StandardBos(const UsbNode& node) {
    std::vector<uint8_t> bos = {5,    USB_BOS_DESCRIPTOR_TYPE,
                                42,   0,
                                3,    7,
                                0x10, 2,
                                0x02, 0,
                                0,    0,
                                10,   0x10,
                                3,    0,
                                0x0E, 0,
                                1,    10,
                                0xFF, 0x07,
                                20,   0x10,
                                4,    0};
    std::string hex;
    for (char c : node.container_id) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            hex += c;
    }
    uint8_t uuid[16] = {};
    for (size_t i = 0; i < 16 && 2 * i + 1 < hex.size(); ++i) {
        uuid[i] = static_cast<uint8_t>(HexDigit(hex[2 * i]) << 4 | HexDigit(hex[2 * i + 1]));
    }
    // The text is in GUID order; the wire carries Data1 to Data3 little-endian.
    const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i : order) {
        bos.push_back(uuid[i]);
    }
    return bos;
}

NTSTATUS Copy(const std::vector<uint8_t>& bytes, const SetupPacket& setup, uint8_t* data,
              uint32_t* transferred) {
    *transferred = static_cast<uint32_t>(std::min<size_t>(bytes.size(), setup.length));
    if (*transferred != 0) {
        memcpy(data, bytes.data(), *transferred);
    }
    return STATUS_SUCCESS;
}

NTSTATUS AnswerStandard(const UsbNode& node, const SetupPacket& setup, uint8_t* data,
                        uint32_t* transferred) {
    if (setup.request != kGetDescriptor || !(setup.request_type & kDirectionIn)) {
        return STATUS_UNSUCCESSFUL;
    }
    uint8_t type = static_cast<uint8_t>(setup.value >> 8);
    uint8_t index = static_cast<uint8_t>(setup.value);
    if (type == USB_DEVICE_DESCRIPTOR_TYPE) {
        const auto* raw = reinterpret_cast<const uint8_t*>(&node.descriptor);
        return Copy(std::vector<uint8_t>(raw, raw + sizeof node.descriptor), setup, data,
                    transferred);
    }
    if (type == USB_STRING_DESCRIPTOR_TYPE) {
        if (index == 0) {
            return Copy({4, USB_STRING_DESCRIPTOR_TYPE, 0x09, 0x04}, setup, data, transferred);
        }
        auto found = node.strings.find(index);
        return found == node.strings.end()
                   ? STATUS_UNSUCCESSFUL
                   : Copy(StringDescriptor(found->second), setup, data, transferred);
    }
    if (type == USB_BOS_DESCRIPTOR_TYPE && node.behaviour.has_bos &&
        node.descriptor.bcdUSB >= 0x0201) {
        return Copy(node.behaviour.bos.empty() ? StandardBos(node) : node.behaviour.bos, setup,
                    data, transferred);
    }
    return STATUS_UNSUCCESSFUL;
}

NTSTATUS AnswerVendor(Machine& machine, UsbNode& node, const SetupPacket& setup) {
    if (setup.request_type == 0x43 && setup.request == kPortModeRequest && node.is_hub() &&
        setup.length == 0) {
        int port = setup.index;
        if (port < 1 || port > node.port_count || (setup.value != 1 && setup.value != 2)) {
            return STATUS_UNSUCCESSFUL;
        }
        PortMode mode = static_cast<PortMode>(setup.value);
        if (node.port_modes[static_cast<size_t>(port)] != mode) {
            node.port_modes[static_cast<size_t>(port)] = mode;
            machine.Log("usb", node.name + " port " + std::to_string(port) + " mode=" +
                                   (mode == PortMode::kCharging ? "charging" : "normal"));
        }
        return STATUS_SUCCESS;
    }
    // Apple devices take the charge-current request; the currents asked for are the setup
    // packet's value and index.
    if (setup.request_type == 0x40 && setup.request == kChargeCurrentRequest &&
        node.descriptor.idVendor == 0x05AC) {
        return STATUS_SUCCESS;
    }
    return STATUS_UNSUCCESSFUL;
}

}  // namespace

const char* ViaName(Via via) {
    switch (via) {
        case Via::kTarget:
            return "target";
        case Via::kPdo:
            return "pdo";
        case Via::kLower:
            return "lower";
    }
    return "?";
}

bool SetupFromUrb(const URB* urb, SetupPacket* setup, PVOID* buffer) {
    switch (urb->UrbHeader.Function) {
        case URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE: {
            const auto& request = urb->UrbControlDescriptorRequest;
            setup->request_type = kDirectionIn;
            setup->request = kGetDescriptor;
            setup->value = static_cast<uint16_t>(request.DescriptorType << 8 | request.Index);
            setup->index = request.LanguageId;
            setup->length = static_cast<uint16_t>(request.TransferBufferLength);
            *buffer = request.TransferBuffer;
            return true;
        }
        case URB_FUNCTION_VENDOR_DEVICE:
        case URB_FUNCTION_VENDOR_OTHER: {
            const auto& request = urb->UrbControlVendorClassRequest;
            bool in = (request.TransferFlags & USBD_TRANSFER_DIRECTION_IN) != 0;
            uint8_t recipient = urb->UrbHeader.Function == URB_FUNCTION_VENDOR_OTHER ? 3 : 0;
            setup->request_type =
                static_cast<uint8_t>((in ? kDirectionIn : 0) | kTypeVendor | recipient);
            setup->request = request.Request;
            setup->value = request.Value;
            setup->index = request.Index;
            setup->length = static_cast<uint16_t>(request.TransferBufferLength);
            *buffer = request.TransferBuffer;
            return true;
        }
    }
    return false;
}

NTSTATUS AnswerSetup(Machine& machine, UsbNode& node, const SetupPacket& setup, uint8_t* data,
                     uint32_t* transferred) {
    *transferred = 0;
    uint8_t type = setup.request_type & kTypeMask;
    const UsbBehaviour& behaviour = node.behaviour;
    if (behaviour.stall == UsbBehaviour::Stall::kAll ||
        (behaviour.stall == UsbBehaviour::Stall::kVendor && type == kTypeVendor)) {
        return STATUS_UNSUCCESSFUL;
    }
    if (type == kTypeStandard) {
        return AnswerStandard(node, setup, data, transferred);
    }
    if (type == kTypeVendor) {
        return AnswerVendor(machine, node, setup);
    }
    return STATUS_UNSUCCESSFUL;
}

void LogSetup(Machine& machine, const UsbNode& node, const SetupPacket& setup, Via via,
              NTSTATUS status) {
    bool standard = (setup.request_type & kTypeMask) == kTypeStandard;
    const char* category = standard ? "usb-std" : "usb";
    if (!machine.log.Wants(category)) {
        return;
    }
    char text[96];
    std::snprintf(text, sizeof text, " setup %02X %02X %04X %04X %04X via=%s -> 0x%08x",
                  setup.request_type, setup.request, setup.value, setup.index, setup.length,
                  ViaName(via), static_cast<unsigned>(status));
    machine.Log(category, node.name + text);
}

void LogInternalRequest(Machine& machine, const UsbNode& node, ULONG code, Via via,
                        NTSTATUS status) {
    if (!machine.log.Wants("usb-internal")) {
        return;
    }
    char name[48];
    if (code == IOCTL_INTERNAL_USB_SUBMIT_URB) {
        std::snprintf(name, sizeof name, "IOCTL_INTERNAL_USB_SUBMIT_URB");
    } else if (code == IOCTL_INTERNAL_USB_GET_TOPOLOGY_ADDRESS) {
        std::snprintf(name, sizeof name, "IOCTL_INTERNAL_USB_GET_TOPOLOGY_ADDRESS");
    } else {
        std::snprintf(name, sizeof name, "0x%08x", static_cast<unsigned>(code));
    }
    char result[16];
    if (status == STATUS_PENDING) {
        std::snprintf(result, sizeof result, "pending");
    } else {
        std::snprintf(result, sizeof result, "0x%08x", static_cast<unsigned>(status));
    }
    machine.Log("usb-internal", node.name + " " + name + " via=" + ViaName(via) + " -> " + result);
}

UsbDeviceThread::UsbDeviceThread(Machine& machine, UsbNode& node)
    : machine_(machine), node_(node), idle_wait_("requests for " + node.name) {
    machine_.scheduler.Spawn("device " + node.name, [this] { Main(); });
}

NTSTATUS UsbDeviceThread::Submit(PIRP irp, const SetupPacket& setup, PVOID buffer, PURB urb,
                                 Via via) {
    if (!node_.connected || stopping_) {
        irp->IoStatus.Status = STATUS_DEVICE_NOT_CONNECTED;
        irp->IoStatus.Information = 0;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_DEVICE_NOT_CONNECTED;
    }
    irp->Tail.Overlay.DriverContext[0] = this;
    IoMarkIrpPending(irp);
    // The request and its buffer, as the sender left them, go to the device.
    race::Release(irp);
    queue_.push_back(Transfer{next_id_++, irp, setup, buffer, urb, via, false});
    IoSetCancelRoutine(irp, &UsbDeviceThread::Cancel);
    // Cancelled before the routine was set: it is ours to finish now.
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
        Transfer transfer;
        Take(queue_.back().id, &transfer);
        Complete(transfer, STATUS_CANCELLED, 0);
        return STATUS_PENDING;
    }
    machine_.scheduler.Signal(this, false);
    return STATUS_PENDING;
}

void UsbDeviceThread::Stop() {
    stopping_ = true;
    machine_.scheduler.Signal(this, false);
}

void UsbDeviceThread::Wake() {
    machine_.scheduler.Signal(this, false);
}

bool UsbDeviceThread::Take(uint64_t id, Transfer* transfer) {
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        if (it->id == id) {
            *transfer = *it;
            queue_.erase(it);
            return true;
        }
    }
    return false;
}

// A device's answer completes its IRP at DISPATCH_LEVEL, as a DPC would.
void UsbDeviceThread::Complete(const Transfer& transfer, NTSTATUS status, uint32_t transferred) {
    LogSetup(machine_, node_, transfer.setup, transfer.via, status);
    if (transfer.urb != nullptr) {
        transfer.urb->UrbHeader.Status =
            NT_SUCCESS(status)
                ? USBD_STATUS_SUCCESS
                : (status == STATUS_CANCELLED ? USBD_STATUS_CANCELED : USBD_STATUS_STALL_PID);
        transfer.urb->UrbControlVendorClassRequest.TransferBufferLength = transferred;
    }
    transfer.irp->IoStatus.Status = status;
    transfer.irp->IoStatus.Information = transferred;
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    IoCompleteRequest(transfer.irp, IO_NO_INCREMENT);
    KeLowerIrql(old);
}

// Runs with the cancel spin lock held, in the thread that cancels. As the USB stack does,
// it only asks the host controller to take the transfer off its schedule: the IRP comes back
// later, from the device's own thread. A device armed with the "usb-cancel" fault ignores
// the cancel, and the transfer ends with its answer.
VOID UsbDeviceThread::Cancel(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    UNREFERENCED_PARAMETER(DeviceObject);
    auto* self = static_cast<UsbDeviceThread*>(Irp->Tail.Overlay.DriverContext[0]);
    IoReleaseCancelSpinLock(Irp->CancelIrql);
    if (self->machine_.faults.Hit(Fault::kUsbCancel, self->node_.name)) {
        return;
    }
    for (Transfer& pending : self->queue_) {
        if (pending.irp == Irp) {
            pending.cancelled = true;
            race::Release(Irp);
            self->machine_.scheduler.Signal(self, false);
            return;
        }
    }
}

// One at a time: completing a transfer may let another thread queue the next.
void UsbDeviceThread::FinishCancelled() {
    for (;;) {
        auto found = std::find_if(queue_.begin(), queue_.end(),
                                  [](const Transfer& transfer) { return transfer.cancelled; });
        if (found == queue_.end()) {
            return;
        }
        Transfer transfer = *found;
        queue_.erase(found);
        race::Acquire(transfer.irp);
        Complete(transfer, STATUS_CANCELLED, 0);
    }
}

void UsbDeviceThread::Main() {
    uint64_t answering = 0;  // the transfer whose answer is under way, 0 for none
    Ticks answer_at = 0;
    for (;;) {
        FinishCancelled();
        if (queue_.empty()) {
            if (stopping_) {
                return;
            }
            machine_.scheduler.Block(this, std::nullopt, idle_wait_);
            continue;
        }
        if (queue_.front().id != answering) {
            answering = queue_.front().id;
            answer_at = machine_.scheduler.Now() + node_.behaviour.latency;
        }
        // A cancel or a new request wakes the device early; the answer keeps its time. While
        // the system sleeps the device answers nothing, but the host controller still hands
        // back what is cancelled; at shutdown it answers what is left.
        if (machine_.pnp->suspended() && !stopping_) {
            machine_.scheduler.Block(this, std::nullopt, node_.name + " asleep");
            continue;
        }
        if (machine_.scheduler.Now() < answer_at) {
            machine_.scheduler.Block(this, answer_at, node_.name + " answering");
            continue;
        }
        Transfer transfer = queue_.front();
        queue_.pop_front();
        race::Acquire(transfer.irp);
        IoSetCancelRoutine(transfer.irp, NULL);
        uint32_t transferred = 0;
        NTSTATUS status = STATUS_DEVICE_NOT_CONNECTED;
        if (transfer.setup.length != 0 && transfer.buffer == nullptr) {
            status = STATUS_INVALID_PARAMETER;
        } else if (node_.connected) {
            std::vector<uint8_t> data(transfer.setup.length);
            if (transfer.setup.request_type & 0x80) {
                status = AnswerSetup(machine_, node_, transfer.setup, data.data(), &transferred);
                if (NT_SUCCESS(status) && transferred != 0) {
                    memcpy(transfer.buffer, data.data(), transferred);
                }
            } else {
                if (transfer.setup.length != 0) {
                    memcpy(data.data(), transfer.buffer, transfer.setup.length);
                }
                status = AnswerSetup(machine_, node_, transfer.setup, data.data(), &transferred);
                transferred = NT_SUCCESS(status) ? transfer.setup.length : 0;
            }
        }
        Complete(transfer, status, transferred);
    }
}

}  // namespace sim
