#include "pc/usb_tree.h"

#include <cstdio>
#include <stdexcept>

namespace sim {

const UsbNode* UsbNode::controller() const {
    const UsbNode* node = this;
    while (node->parent != nullptr) {
        node = node->parent;
    }
    return node;
}

UsbNode* UsbTree::AddController(const std::string& name, uint32_t bus, uint32_t device,
                                uint32_t function, int ports) {
    auto controller = std::make_unique<UsbNode>();
    controller->name = name;
    controller->kind = NodeKind::kController;
    controller->pci_bus = bus;
    controller->pci_device = device;
    controller->pci_function = function;
    controller->hardware_ids = {"PCI\\VEN_8086&DEV_1E31&SUBSYS_05351028&REV_04",
                                "PCI\\VEN_8086&DEV_1E31"};
    controller->compatible_ids = {"PCI\\CC_0C0330"};
    controller->connected = true;
    UsbNode* raw = Define(std::move(controller));
    controllers_.push_back(raw);

    auto root = std::make_unique<UsbNode>();
    root->name = name + ".root";
    root->kind = NodeKind::kRootHub;
    root->hardware_ids = {"USB\\ROOT_HUB30&VID8086&PID1E31&REV0004", "USB\\ROOT_HUB30"};
    root->port_count = ports;
    root->ports.assign(static_cast<size_t>(ports) + 1, nullptr);
    root->descriptor.bLength = sizeof(USB_DEVICE_DESCRIPTOR);
    root->descriptor.bDescriptorType = USB_DEVICE_DESCRIPTOR_TYPE;
    root->descriptor.bcdUSB = 0x0300;
    root->descriptor.bDeviceClass = 9;
    UsbNode* root_raw = Define(std::move(root));
    root_raw->parent = raw;
    root_raw->connected = true;
    raw->ports = {nullptr, root_raw};
    return raw;
}

UsbNode* UsbTree::Define(std::unique_ptr<UsbNode> node) {
    if (Find(node->name) != nullptr) {
        throw std::invalid_argument("duplicate device name " + node->name);
    }
    if (node->port_count > 0 && node->ports.empty()) {
        node->ports.assign(static_cast<size_t>(node->port_count) + 1, nullptr);
    }
    node->port_modes.assign(node->ports.size(), PortMode::kNormal);
    nodes_.push_back(std::move(node));
    return nodes_.back().get();
}

UsbNode* UsbTree::Find(const std::string& name) const {
    for (const auto& node : nodes_) {
        if (node->name == name) {
            return node.get();
        }
    }
    return nullptr;
}

UsbNode* UsbTree::HubOf(const std::string& name) const {
    UsbNode* node = Find(name);
    if (node == nullptr) {
        return nullptr;
    }
    if (node->kind == NodeKind::kController) {
        return node->ports[1];
    }
    return node->is_hub() ? node : nullptr;
}

void UsbTree::Connect(UsbNode* node, UsbNode* hub, int port) {
    if (port < 1 || port > hub->port_count || hub->ports[static_cast<size_t>(port)] != nullptr ||
        node->connected) {
        throw std::invalid_argument("cannot connect " + node->name + " to " + hub->name + ":" +
                                    std::to_string(port));
    }
    // A device taken from an unplugged hub leaves that hub's port.
    if (node->parent != nullptr) {
        node->parent->ports[static_cast<size_t>(node->port)] = nullptr;
    }
    hub->ports[static_cast<size_t>(port)] = node;
    node->parent = hub;
    node->port = port;
    // Whatever is still plugged into a hub comes back with it.
    for (UsbNode* below : Subtree(node)) {
        below->connected = true;
    }
}

void UsbTree::Disconnect(UsbNode* node) {
    for (UsbNode* below : Subtree(node)) {
        below->connected = false;
    }
    node->parent->ports[static_cast<size_t>(node->port)] = nullptr;
    node->parent = nullptr;
    node->port = 0;
}

std::vector<UsbNode*> UsbTree::Subtree(UsbNode* node) const {
    std::vector<UsbNode*> nodes{node};
    for (size_t i = 0; i < nodes.size(); ++i) {
        for (UsbNode* child : nodes[i]->ports) {
            if (child != nullptr) {
                nodes.push_back(child);
            }
        }
    }
    return nodes;
}

std::vector<UsbNode*> UsbTree::ConnectedNodes() const {
    std::vector<UsbNode*> nodes;
    for (UsbNode* controller : controllers_) {
        for (UsbNode* node : Subtree(controller)) {
            nodes.push_back(node);
        }
    }
    return nodes;
}

}  // namespace sim
