#include "ampsim/runner.h"

#include "ampsim/io_commands.h"

#include <cstdio>
#include <map>
#include <set>

#include "filter.h"
#include "kernel/wide_text.h"
#include "kmdf/kmdf.h"
#include "pc/pnp_manager.h"
#include "pc/usb_tree.h"

namespace ampsim {
namespace {

const char* const kParamKey =
    "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\tabvoltx\\Param";

uint16_t Hex16(const Command& command, const std::string& key, uint16_t fallback) {
    auto found = command.options.find(key);
    if (found == command.options.end()) {
        return fallback;
    }
    std::string text = found->second;
    if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0) {
        text = text.substr(2);
    }
    return static_cast<uint16_t>(ParseNumber(command, text, 16, 0xFFFF, key));
}

std::vector<std::string> SplitBars(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t bar = text.find('|', start);
        parts.push_back(text.substr(start, bar - start));
        if (bar == std::string::npos) {
            return parts;
        }
        start = bar + 1;
    }
}

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

sim::Ticks ParseDuration(const Command& command, const std::string& text) {
    size_t unit = text.find_first_not_of("0123456789.");
    if (unit == 0 || unit == std::string::npos) {
        throw ScenarioError(command.line, "bad duration '" + text + "' (use 5s or 300ms)");
    }
    double amount = std::stod(text.substr(0, unit));
    std::string suffix = text.substr(unit);
    double ticks;
    if (suffix == "s") {
        ticks = amount * sim::kTicksPerSecond;
    } else if (suffix == "ms") {
        ticks = amount * sim::kTicksPerMs;
    } else {
        throw ScenarioError(command.line, "bad duration unit '" + suffix + "' (use s or ms)");
    }
    return static_cast<sim::Ticks>(ticks + 0.5);
}

std::vector<uint8_t> RegistryData(const Command& command, const std::string& type,
                                  const std::vector<std::string>& data, uint32_t* reg_type) {
    auto need_one = [&] {
        if (data.size() != 1) {
            throw ScenarioError(command.line, type + " takes exactly one value");
        }
    };
    if (type == "REG_DWORD" || type == "REG_QWORD") {
        need_one();
        bool dword = type == "REG_DWORD";
        uint64_t value = 0;
        try {
            size_t used = 0;
            value = std::stoull(data[0], &used, 0);
            if (used != data[0].size())
                throw std::invalid_argument("trailing");
        } catch (const std::exception&) {
            throw ScenarioError(command.line, "bad number '" + data[0] + "'");
        }
        if (dword && value > 0xFFFFFFFFULL) {
            throw ScenarioError(command.line, "REG_DWORD value out of range");
        }
        *reg_type = dword ? REG_DWORD : REG_QWORD;
        std::vector<uint8_t> bytes;
        for (int i = 0; i < (dword ? 4 : 8); ++i) {
            bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
        }
        return bytes;
    }
    if (type == "REG_SZ") {
        need_one();
        *reg_type = REG_SZ;
        return sim::Utf16Bytes(data[0], true);
    }
    if (type == "REG_MULTI_SZ") {
        *reg_type = REG_MULTI_SZ;
        return sim::Utf16MultiSz(data);
    }
    if (type == "REG_BINARY") {
        need_one();
        *reg_type = REG_BINARY;
        return ParseHexBytes(command, data[0]);
    }
    throw ScenarioError(command.line, "unknown registry type '" + type + "'");
}

const std::map<std::string, sim::Fault>& FaultsByName() {
    static const std::map<std::string, sim::Fault> faults = [] {
        std::map<std::string, sim::Fault> byName;
        for (int i = 0; i <= static_cast<int>(sim::Fault::kQueueCreate); ++i) {
            auto fault = static_cast<sim::Fault>(i);
            byName[sim::FaultName(fault)] = fault;
        }
        return byName;
    }();
    return faults;
}

// What the scenario has put together so far, to check each line before anything runs.
struct Model {
    struct Node {
        std::string kind;  // "controller", "hub" or "device"
        int ports = 0;
        bool connected = false;
        std::string parent;
    };
    std::map<std::string, Node> nodes;
    std::map<std::pair<std::string, int>, std::string> occupied;
    bool loaded = false;

    // Marks a node and everything plugged below it.
    void SetConnected(const std::string& name, bool connected) {
        std::vector<std::string> pending{name};
        while (!pending.empty()) {
            std::string current = pending.back();
            pending.pop_back();
            nodes[current].connected = connected;
            for (const auto& [where, child] : occupied) {
                if (where.first == current) {
                    pending.push_back(child);
                }
            }
        }
    }
};

void RequireWords(const Command& command, size_t count, const std::string& usage) {
    if (command.words.size() != count) {
        throw ScenarioError(command.line, "usage: " + usage);
    }
}

void RequireOptions(const Command& command, const std::set<std::string>& allowed) {
    for (const auto& [key, value] : command.options) {
        if (allowed.count(key) == 0) {
            throw ScenarioError(command.line, "unknown option '" + key + "'");
        }
    }
}

std::unique_ptr<sim::UsbNode> DescribeNode(const Command& command, bool hub) {
    static const std::set<std::string> kFlags = {"nocompatid", "nocontainerid", "notarget",
                                                 "pdofail", "nobos"};
    RequireOptions(command, {"vid", "pid", "bcdusb", "bcddevice", "ports", "hwid", "compatid",
                             "serial", "string80", "latency", "stall", "bos"});
    if (command.words.empty()) {
        throw ScenarioError(command.line, "usage: " + command.verb + " NAME vid=HEX pid=HEX ...");
    }
    for (size_t i = 1; i < command.words.size(); ++i) {
        if (kFlags.count(command.words[i]) == 0) {
            throw ScenarioError(command.line, "unknown option '" + command.words[i] + "'");
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
    node->port_count = hub ? static_cast<int>(DecimalOption(command, "ports", 4, 255)) : 0;
    if (hub && node->port_count < 1) {
        throw ScenarioError(command.line, "a hub needs at least one port");
    }
    USB_DEVICE_DESCRIPTOR& d = node->descriptor;
    d.bLength = sizeof(USB_DEVICE_DESCRIPTOR);
    d.bDescriptorType = USB_DEVICE_DESCRIPTOR_TYPE;
    d.bcdUSB = Hex16(command, "bcdusb", 0x0200);
    d.bDeviceClass = hub ? 9 : 0;
    d.bMaxPacketSize0 = 64;
    d.idVendor = Hex16(command, "vid", 0);
    d.idProduct = Hex16(command, "pid", 0);
    d.bcdDevice = Hex16(command, "bcddevice", 0x0100);
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
    auto string80 = command.options.find("string80");
    if (string80 != command.options.end()) {
        node->strings[0x80] = string80->second;
    }
    std::string ids = "USB\\VID_" + Hex4(d.idVendor) + "&PID_" + Hex4(d.idProduct);
    auto hwid = command.options.find("hwid");
    node->hardware_ids = hwid != command.options.end()
                             ? SplitBars(hwid->second)
                             : std::vector<std::string>{ids + "&REV_" + Hex4(d.bcdDevice), ids};
    std::string cls = hub ? "09" : "00";
    auto compatid = command.options.find("compatid");
    node->compatible_ids =
        compatid != command.options.end()
            ? SplitBars(compatid->second)
            : std::vector<std::string>{"USB\\Class_" + cls + "&SubClass_00&Prot_00",
                                       "USB\\Class_" + cls + "&SubClass_00", "USB\\Class_" + cls};
    node->container_id = ContainerIdFor(node->name);
    sim::UsbBehaviour& behaviour = node->behaviour;
    auto latency = command.options.find("latency");
    if (latency != command.options.end()) {
        behaviour.latency = ParseDuration(command, latency->second);
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
    if (bos != command.options.end()) {
        behaviour.bos = ParseHexBytes(command, bos->second);
        if (behaviour.bos.empty()) {
            throw ScenarioError(command.line, "bos needs at least one byte");
        }
    }
    for (size_t i = 1; i < command.words.size(); ++i) {
        behaviour.pdo_fails |= command.words[i] == "pdofail";
        behaviour.has_bos &= command.words[i] != "nobos";
    }
    return node;
}

}  // namespace

ScenarioRunner::ScenarioRunner(const std::string& text) {
    Compile(ParseScenario(text));
}

ScenarioRunner::~ScenarioRunner() = default;

void ScenarioRunner::Compile(const std::vector<Command>& commands) {
    Model model;
    for (const Command& command : commands) {
        const std::string& verb = command.verb;
        if (verb == "controller") {
            RequireWords(command, 1, "controller NAME [bus=N] [device=N] [function=N] [ports=N]");
            RequireOptions(command, {"bus", "device", "function", "ports"});
            std::string name = command.words[0];
            if (model.nodes.count(name) != 0) {
                throw ScenarioError(command.line, "name '" + name + "' is already used");
            }
            uint32_t bus = static_cast<uint32_t>(DecimalOption(command, "bus", 0, 255));
            uint32_t device = static_cast<uint32_t>(DecimalOption(command, "device", 20, 31));
            uint32_t function = static_cast<uint32_t>(DecimalOption(command, "function", 0, 7));
            int ports = static_cast<int>(DecimalOption(command, "ports", 4, 255));
            if (ports < 1) {
                throw ScenarioError(command.line, "a controller needs at least one port");
            }
            model.nodes[name] = Model::Node{"controller", ports, true, ""};
            definitions_.push_back([=](sim::Machine& machine) {
                machine.usb->AddController(name, bus, device, function, ports);
            });
        } else if (verb == "hub" || verb == "device") {
            std::shared_ptr<sim::UsbNode> node = DescribeNode(command, verb == "hub");
            if (model.nodes.count(node->name) != 0) {
                throw ScenarioError(command.line, "name '" + node->name + "' is already used");
            }
            model.nodes[node->name] = Model::Node{verb, node->port_count, false, ""};
            std::vector<sim::Fault> faults;
            for (size_t i = 1; i < command.words.size(); ++i) {
                const std::string& flag = command.words[i];
                if (flag == "pdofail" || flag == "nobos") {
                    continue;
                }
                faults.push_back(flag == "nocompatid"      ? sim::Fault::kCompatibleIdQuery
                                 : flag == "nocontainerid" ? sim::Fault::kContainerIdQuery
                                                           : sim::Fault::kUsbTargetCreate);
            }
            definitions_.push_back([node, faults](sim::Machine& machine) {
                for (sim::Fault fault : faults) {
                    machine.faults.Arm(fault, node->name, sim::Faults::kAlways);
                }
                machine.usb->Define(std::make_unique<sim::UsbNode>(*node));
            });
        } else if (verb == "registry") {
            if (command.args.size() < 3) {
                throw ScenarioError(command.line, "usage: registry VALUE TYPE DATA...");
            }
            std::string name = command.args[0];
            uint32_t type = REG_NONE;
            std::vector<uint8_t> data = RegistryData(
                command, command.args[1],
                std::vector<std::string>(command.args.begin() + 2, command.args.end()), &type);
            steps_.push_back([=](sim::Machine& machine) {
                machine.kernel.registry.SetValue(kParamKey, name, type, data);
            });
        } else if (verb == "load" || verb == "unload") {
            RequireWords(command, 0, verb);
            RequireOptions(command, {});
            bool load = verb == "load";
            if (model.loaded == load) {
                throw ScenarioError(command.line, load ? "the driver is already loaded"
                                                       : "the driver is not loaded");
            }
            model.loaded = load;
            steps_.push_back([load](sim::Machine& machine) {
                if (load) {
                    machine.pnp->LoadDriver(DriverEntry);
                } else {
                    machine.pnp->UnloadDriver();
                }
            });
        } else if (verb == "plug") {
            RequireWords(command, 2, "plug NAME PARENT:PORT");
            RequireOptions(command, {});
            std::string name = command.words[0];
            const std::string& place = command.words[1];
            size_t colon = place.rfind(':');
            if (colon == std::string::npos) {
                throw ScenarioError(command.line, "usage: plug NAME PARENT:PORT");
            }
            std::string parent = place.substr(0, colon);
            int port =
                static_cast<int>(ParseNumber(command, place.substr(colon + 1), 10, 255, "port"));
            auto node = model.nodes.find(name);
            if (node == model.nodes.end() || node->second.kind == "controller") {
                throw ScenarioError(command.line, "'" + name + "' is not a hub or device");
            }
            if (node->second.connected) {
                throw ScenarioError(command.line, "'" + name + "' is already plugged in");
            }
            auto hub = model.nodes.find(parent);
            if (hub == model.nodes.end() || hub->second.ports == 0) {
                throw ScenarioError(command.line, "'" + parent + "' is not a controller or hub");
            }
            if (!hub->second.connected) {
                throw ScenarioError(command.line, "'" + parent + "' is not plugged in");
            }
            if (port < 1 || port > hub->second.ports) {
                throw ScenarioError(command.line,
                                    "'" + parent + "' has no port " + std::to_string(port));
            }
            if (model.occupied.count({parent, port}) != 0) {
                throw ScenarioError(command.line, "port " + place + " is taken");
            }
            // A device taken from an unplugged hub leaves that hub's port.
            for (auto it = model.occupied.begin(); it != model.occupied.end(); ++it) {
                if (it->second == name) {
                    model.occupied.erase(it);
                    break;
                }
            }
            model.occupied[{parent, port}] = name;
            node->second.parent = parent;
            // Whatever is still plugged into a hub comes back with it.
            model.SetConnected(name, true);
            steps_.push_back([=](sim::Machine& machine) {
                machine.pnp->Plug(machine.usb->Find(name), machine.usb->HubOf(parent), port);
            });
        } else if (verb == "unplug") {
            RequireWords(command, 1, "unplug NAME");
            RequireOptions(command, {});
            std::string name = command.words[0];
            auto node = model.nodes.find(name);
            if (node == model.nodes.end() || node->second.kind == "controller" ||
                !node->second.connected) {
                throw ScenarioError(command.line, "'" + name + "' is not plugged in");
            }
            model.SetConnected(name, false);
            for (auto it = model.occupied.begin(); it != model.occupied.end(); ++it) {
                if (it->second == name) {
                    model.occupied.erase(it);
                    break;
                }
            }
            node->second.parent.clear();
            steps_.push_back(
                [=](sim::Machine& machine) { machine.pnp->Unplug(machine.usb->Find(name)); });
        } else if (verb == "suspend" || verb == "resume") {
            RequireWords(command, 0, verb);
            RequireOptions(command, {});
            bool suspend = verb == "suspend";
            steps_.push_back([suspend](sim::Machine& machine) {
                if (suspend) {
                    machine.pnp->Suspend();
                } else {
                    machine.pnp->Resume();
                }
            });
        } else if (verb == "wait") {
            RequireWords(command, 1, "wait DURATION");
            RequireOptions(command, {});
            sim::Ticks duration = ParseDuration(command, command.words[0]);
            steps_.push_back([duration](sim::Machine& machine) {
                machine.scheduler.SleepFor(duration, "the scenario's wait");
            });
        } else if (verb == "fail") {
            RequireOptions(command, {"count", "skip"});
            if (command.words.empty() || command.words.size() > 2) {
                throw ScenarioError(command.line,
                                    "usage: fail FAULT [TARGET] [count=N|always] [skip=N]");
            }
            auto fault = FaultsByName().find(command.words[0]);
            if (fault == FaultsByName().end()) {
                throw ScenarioError(command.line, "unknown fault '" + command.words[0] + "'");
            }
            std::string target = command.words.size() == 2 ? command.words[1] : "";
            auto count_option = command.options.find("count");
            int count = count_option != command.options.end() && count_option->second == "always"
                            ? sim::Faults::kAlways
                            : static_cast<int>(DecimalOption(command, "count", 1, 1000000));
            int skip = static_cast<int>(DecimalOption(command, "skip", 0, 1000000));
            sim::Fault kind = fault->second;
            steps_.push_back(
                [=](sim::Machine& machine) { machine.faults.Arm(kind, target, count, skip); });
        } else if (verb == "kernel") {
            RequireWords(command, 0, "kernel [version=MAJOR.MINOR] [without=NAME|NAME...]");
            RequireOptions(command, {"version", "without"});
            sim::WindowsVersion version;
            bool set_version = false;
            auto found = command.options.find("version");
            if (found != command.options.end()) {
                size_t dot = found->second.find('.');
                if (dot == std::string::npos) {
                    throw ScenarioError(command.line, "usage: version=MAJOR.MINOR");
                }
                version.major = static_cast<uint32_t>(
                    ParseNumber(command, found->second.substr(0, dot), 10, 99, "version"));
                version.minor = static_cast<uint32_t>(
                    ParseNumber(command, found->second.substr(dot + 1), 10, 99, "version"));
                set_version = true;
            }
            std::vector<std::string> without;
            found = command.options.find("without");
            if (found != command.options.end()) {
                without = SplitBars(found->second);
            }
            steps_.push_back([=](sim::Machine& machine) {
                if (set_version) {
                    machine.kernel.version = version;
                }
                for (const std::string& name : without) {
                    machine.kernel.exports.erase(name);
                }
            });
        } else if (!CompileIoCommand(command, &steps_)) {
            throw ScenarioError(command.line, "unknown command '" + verb + "'");
        }
    }
}

RunResult ScenarioRunner::Run(uint64_t seed, const std::function<void(const sim::Event&)>& on_event,
                              const std::function<void(sim::Machine&)>& after) {
    machine_.reset();
    machine_ = std::make_unique<sim::Machine>(seed);
    sim::Machine& machine = *machine_;
    machine.log.on_event = on_event;
    if (streamed_) {
        machine.log.StreamOnly(*streamed_);
    }
    machine.kmdf->describe_device = [](WDFDEVICE device) {
        return "handle=" + std::to_string(FilterGetData(device)->Handle);
    };
    for (const Step& definition : definitions_) {
        definition(machine);
    }
    machine.pnp->Start();
    machine.scheduler.Spawn("scenario", [this, &machine, after] {
        machine.pnp->Boot();
        for (const Step& step : steps_) {
            step(machine);
        }
        if (after) {
            after(machine);
        }
        machine.pnp->Shutdown();
    });
    RunResult result;
    result.outcome = machine.scheduler.Run();
    result.pool_outstanding = machine.kernel.pool.outstanding_bytes();
    result.end_time = machine.scheduler.Now();
    return result;
}

}  // namespace ampsim
