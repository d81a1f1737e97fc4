// POWERCFG's command line against the machine's power plans.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim::win32 {

struct CommandResult {
    std::string output;  // what the program printed, with CR LF line ends
    uint32_t exit_code = 0;
};

// The arguments after "powercfg": -GETACTIVESCHEME, -SETACVALUEINDEX and -SETDCVALUEINDEX
// SCHEME SUBGROUP SETTING VALUE, -SETACTIVE (-S) SCHEME; options in either case, with '-'
// or '/'; SCHEME_CURRENT, SCHEME_BALANCED, SCHEME_MIN, SCHEME_MAX and SUB_USB as aliases.
// Other options and settings print POWERCFG's error and exit with 1.
CommandResult RunPowercfg(const std::vector<std::string>& arguments);

}  // namespace sim::win32
