// The USB side of the simulated PC: every device answers control transfers on its own
// thread, after its latency (and not while the system sleeps), at DISPATCH_LEVEL, and records
// each setup packet it receives together with the path it came by. Hubs keep a mode per port; the
// device model answers standard descriptor requests and the vendor requests this system uses.
#pragma once

#include <ntddk.h>
#include <usb.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace sim {

class Machine;
struct UsbNode;

struct SetupPacket {
    uint8_t request_type = 0;
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
    uint16_t length = 0;
};

// How a request reached the device: the framework's USB target, the PDO, or the next-lower
// device of the filter's stack.
enum class Via { kTarget, kPdo, kLower };
const char* ViaName(Via via);

// The setup packet an URB puts on the wire: on this path the request type and recipient
// come from the URB function and the direction from the transfer flags.
bool SetupFromUrb(const URB* urb, SetupPacket* setup, PVOID* buffer);

// Answers one setup packet as the device would; `data` holds `setup.length` bytes.
// Returns the transfer's status and the number of bytes moved.
NTSTATUS AnswerSetup(Machine& machine, UsbNode& node, const SetupPacket& setup, uint8_t* data,
                     uint32_t* transferred);

class UsbDeviceThread {
  public:
    UsbDeviceThread(Machine& machine, UsbNode& node);
    // Queues a transfer for the device; the IRP is marked pending and cancellable. `urb` may
    // be NULL for the framework's own requests (then only the IRP carries the result).
    NTSTATUS Submit(PIRP irp, const SetupPacket& setup, PVOID buffer, PURB urb, Via via);
    // Ends the thread once its queue is empty.
    void Stop();
    // The system woke: the answers held back while it slept go out.
    void Wake();

  private:
    struct Transfer {
        uint64_t id;
        PIRP irp;
        SetupPacket setup;
        PVOID buffer;
        PURB urb;
        Via via;
        bool cancelled = false;  // the host controller is to take it off its schedule
    };
    void Main();
    void Complete(const Transfer& transfer, NTSTATUS status, uint32_t transferred);
    // Completes every cancelled transfer with STATUS_CANCELLED.
    void FinishCancelled();
    static VOID Cancel(PDEVICE_OBJECT DeviceObject, PIRP Irp);
    bool Take(uint64_t id, Transfer* transfer);

    Machine& machine_;
    UsbNode& node_;
    // What the idle thread waits for, made once: it waits between every two requests.
    const std::string idle_wait_;
    std::deque<Transfer> queue_;
    uint64_t next_id_ = 1;
    bool stopping_ = false;
};

// Logs "NAME setup BM REQ VALUE INDEX LENGTH via=TARGET -> STATUS": category "usb-std" for
// standard requests, "usb" for the rest.
void LogSetup(Machine& machine, const UsbNode& node, const SetupPacket& setup, Via via,
              NTSTATUS status);

// Logs "NAME IOCTL_INTERNAL_USB_... via=pdo|lower -> STATUS" (category "usb-internal") for
// an internal device-control request of the USB stack; STATUS is "pending" for one handed
// to the device, whose setup line then tells how it ended.
void LogInternalRequest(Machine& machine, const UsbNode& node, ULONG code, Via via,
                        NTSTATUS status);

}  // namespace sim
