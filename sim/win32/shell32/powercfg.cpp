#include "win32/shell32/powercfg.h"

#include <algorithm>
#include <map>

#include "pc/machine.h"
#include "win32/ascii_lower.h"
#include "win32/shell32/shell_control.h"

namespace sim::win32 {
namespace {

const char kBalanced[] = "381b4222-f694-41f0-9685-ff5bb260df2e";
const char kHighPerformance[] = "8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c";
const char kPowerSaver[] = "a1841308-3541-4fab-bc81-f71556f20b4a";
const char kUsbSubgroup[] = "2a737441-1930-4402-8d77-b2bebba308a3";
const char kUsbSelectiveSuspend[] = "48e6b7a6-50f5-4782-a5d4-53bb8f07e226";

const char kInvalidParameters[] = "Invalid Parameters -- try \"/?\" for help\r\n";
const char kDoesNotExist[] = "The power scheme, subgroup or setting specified does not exist.\r\n";

struct PowerPlans {
    std::vector<PowerScheme> schemes{{kBalanced, "Balanced", 1, 1},
                                     {kHighPerformance, "High performance", 1, 1},
                                     {kPowerSaver, "Power saver", 1, 1}};
    std::string active = kBalanced;
    PowerScheme applied = schemes.front();
    std::optional<std::string> active_scheme_output;

    PowerScheme* Find(const std::string& guid) {
        auto found =
            std::find_if(schemes.begin(), schemes.end(),
                         [&guid](const PowerScheme& scheme) { return scheme.guid == guid; });
        return found == schemes.end() ? nullptr : &*found;
    }
};

PowerPlans& Plans() {
    return Machine::Current().Extension<PowerPlans>();
}

// A scheme's GUID from a GUID or an alias, lower case.
std::string SchemeGuid(const std::string& argument) {
    static const std::map<std::string, std::string> kAliases = {{"scheme_balanced", kBalanced},
                                                                {"scheme_min", kHighPerformance},
                                                                {"scheme_max", kPowerSaver}};
    std::string key = AsciiLower(argument);
    if (key == "scheme_current") {
        return Plans().active;
    }
    auto alias = kAliases.find(key);
    return alias == kAliases.end() ? key : alias->second;
}

// A setting's value: decimal, or hexadecimal after 0x.
bool ParseValue(const std::string& text, uint32_t* value) {
    if (text.empty()) {
        return false;
    }
    size_t used = 0;
    try {
        *value = static_cast<uint32_t>(std::stoul(text, &used, 0));
    } catch (const std::exception&) {
        return false;
    }
    return used == text.size();
}

CommandResult SetValueIndex(const std::vector<std::string>& arguments, bool ac) {
    if (arguments.size() != 5) {
        return {kInvalidParameters, 1};
    }
    PowerScheme* scheme = Plans().Find(SchemeGuid(arguments[1]));
    std::string subgroup = AsciiLower(arguments[2]);
    bool usb = subgroup == kUsbSubgroup || subgroup == "sub_usb";
    uint32_t value = 0;
    if (scheme == nullptr || !usb || AsciiLower(arguments[3]) != kUsbSelectiveSuspend) {
        return {kDoesNotExist, 1};
    }
    if (!ParseValue(arguments[4], &value) || value > 1) {
        return {kInvalidParameters, 1};
    }
    (ac ? scheme->ac : scheme->dc) = value;
    return {"", 0};
}

}  // namespace

CommandResult RunPowercfg(const std::vector<std::string>& arguments) {
    if (arguments.empty() || (arguments[0][0] != '-' && arguments[0][0] != '/')) {
        return {kInvalidParameters, 1};
    }
    PowerPlans& plans = Plans();
    std::string option = AsciiLower(arguments[0].substr(1));
    if (option == "getactivescheme" && arguments.size() == 1) {
        if (plans.active_scheme_output) {
            return {*plans.active_scheme_output, 0};
        }
        const PowerScheme* active = plans.Find(plans.active);
        return {"Power Scheme GUID: " + active->guid + "  (" + active->name + ")\r\n", 0};
    }
    if (option == "setacvalueindex" || option == "setdcvalueindex") {
        return SetValueIndex(arguments, option == "setacvalueindex");
    }
    if ((option == "setactive" || option == "s") && arguments.size() == 2) {
        PowerScheme* scheme = plans.Find(SchemeGuid(arguments[1]));
        if (scheme == nullptr) {
            return {kDoesNotExist, 1};
        }
        plans.active = scheme->guid;
        plans.applied = *scheme;
        return {"", 0};
    }
    return {kInvalidParameters, 1};
}

std::vector<PowerScheme> PowerSchemes() {
    return Plans().schemes;
}

std::string ActiveScheme() {
    return Plans().active;
}

PowerScheme AppliedSettings() {
    return Plans().applied;
}

std::vector<std::string> PowerPlanLines() {
    PowerPlans& plans = Plans();
    std::vector<std::string> lines;
    for (const PowerScheme& scheme : plans.schemes) {
        lines.push_back(scheme.guid + " (" + scheme.name + ") ac=" + std::to_string(scheme.ac) +
                        " dc=" + std::to_string(scheme.dc) +
                        (scheme.guid == plans.active ? " active" : ""));
    }
    return lines;
}

void SetActiveSchemeOutput(std::optional<std::string> text) {
    Plans().active_scheme_output = std::move(text);
}

}  // namespace sim::win32
