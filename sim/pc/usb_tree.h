// The USB tree of the simulated PC: host controllers on the PCI bus with their root hubs,
// hubs with numbered ports, and devices described by descriptor fields, IDs and strings.
#pragma once

#include <usb.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sim {

struct DeviceStack;
class UsbDeviceThread;

// How a simulated device answers on its default pipe; faults for tests and scenarios.
struct UsbBehaviour {
    enum class Stall { kNone, kAll, kVendor };
    int64_t latency = 0;  // virtual time to answer each request
    Stall stall = Stall::kNone;
    bool pdo_fails = false;    // requests sent to the PDO fail before reaching the device
    bool no_topology = false;  // the hub driver cannot report the device's topology address
    bool has_bos = true;       // false: the BOS request stalls
    std::vector<uint8_t> bos;  // empty: a standard 42-byte BOS with the container ID
};

// Port modes that a Vexa hub keeps per downstream port.
enum class PortMode { kNormal = 1, kCharging = 2 };

enum class NodeKind { kController, kRootHub, kHub, kDevice };

struct UsbNode {
    std::string name;
    NodeKind kind = NodeKind::kDevice;
    // Plug and Play identity.
    std::vector<std::string> hardware_ids;
    std::vector<std::string> compatible_ids;
    std::string container_id;
    // USB identity and behaviour.
    USB_DEVICE_DESCRIPTOR descriptor = {};
    std::map<uint8_t, std::string> strings;
    // Place in the tree. Ports are numbered from 1; ports[0] is unused.
    int port_count = 0;
    std::vector<UsbNode*> ports;
    UsbNode* parent = nullptr;
    int port = 0;
    bool connected = false;
    // For controllers: where they sit on the PCI bus.
    uint32_t pci_bus = 0, pci_device = 0, pci_function = 0;
    UsbBehaviour behaviour;
    std::vector<PortMode> port_modes;  // per port, [0] unused
    // Instance part of the device's registry key; empty: derived from its place.
    std::string instance;
    // Disabled through SetupAPI: enumerated, but given no stack.
    bool disabled = false;
    // Built and torn down by the PnP manager.
    DeviceStack* stack = nullptr;
    // Answers this device's requests; started with its first stack.
    UsbDeviceThread* device_thread = nullptr;

    bool is_hub() const { return port_count > 0; }
    // The controller this node hangs below (itself for a controller).
    const UsbNode* controller() const;
};

class UsbTree {
  public:
    // A controller on the PCI bus and its root hub ("NAME.root"), both present at once.
    UsbNode* AddController(const std::string& name, uint32_t bus, uint32_t device,
                           uint32_t function, int ports);
    // A hub or device that exists but is not connected yet.
    UsbNode* Define(std::unique_ptr<UsbNode> node);
    UsbNode* Find(const std::string& name) const;
    // The hub a PARENT name stands for: a hub, or a controller's root hub.
    UsbNode* HubOf(const std::string& name) const;
    void Connect(UsbNode* node, UsbNode* hub, int port);
    void Disconnect(UsbNode* node);
    // The node and everything below it, parents before children.
    std::vector<UsbNode*> Subtree(UsbNode* node) const;
    // Every connected node, parents before children, controllers in creation order.
    std::vector<UsbNode*> ConnectedNodes() const;

  private:
    std::vector<std::unique_ptr<UsbNode>> nodes_;
    std::vector<UsbNode*> controllers_;
};

}  // namespace sim
