// Scenario commands of the driver and its I/O control: its parameters in the registry,
// loading and unloading it, the kernel it finds, and the requests a program sends it.
#include <ntddk.h>

#include "ampsim/commands.h"
#include "ampsim/io_commands.h"
#include "ampsim/values.h"
#include "filter.h"
#include "pc/pnp_manager.h"
#include "vexa_ioctl.h"

namespace ampsim {
namespace {

const char* const kParamKey =
    "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\tabvoltx\\Param";

// The largest buffer a scenario may ask for; the I/O manager itself takes up to 4 GB.
constexpr uint64_t kMaxBuffer = 1 << 20;

Step CompileRegistry(const Command& command, Model&) {
    if (command.args.size() < 3) {
        ThrowUsage(command);
    }
    std::string name = command.args[0];
    uint32_t type = REG_NONE;
    std::vector<uint8_t> data =
        RegistryData(command, command.args[1],
                     std::vector<std::string>(command.args.begin() + 2, command.args.end()), &type);
    return [=](sim::Machine& machine) {
        machine.kernel.registry.SetValue(kParamKey, name, type, data);
    };
}

Step CompileLoad(const Command& command, Model& model) {
    RequireBare(command);
    if (model.loaded == Model::Loaded::kYes) {
        throw ScenarioError(command.line, "the driver is already loaded");
    }
    // A fault or a changed kernel may make the load fail; later lines may then load again.
    model.loaded = model.load_may_fail ? Model::Loaded::kMaybe : Model::Loaded::kYes;
    return [](sim::Machine& machine) {
        if (machine.pnp->driver_installed()) {
            machine.Log("pnp", "driver already loaded");
            return;
        }
        machine.pnp->LoadDriver(DriverEntry);
    };
}

Step CompileUnload(const Command& command, Model& model) {
    RequireBare(command);
    if (model.loaded == Model::Loaded::kNo) {
        throw ScenarioError(command.line, "the driver is not loaded");
    }
    model.loaded = Model::Loaded::kNo;
    return [](sim::Machine& machine) {
        if (!machine.pnp->driver_installed()) {
            machine.Log("pnp", "driver not loaded");
            return;
        }
        machine.pnp->UnloadDriver();
    };
}

// Each kernel line's without= names every routine missing from then on: it replaces the
// list of an earlier line, and an empty list exports them all again.
Step CompileKernel(const Command& command, Model& model) {
    RequireOptions(command, {"version", "without"});
    RequireWords(command, 0);
    if (command.options.empty()) {
        ThrowUsage(command);
    }
    std::optional<sim::WindowsVersion> version;
    auto found = command.options.find("version");
    if (found != command.options.end()) {
        size_t dot = found->second.find('.');
        if (dot == std::string::npos) {
            throw ScenarioError(command.line, "usage: version=MAJOR.MINOR");
        }
        version.emplace();
        version->major = static_cast<uint32_t>(
            ParseNumber(command, found->second.substr(0, dot), 10, 99, "version"));
        version->minor = static_cast<uint32_t>(
            ParseNumber(command, found->second.substr(dot + 1), 10, 99, "version"));
    }
    static const std::set<std::string> kExports = sim::Kernel().exports;
    std::optional<std::set<std::string>> exports;
    found = command.options.find("without");
    if (found != command.options.end()) {
        exports = kExports;
        if (!found->second.empty()) {
            for (const std::string& name : SplitBars(command, found->second, "routine name")) {
                if (exports->erase(name) == 0 && kExports.count(name) == 0) {
                    throw ScenarioError(command.line, "the kernel exports no routine " +
                                                          Quote(name) + " to leave out");
                }
            }
        }
    }
    model.load_may_fail = true;
    return [=](sim::Machine& machine) {
        if (version) {
            machine.kernel.version = *version;
        }
        if (exports) {
            machine.kernel.exports = *exports;
        }
    };
}

Step CompileIoctl(const Command& command, Model& model) {
    RequireOptions(command, {"in", "out", "handle"});
    RequireWords(command, 1);
    std::string name = command.words[0];
    uint32_t code = ParseIoctlCode(command, name);
    auto in = command.options.find("in");
    std::vector<uint8_t> input =
        in == command.options.end() ? std::vector<uint8_t>() : ParseHexBytes(command, in->second);
    size_t output_length = NumberOption(command, "out", 0, kMaxBuffer);
    auto kept = command.options.find("handle");
    if (kept == command.options.end()) {
        return [=](sim::Machine& machine) {
            LogReply(machine, name, code, SendIoctl(machine, code, input, output_length));
        };
    }
    std::string kept_name = kept->second;
    if (model.open_handles.count(kept_name) == 0) {
        throw ScenarioError(command.line, "no open handle " + Quote(kept_name));
    }
    auto handles = model.handles;
    return [=](sim::Machine& machine) {
        LogReply(machine, name, code,
                 SendIoctlOn(machine, (*handles)[kept_name], code, input, output_length));
    };
}

// The name of a kept handle: one word and nothing else.
std::string HandleName(const Command& command) {
    RequireWords(command, 1);
    if (!command.options.empty()) {
        ThrowUsage(command);
    }
    return command.words[0];
}

Step CompileOpen(const Command& command, Model& model) {
    std::string name = HandleName(command);
    if (!model.open_handles.insert(name).second) {
        throw ScenarioError(command.line, "handle " + Quote(name) + " is already open");
    }
    auto handles = model.handles;
    return [=](sim::Machine& machine) {
        bool opened = NT_SUCCESS(machine.user_io.Open(VEXA_USER_DEVICE_PATH, &(*handles)[name]));
        machine.Log("ioctl", "open " + name + (opened ? " -> ok" : " -> open-failed"));
    };
}

Step CompileClose(const Command& command, Model& model) {
    std::string name = HandleName(command);
    if (model.open_handles.erase(name) == 0) {
        throw ScenarioError(command.line, "no open handle " + Quote(name));
    }
    auto handles = model.handles;
    return [=](sim::Machine& machine) {
        // A name whose open failed holds no handle; closing it changes nothing.
        machine.user_io.Close((*handles)[name]);
        machine.Log("ioctl", "close " + name);
    };
}

Step CompileDevices(const Command& command, Model&) {
    RequireBare(command);
    return ListDevices;
}

Step CompileCharge(const Command& command, Model&) {
    RequireOptions(command, {});
    if (command.words.size() > 1 || (command.words.size() == 1 && command.words[0] != "skip")) {
        ThrowUsage(command);
    }
    uint8_t skip = command.words.empty() ? 0 : 1;
    return [skip](sim::Machine& machine) {
        LogReply(machine, "VEXA_IOCTL_ENABLE_TAB_CHARGING", VEXA_IOCTL_ENABLE_TAB_CHARGING,
                 SendIoctl(machine, VEXA_IOCTL_ENABLE_TAB_CHARGING, {skip}, 0));
    };
}

const CommandEntry kDriverCommands[] = {
    {"registry", "registry VALUE TYPE DATA...", CommandEntry::kEvent, false, false,
     CompileRegistry},
    {"load", "load", CommandEntry::kEvent, true, true, CompileLoad},
    {"unload", "unload", CommandEntry::kEvent, true, true, CompileUnload},
    {"kernel", "kernel [version=MAJOR.MINOR] [without=NAME|NAME...]", CommandEntry::kEvent, false,
     false, CompileKernel},
    {"ioctl", "ioctl CODE [in=HEX] [out=N] [handle=NAME]", CommandEntry::kEvent, true, false,
     CompileIoctl},
    {"open", "open NAME", CommandEntry::kEvent, false, false, CompileOpen},
    {"close", "close NAME", CommandEntry::kEvent, false, false, CompileClose},
    {"devices", "devices", CommandEntry::kEvent, true, false, CompileDevices},
    {"charge", "charge [skip]", CommandEntry::kEvent, true, false, CompileCharge},
};

}  // namespace

std::span<const CommandEntry> DriverCommands() {
    return kDriverCommands;
}

}  // namespace ampsim
