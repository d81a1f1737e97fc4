// Scenario commands of the hardware and its faults: controllers, hubs and devices, plugging
// and unplugging them, system sleep, and injected faults.
#include <algorithm>
#include <cstdio>

#include "ampsim/app_session.h"
#include "ampsim/commands.h"
#include "ampsim/values.h"
#include "pc/pnp_manager.h"
#include "pc/usb_tree.h"

namespace ampsim {
namespace {

std::string Hex4(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value);
    return text;
}

// A container ID that stays the same for a name from run to run.
std::string ContainerIdFor(const std::string& name) {
    uint64_t hash = 1469598103934665603ULL;
    for (char c : name) {
        hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211ULL;
    }
    uint64_t low = hash * 0x9E3779B97F4A7C15ULL;
    char text[48];
    std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%04x-%012llx}",
                  static_cast<unsigned>(hash >> 32), static_cast<unsigned>(hash >> 16 & 0xFFFF),
                  static_cast<unsigned>(hash & 0xFFFF), static_cast<unsigned>(low >> 48),
                  static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFULL));
    return text;
}

const char* const kRootSuffix = ".root";

// Names appear in output lines and as PARENT:PORT, so they are kept to plain characters;
// NAME.root is the root hub of controller NAME.
void AddName(const Command& command, Model& model, const std::string& name, const char* kind,
             int ports) {
    bool plain = !name.empty();
    for (char c : name) {
        plain &= (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '_' || c == '-' || c == '.';
    }
    if (!plain) {
        throw ScenarioError(command.line,
                            "bad name " + Quote(name) + " (letters, digits, '_', '-' and '.')");
    }
    const std::string suffix = kRootSuffix;
    if (name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
        throw ScenarioError(command.line,
                            "name " + Quote(name) + " is kept for a controller's root hub");
    }
    if (model.nodes.count(name) != 0) {
        throw ScenarioError(command.line, "name " + Quote(name) + " is already used");
    }
    model.nodes[name] = Model::Node{kind, ports, false};
}

Step CompileController(const Command& command, Model& model) {
    RequireWords(command, 1);
    RequireOptions(command, {"bus", "device", "function", "ports"});
    std::string name = command.words[0];
    auto bus = static_cast<uint32_t>(NumberOption(command, "bus", 0, 255));
    auto device = static_cast<uint32_t>(NumberOption(command, "device", 20, 31));
    auto function = static_cast<uint32_t>(NumberOption(command, "function", 0, 7));
    int ports = static_cast<int>(NumberOption(command, "ports", 4, 255));
    if (ports < 1) {
        throw ScenarioError(command.line, "a controller needs at least one port");
    }
    AddName(command, model, name, "controller", ports);
    model.nodes[name].connected = true;
    model.nodes[name + kRootSuffix] = Model::Node{"root hub", 0, true};
    return [=](sim::Machine& machine) {
        machine.usb->AddController(name, bus, device, function, ports);
    };
}

const std::set<std::string> kNodeFlags = {"nocompatid", "nocontainerid", "notarget", "pdofail",
                                          "nobos"};

bool HasFlag(const Command& command, const char* flag) {
    for (size_t i = 1; i < command.words.size(); ++i) {
        if (command.words[i] == flag) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> IdsOption(const Command& command, const char* key,
                                   std::vector<std::string> fallback) {
    auto found = command.options.find(key);
    return found == command.options.end() ? fallback : SplitBars(command, found->second, "ID");
}

void DescribeBehaviour(const Command& command, sim::UsbNode* node) {
    sim::UsbBehaviour& behaviour = node->behaviour;
    auto latency = command.options.find("latency");
    if (latency != command.options.end()) {
        behaviour.latency = ParseDuration(command, latency->second, kMaxLatency);
    }
    auto stall = command.options.find("stall");
    if (stall != command.options.end()) {
        if (stall->second != "all" && stall->second != "vendor" && stall->second != "none") {
            throw ScenarioError(command.line, "stall takes all, vendor or none");
        }
        behaviour.stall = stall->second == "all"      ? sim::UsbBehaviour::Stall::kAll
                          : stall->second == "vendor" ? sim::UsbBehaviour::Stall::kVendor
                                                      : sim::UsbBehaviour::Stall::kNone;
    }
    auto bos = command.options.find("bos");
    bool nobos = HasFlag(command, "nobos");
    // The BOS is asked for only from USB 2.01 on; below that either option would say nothing.
    if ((bos != command.options.end() || nobos) && node->descriptor.bcdUSB < 0x0201) {
        throw ScenarioError(command.line,
                            std::string(nobos ? "nobos" : "bos") +
                                " needs bcdusb=0201 or later: older devices are not asked for "
                                "a BOS");
    }
    if (bos != command.options.end()) {
        if (nobos) {
            throw ScenarioError(command.line, "bos and nobos contradict each other");
        }
        behaviour.bos = ParseHexBytes(command, bos->second);
        if (behaviour.bos.empty()) {
            throw ScenarioError(command.line, "bos needs at least one byte");
        }
    }
    behaviour.pdo_fails = HasFlag(command, "pdofail");
    behaviour.has_bos = !nobos;
}

std::unique_ptr<sim::UsbNode> DescribeNode(const Command& command, bool hub) {
    RequireOptions(command, {"vid", "pid", "bcdusb", "bcddevice", "ports", "hwid", "compatid",
                             "serial", "string80", "latency", "stall", "bos", "instance"});
    if (command.words.empty()) {
        ThrowUsage(command);
    }
    for (size_t i = 1; i < command.words.size(); ++i) {
        if (kNodeFlags.count(command.words[i]) == 0) {
            throw ScenarioError(command.line, "unknown option " + Quote(command.words[i]));
        }
    }
    if (command.options.count("vid") == 0 || command.options.count("pid") == 0) {
        throw ScenarioError(command.line, command.verb + " needs vid=HEX and pid=HEX");
    }
    if (!hub && command.options.count("ports") != 0) {
        throw ScenarioError(command.line, "only a hub has ports");
    }
    auto node = std::make_unique<sim::UsbNode>();
    node->name = command.words[0];
    node->kind = hub ? sim::NodeKind::kHub : sim::NodeKind::kDevice;
    node->port_count = hub ? static_cast<int>(NumberOption(command, "ports", 4, 255)) : 0;
    if (hub && node->port_count < 1) {
        throw ScenarioError(command.line, "a hub needs at least one port");
    }
    USB_DEVICE_DESCRIPTOR& d = node->descriptor;
    d.bLength = sizeof(USB_DEVICE_DESCRIPTOR);
    d.bDescriptorType = USB_DEVICE_DESCRIPTOR_TYPE;
    d.bcdUSB = Hex16Option(command, "bcdusb", 0x0200);
    d.bDeviceClass = hub ? 9 : 0;
    d.bMaxPacketSize0 = 64;
    d.idVendor = Hex16Option(command, "vid", 0);
    d.idProduct = Hex16Option(command, "pid", 0);
    d.bcdDevice = Hex16Option(command, "bcddevice", 0x0100);
    d.iManufacturer = 1;
    d.iProduct = 2;
    d.bNumConfigurations = 1;
    node->strings[1] = "Simulated";
    node->strings[2] = node->name;
    auto serial = command.options.find("serial");
    if (serial != command.options.end()) {
        d.iSerialNumber = 3;
        node->strings[3] = serial->second;
    }
    auto instance = command.options.find("instance");
    if (instance != command.options.end()) {
        if (instance->second.empty() || instance->second.find('\\') != std::string::npos) {
            throw ScenarioError(command.line, "an instance is one key name: not empty, no '\\'");
        }
        node->instance = instance->second;
    }
    auto string80 = command.options.find("string80");
    if (string80 != command.options.end()) {
        node->strings[0x80] = string80->second;
    }
    std::string ids = "USB\\VID_" + Hex4(d.idVendor) + "&PID_" + Hex4(d.idProduct);
    node->hardware_ids = IdsOption(command, "hwid", {ids + "&REV_" + Hex4(d.bcdDevice), ids});
    std::string cls = std::string("USB\\Class_") + (hub ? "09" : "00");
    node->compatible_ids =
        IdsOption(command, "compatid", {cls + "&SubClass_00&Prot_00", cls + "&SubClass_00", cls});
    node->container_id = ContainerIdFor(node->name);
    DescribeBehaviour(command, node.get());
    return node;
}

Step CompileHubOrDevice(const Command& command, Model& model) {
    bool hub = command.verb == "hub";
    std::shared_ptr<sim::UsbNode> node = DescribeNode(command, hub);
    AddName(command, model, node->name, hub ? "hub" : "device", node->port_count);
    std::vector<sim::Fault> faults;
    for (size_t i = 1; i < command.words.size(); ++i) {
        const std::string& flag = command.words[i];
        if (flag == "nocompatid") {
            faults.push_back(sim::Fault::kCompatibleIdQuery);
        } else if (flag == "nocontainerid") {
            faults.push_back(sim::Fault::kContainerIdQuery);
        } else if (flag == "notarget") {
            faults.push_back(sim::Fault::kUsbTargetCreate);
        }
    }
    return [node, faults](sim::Machine& machine) {
        for (sim::Fault fault : faults) {
            machine.faults.Arm(fault, node->name, sim::Faults::kAlways);
        }
        machine.usb->Define(std::make_unique<sim::UsbNode>(*node));
    };
}

Model::Node& PluggableNode(const Command& command, Model& model, const std::string& name) {
    auto node = model.nodes.find(name);
    if (node == model.nodes.end() || node->second.kind == "controller" ||
        node->second.kind == "root hub") {
        throw ScenarioError(command.line, Quote(name) + " is not a hub or device");
    }
    return node->second;
}

Step CompilePlug(const Command& command, Model& model) {
    RequireOptions(command, {});
    RequireWords(command, 2);
    std::string name = command.words[0];
    const std::string& place = command.words[1];
    size_t colon = place.rfind(':');
    if (colon == std::string::npos) {
        ThrowUsage(command);
    }
    std::string parent = place.substr(0, colon);
    int port = static_cast<int>(ParseNumber(command, place.substr(colon + 1), 10, 255, "port"));
    Model::Node& node = PluggableNode(command, model, name);
    if (node.connected) {
        throw ScenarioError(command.line, Quote(name) + " is already plugged in");
    }
    auto hub = model.nodes.find(parent);
    if (hub != model.nodes.end() && hub->second.kind == "root hub") {
        throw ScenarioError(command.line,
                            "name the controller: " +
                                parent.substr(0, parent.size() - std::string(kRootSuffix).size()) +
                                ":PORT");
    }
    if (hub == model.nodes.end() || hub->second.ports == 0) {
        throw ScenarioError(command.line, Quote(parent) + " is not a controller or hub");
    }
    if (!hub->second.connected) {
        throw ScenarioError(command.line, Quote(parent) + " is not plugged in");
    }
    if (port < 1 || port > hub->second.ports) {
        throw ScenarioError(command.line, Quote(parent) + " has no port " + std::to_string(port));
    }
    if (model.occupied.count({parent, port}) != 0) {
        throw ScenarioError(command.line, "port " + place + " is taken");
    }
    // A device taken from an unplugged hub leaves that hub's port.
    model.LeavePort(name);
    model.occupied[{parent, port}] = name;
    // Whatever is still plugged into a hub comes back with it.
    model.SetConnected(name, true);
    return [=](sim::Machine& machine) {
        machine.pnp->Plug(machine.usb->Find(name), machine.usb->HubOf(parent), port);
    };
}

Step CompileUnplug(const Command& command, Model& model) {
    RequireOptions(command, {});
    RequireWords(command, 1);
    std::string name = command.words[0];
    Model::Node& node = PluggableNode(command, model, name);
    if (!node.connected) {
        throw ScenarioError(command.line, Quote(name) + " is not plugged in");
    }
    model.SetConnected(name, false);
    model.LeavePort(name);
    // Said here as well, because a device without the filter leaves no other trace.
    return [=](sim::Machine& machine) {
        machine.pnp->Unplug(machine.usb->Find(name));
        machine.Log("pnp", name + " unplugged");
    };
}

Step CompileSuspend(const Command& command, Model& model) {
    RequireBare(command);
    if (model.asleep) {
        throw ScenarioError(command.line, "the system is already asleep: write resume first");
    }
    model.asleep = true;
    return [](sim::Machine& machine) { SuspendSystem(machine); };
}

Step CompileResume(const Command& command, Model& model) {
    RequireBare(command);
    if (!model.asleep) {
        throw ScenarioError(command.line, "the system is awake: resume needs a suspend before it");
    }
    model.asleep = false;
    return [](sim::Machine& machine) { ResumeSystem(machine); };
}

// What a fault's TARGET names. A new fault must be placed here, or this does not compile.
enum class FaultTarget {
    kNone,
    kPoolTag,
    kValueName,
    kNode,
    kNodeOrControl,
    kPath,
    kRegistryKey,
    kSetupApiCall,
    kDialogTemplate
};
FaultTarget TargetOf(sim::Fault fault) {
    switch (fault) {
        case sim::Fault::kPoolAllocation:
            return FaultTarget::kPoolTag;
        case sim::Fault::kQueryValue:
            return FaultTarget::kValueName;
        case sim::Fault::kRegOpen:
        case sim::Fault::kRegWrite:
            return FaultTarget::kRegistryKey;
        case sim::Fault::kSetupApi:
            return FaultTarget::kSetupApiCall;
        case sim::Fault::kDialogCreate:
            return FaultTarget::kDialogTemplate;
        case sim::Fault::kDeviceCreate:
            return FaultTarget::kNodeOrControl;
        case sim::Fault::kHardwareIdQuery:
        case sim::Fault::kCompatibleIdQuery:
        case sim::Fault::kContainerIdQuery:
        case sim::Fault::kUsbTargetCreate:
        case sim::Fault::kUsbString:
        case sim::Fault::kUsbCancel:
        case sim::Fault::kDeviceKey:
            return FaultTarget::kNode;
        case sim::Fault::kDriverCreate:
        case sim::Fault::kCollectionCreate:
        case sim::Fault::kWaitLockCreate:
        case sim::Fault::kObjectCreate:
        case sim::Fault::kCollectionAdd:
        case sim::Fault::kIrpBuild:
        case sim::Fault::kControlInit:
        case sim::Fault::kSymbolicLink:
        case sim::Fault::kQueueCreate:
        case sim::Fault::kAssignName:
        case sim::Fault::kRequestInput:
        case sim::Fault::kRequestOutput:
        case sim::Fault::kOpenKey:
        case sim::Fault::kReferenceByHandle:
        case sim::Fault::kQueryName:
        case sim::Fault::kHeapAlloc:
        case sim::Fault::kCmdExe:
            return FaultTarget::kNone;
        case sim::Fault::kFileOpen:
            return FaultTarget::kPath;
    }
    return FaultTarget::kNone;
}

sim::Fault FaultNamed(const Command& command, const std::string& name) {
    for (int i = 0; i <= static_cast<int>(sim::kLastFault); ++i) {
        auto fault = static_cast<sim::Fault>(i);
        if (name == sim::FaultName(fault)) {
            return fault;
        }
    }
    throw ScenarioError(command.line, "unknown fault " + Quote(name));
}

void CheckFaultTarget(const Command& command, const Model& model, FaultTarget kind,
                      const std::string& target) {
    const std::string& fault = command.words[0];
    bool given = command.words.size() == 2;
    if (kind == FaultTarget::kNone && given) {
        throw ScenarioError(command.line, "fault " + fault + " takes no target" +
                                              (target == "always" ? "; write count=always" : ""));
    }
    if ((kind == FaultTarget::kNode || kind == FaultTarget::kNodeOrControl) && !given) {
        throw ScenarioError(
            command.line,
            "fault " + fault + " needs a target: a device name" +
                (kind == FaultTarget::kNodeOrControl ? " or control (the control device)" : ""));
    }
    if (kind == FaultTarget::kPath && !given) {
        throw ScenarioError(command.line, "fault " + fault + " needs a target: a file's path");
    }
    if (kind == FaultTarget::kSetupApiCall && given) {
        CheckSetupApiCall(command, target);
    }
    if (kind == FaultTarget::kDialogTemplate && given &&
        (target.empty() || target.find_first_not_of("0123456789") != std::string::npos)) {
        throw ScenarioError(command.line, "a dialog template is a number, not " + Quote(target));
    }
    if (kind == FaultTarget::kPoolTag && given && target.size() != 4) {
        throw ScenarioError(command.line, "a pool tag has four characters, not " + Quote(target));
    }
    bool node_target =
        kind == FaultTarget::kNode || (kind == FaultTarget::kNodeOrControl && target != "control");
    if (node_target && model.nodes.count(target) == 0) {
        throw ScenarioError(command.line, "no controller, hub or device is named " + Quote(target));
    }
}

Step CompileFail(const Command& command, Model& model) {
    RequireOptions(command, {"count", "skip"});
    if (command.words.empty() || command.words.size() > 2) {
        ThrowUsage(command);
    }
    sim::Fault fault = FaultNamed(command, command.words[0]);
    std::string target = command.words.size() == 2 ? command.words[1] : "";
    CheckFaultTarget(command, model, TargetOf(fault), target);
    if (TargetOf(fault) == FaultTarget::kPath) {
        // Paths name files without regard to case; the file system asks in lower case.
        std::transform(target.begin(), target.end(), target.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    }
    // The registry calls name a key by its canonical name, however the line spells it.
    if (TargetOf(fault) == FaultTarget::kRegistryKey && !target.empty()) {
        target = sim::Registry::Canonical(MachineKeyName(command, target));
    }
    auto count_option = command.options.find("count");
    int count = count_option != command.options.end() && count_option->second == "always"
                    ? sim::Faults::kAlways
                    : static_cast<int>(NumberOption(command, "count", 1, 1000000));
    if (count == 0) {
        throw ScenarioError(command.line, "count=0 would fail nothing");
    }
    int skip = static_cast<int>(NumberOption(command, "skip", 0, 1000000));
    model.load_may_fail = true;
    return [=](sim::Machine& machine) { machine.faults.Arm(fault, target, count, skip); };
}

const CommandEntry kHardwareCommands[] = {
    {"controller", "controller NAME [bus=N] [device=N] [function=N] [ports=N]",
     CommandEntry::kDefinition, false, false, CompileController},
    {"hub", "hub NAME vid=HEX pid=HEX [bcdusb=HEX] [bcddevice=HEX] [ports=N] [OPTIONS]",
     CommandEntry::kDefinition, false, false, CompileHubOrDevice},
    {"device", "device NAME vid=HEX pid=HEX [bcdusb=HEX] [bcddevice=HEX] [OPTIONS]",
     CommandEntry::kDefinition, false, false, CompileHubOrDevice},
    {"plug", "plug NAME PARENT:PORT", CommandEntry::kEvent, true, true, CompilePlug},
    {"unplug", "unplug NAME", CommandEntry::kEvent, true, true, CompileUnplug},
    {"suspend", "suspend", CommandEntry::kEvent, true, false, CompileSuspend},
    {"resume", "resume", CommandEntry::kEvent, true, false, CompileResume},
    {"fail", "fail FAULT [TARGET] [count=N|count=always] [skip=N]", CommandEntry::kEvent, false,
     false, CompileFail},
};

}  // namespace

std::span<const CommandEntry> HardwareCommands() {
    return kHardwareCommands;
}

}  // namespace ampsim
