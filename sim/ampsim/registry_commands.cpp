// Scenario commands of the machine registry as programs see it: printing a key's values and
// presetting one, anywhere below \Registry\Machine (the hubs' "Device Parameters" keys above
// all). The faults reg-open, reg-write and setupapi are armed with `fail`.
#include <ntddk.h>

#include <cctype>
#include <cstdio>

#include "ampsim/commands.h"
#include "ampsim/values.h"
#include "kernel/wide_text.h"

namespace ampsim {

namespace {

const char kMachineRoot[] = "\\Registry\\Machine\\";

// The prefixes a key path may start with, each standing for \Registry\Machine.
const char* const kRootForms[] = {"\\Registry\\Machine\\", "HKLM\\", "HKEY_LOCAL_MACHINE\\"};

const char* const kSetupApiCalls[] = {
    "SetupDiClassGuidsFromNameA",        "SetupDiGetClassDevsA",          "SetupDiEnumDeviceInfo",
    "SetupDiGetDeviceRegistryPropertyA", "SetupDiSetClassInstallParamsA", "SetupDiChangeState",
};

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) !=
            std::toupper(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

std::vector<uint8_t> LittleEndian(uint64_t value, int bytes) {
    std::vector<uint8_t> data;
    for (int i = 0; i < bytes; ++i) {
        data.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    return data;
}

uint64_t FromLittleEndian(const std::vector<uint8_t>& data) {
    uint64_t value = 0;
    for (size_t i = data.size(); i-- > 0;) {
        value = value << 8 | data[i];
    }
    return value;
}

std::string Hex(const std::vector<uint8_t>& data) {
    std::string text;
    char byte[4];
    for (uint8_t b : data) {
        std::snprintf(byte, sizeof byte, "%02x", b);
        text += byte;
    }
    return text;
}

// The UTF-16 strings of the data, each cut at its terminator; false if the data is not
// whole 16-bit units.
bool Utf16Strings(const std::vector<uint8_t>& data, std::vector<std::string>* strings) {
    if (data.size() % 2 != 0) {
        return false;
    }
    std::string current;
    for (size_t i = 0; i < data.size(); i += 2) {
        uint16_t unit = static_cast<uint16_t>(data[i] | data[i + 1] << 8);
        if (unit == 0) {
            strings->push_back(current);
            current.clear();
        } else {
            current.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
        }
    }
    if (!current.empty()) {
        strings->push_back(current);
    }
    return true;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// TYPE DATA as the registry-set line would write it; data that does not fit its type's form
// is shown as the type's number and the bytes.
std::string DescribeValue(const sim::Registry::Value& value) {
    std::vector<std::string> strings;
    switch (value.type) {
        case REG_DWORD:
        case REG_QWORD: {
            size_t bytes = value.type == REG_DWORD ? 4 : 8;
            if (value.data.size() == bytes) {
                return std::string(value.type == REG_DWORD ? "REG_DWORD " : "REG_QWORD ") +
                       std::to_string(FromLittleEndian(value.data));
            }
            break;
        }
        case REG_SZ:
            if (Utf16Strings(value.data, &strings) && strings.size() <= 1) {
                return "REG_SZ " + Quoted(strings.empty() ? "" : strings[0]);
            }
            break;
        case REG_MULTI_SZ:
            if (Utf16Strings(value.data, &strings)) {
                std::string text = "REG_MULTI_SZ";
                for (const std::string& s : strings) {
                    if (!s.empty()) {
                        text += " " + Quoted(s);
                    }
                }
                return text;
            }
            break;
        case REG_BINARY:
            return "REG_BINARY " + Hex(value.data);
    }
    return "type=" + std::to_string(value.type) + " hex=" + Hex(value.data);
}

Step CompileRegistryKey(const Command& command, Model&) {
    if (command.args.size() != 1) {
        ThrowUsage(command);
    }
    std::string path = command.args[0];
    std::string key = MachineKeyName(command, path);
    return [=](sim::Machine& machine) {
        const auto* values = machine.kernel.registry.Values(key);
        if (values == nullptr) {
            machine.Log("registry", "key " + path + " absent");
            return;
        }
        machine.Log("registry", "key " + path + " values=" + std::to_string(values->size()));
        for (const auto& [canonical, value] : *values) {
            machine.Log("registry", "value " + value.name + " " + DescribeValue(value));
        }
    };
}

Step CompileRegistrySet(const Command& command, Model&) {
    if (command.args.size() < 4) {
        ThrowUsage(command);
    }
    std::string key = MachineKeyName(command, command.args[0]);
    std::string name = command.args[1];
    uint32_t type = REG_NONE;
    std::vector<uint8_t> data =
        RegistryData(command, command.args[2],
                     std::vector<std::string>(command.args.begin() + 3, command.args.end()), &type);
    return [=](sim::Machine& machine) { machine.kernel.registry.SetValue(key, name, type, data); };
}

const CommandEntry kRegistryCommands[] = {
    {"registry-key", "registry-key PATH", CommandEntry::kEvent, false, false, CompileRegistryKey},
    {"registry-set", "registry-set PATH VALUE TYPE DATA...", CommandEntry::kEvent, false, false,
     CompileRegistrySet},
};

}  // namespace

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
        *reg_type = dword ? REG_DWORD : REG_QWORD;
        uint64_t value =
            ParseNumber(command, data[0], 0, dword ? 0xFFFFFFFFULL : UINT64_MAX, type + " value");
        return LittleEndian(value, dword ? 4 : 8);
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
    throw ScenarioError(command.line, "unknown registry type " + Quote(type));
}

std::string MachineKeyName(const Command& command, const std::string& path) {
    std::string relative = path;
    for (const char* root : kRootForms) {
        if (StartsWithNoCase(path, root)) {
            relative = path.substr(std::string(root).size());
            break;
        }
    }
    bool empty_part = relative.empty() || relative.front() == '\\' || relative.back() == '\\' ||
                      relative.find("\\\\") != std::string::npos;
    if (empty_part) {
        throw ScenarioError(command.line,
                            "bad key path " + Quote(path) + " (KEY\\SUBKEY..., no empty part)");
    }
    return kMachineRoot + relative;
}

void CheckSetupApiCall(const Command& command, const std::string& name) {
    for (const char* call : kSetupApiCalls) {
        if (name == call) {
            return;
        }
    }
    throw ScenarioError(command.line, "no SetupAPI call is named " + Quote(name));
}

std::span<const CommandEntry> RegistryCommands() {
    return kRegistryCommands;
}

}  // namespace ampsim
