// Reads the resources a resource compiler wrote (.res: RESOURCEHEADER records, each
// DWORD-aligned), for the dialog manager's tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace user32_test {

// The data of the resource of ordinal type and ordinal name; empty if the file lacks it.
std::vector<uint8_t> CompiledResource(const std::string& res_file, uint16_t type, uint16_t name);

}  // namespace user32_test
