// Fuzzes the configuration readers. The input becomes the values of the driver's parameter key
// (any type, any bytes, or missing), the readers run on a small simulated PC, and the settings
// they produce are compared with what the data holds. Each input runs on a machine of its own.
//
// Input layout:
//   byte 0  flags: 1 the key is absent; 2 load the driver, which reads the key when it creates
//           its control device, instead of calling the readers directly; 4 fail one allocation
//           of the driver's pool tag; 8 change one value between its size query and its read
//   byte 1  how many of the driver's allocations pass before the failing one (low four bits)
//   byte 2  the value that changes (low three bits, 0-4) and by how many bytes its data grows
//           (high five bits, -16 to 15; 0 keeps the length and changes the bytes)
//   byte 3  scheduler seed, and the pattern the outputs start from
//   then records to the end of the input:
//     byte     the value (low three bits): 0-4 the five settings, 5 the first list's name in
//              lower case, 6 a name the driver does not read, 7 the first list's name in the
//              service key above the parameter key; bit 3: the data is repeated
//     byte     registry type (the readers ignore it; any number goes)
//     2 bytes  data length, little-endian, cut to what the input still holds
//     byte     only with bit 3: the data is written this many times plus one
//     data
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "filter.h"
#include "pc/machine.h"
#include "pc/pnp_manager.h"

namespace {

const char* const kServiceKey =
    "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\tabvoltx";
const char* const kParamKey =
    "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\tabvoltx\\Param";

constexpr int kSettings = 5;
constexpr int kLists = 3;
const char* const kNames[kSettings] = {"IPADSupportList", "IDevSkipList", "VEXAHUBSupportList",
                                       "DONTGETSTRDESC", "CHGCMDMODE"};
const PCWSTR kWideNames[kSettings] = {L"IPADSupportList", L"IDevSkipList", L"VEXAHUBSupportList",
                                      L"DONTGETSTRDESC", L"CHGCMDMODE"};

// Bits of byte 0, then the bit of a record's first byte.
constexpr uint8_t kKeyAbsent = 1;
constexpr uint8_t kLoadDriver = 2;
constexpr uint8_t kFailAllocation = 4;
constexpr uint8_t kChangeValue = 8;
constexpr uint8_t kRepeated = 8;

// Enough for thousands of records; longer data only costs time.
constexpr size_t kMaxValueBytes = 128 * 1024;
constexpr size_t kRecordBytes = 20;
constexpr LONG kCapacity = VID_PID_LIST_CAPACITY;

struct Write {
    int slot;
    uint32_t type;
    std::vector<uint8_t> data;
};

struct Input {
    uint8_t flags = 0;
    int allocations_before_failure = 0;
    int changed = 0;
    int growth = 0;
    uint8_t seed = 0;
    std::vector<Write> writes;
};

Input Decode(const uint8_t* data, size_t size) {
    Input input;
    auto header = [&](size_t index) -> uint8_t { return index < size ? data[index] : 0; };
    input.flags = header(0);
    input.allocations_before_failure = header(1) & 0x0F;
    input.changed = header(2) & 0x07;
    input.growth = (header(2) >> 3) - 16;
    input.seed = header(3);
    size_t at = 4;
    while (at + 4 <= size) {
        Write write;
        uint8_t selector = data[at];
        write.slot = selector & 0x07;
        write.type = data[at + 1];
        size_t length = data[at + 2] | static_cast<size_t>(data[at + 3]) << 8;
        at += 4;
        size_t copies = 1;
        if ((selector & kRepeated) != 0 && at < size) {
            copies = static_cast<size_t>(data[at]) + 1;
            at++;
        }
        length = std::min(length, size - at);
        for (size_t copy = 0; copy < copies && write.data.size() < kMaxValueBytes; ++copy) {
            write.data.insert(write.data.end(), data + at, data + at + length);
        }
        if (write.data.size() > kMaxValueBytes) {
            write.data.resize(kMaxValueBytes);
        }
        at += length;
        input.writes.push_back(std::move(write));
    }
    return input;
}

// HexStrToInt as the driver documents it: upper-case, an optional "0X", hexadecimal digits to
// the end; 'H' ends the number (rounded up by ".n" with n not '0'), any other character gives
// 0. Texts of any length parse, keeping the low 32 bits.
uint32_t ExpectedHex(const std::string& text) {
    std::string upper = text;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    // Two NULs behind the text, as a C string of it would read past the 'H'.
    upper.push_back(0);
    upper.push_back(0);
    size_t index = upper[0] == '0' && upper[1] == 'X' ? 2 : 0;
    uint32_t value = 0;
    for (; upper[index] != 0; ++index) {
        char c = upper[index];
        if (c >= '0' && c <= '9') {
            value = value * 16 + static_cast<uint32_t>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            value = value * 16 + static_cast<uint32_t>(c - 'A' + 10);
        } else if (c == 'H') {
            return value + (upper[index + 1] == '.' && upper[index + 2] != '0' ? 1 : 0);
        } else {
            return 0;
        }
    }
    return value;
}

std::string TextUpToNul(const uint8_t* bytes, size_t size) {
    size_t length = 0;
    while (length < size && bytes[length] != 0) {
        length++;
    }
    return std::string(reinterpret_cast<const char*>(bytes), length);
}

// The pair a 20-byte record gives: the low bytes of units 0-3 and 5-8 as text.
uint16_t ExpectedGroup(const uint8_t* units) {
    uint8_t text[4];
    for (int i = 0; i < 4; ++i) {
        text[i] = units[2 * i];
    }
    return static_cast<uint16_t>(ExpectedHex(TextUpToNul(text, 4)));
}

struct List {
    std::vector<uint16_t> vid;
    std::vector<uint16_t> pid;
    bool operator==(const List&) const = default;
};

List ExpectedList(const std::vector<uint8_t>& data) {
    List list;
    for (size_t at = 0; data.size() - at >= kRecordBytes && list.vid.size() < kCapacity;
         at += kRecordBytes) {
        list.vid.push_back(ExpectedGroup(&data[at]));
        list.pid.push_back(ExpectedGroup(&data[at + 10]));
    }
    return list;
}

uint32_t ExpectedOption(uint32_t initial, const std::vector<uint8_t>& data) {
    uint32_t value = initial;
    for (size_t i = 0; i < data.size() && i < 4; ++i) {
        value = (value & ~(0xFFu << (8 * i))) | static_cast<uint32_t>(data[i]) << (8 * i);
    }
    return value;
}

std::vector<uint8_t> ChangedData(std::vector<uint8_t> data, int growth) {
    if (growth == 0) {
        for (uint8_t& byte : data) {
            byte ^= 0x5A;
        }
    } else if (growth > 0) {
        data.insert(data.end(), static_cast<size_t>(growth), 0x41);
    } else {
        data.resize(data.size() > static_cast<size_t>(-growth) ? data.size() + growth : 0);
    }
    return data;
}

// What the five readers must produce, read by read in the driver's order.
struct Expected {
    List lists[kLists];
    uint32_t options[2] = {0, 0};
};

Expected Expect(const Input& input, const std::vector<const Write*>& values,
                uint32_t option_start) {
    Expected expected;
    expected.options[0] = expected.options[1] = option_start;
    int allocations = 0;
    for (int setting = 0; setting < kSettings; ++setting) {
        const Write* value = values[setting];
        if ((input.flags & kKeyAbsent) != 0 || value == nullptr) {
            continue;
        }
        // Every present value costs one allocation; the armed one fails that read.
        if ((input.flags & kFailAllocation) != 0 &&
            allocations++ == input.allocations_before_failure) {
            continue;
        }
        std::vector<uint8_t> data = value->data;
        if ((input.flags & kChangeValue) != 0 && input.changed == setting) {
            // A value whose size changed between the two queries is not trusted; one of the
            // same size is read as it is at the second query.
            std::vector<uint8_t> changed = ChangedData(data, input.growth);
            if (changed.size() != data.size()) {
                continue;
            }
            data = changed;
        }
        if (setting < kLists) {
            expected.lists[setting] = ExpectedList(data);
        } else {
            expected.options[setting - kLists] =
                ExpectedOption(expected.options[setting - kLists], data);
        }
    }
    return expected;
}

std::string Hex(const std::vector<uint8_t>& data, size_t limit) {
    std::string text;
    char byte[4];
    for (size_t i = 0; i < data.size() && i < limit; ++i) {
        std::snprintf(byte, sizeof byte, "%02x", data[i]);
        text += byte;
    }
    if (data.size() > limit) {
        text += "...";
    }
    return text;
}

std::string Describe(const Input& input) {
    std::string text =
        "flags=" + std::to_string(input.flags) +
        " allocations-before-failure=" + std::to_string(input.allocations_before_failure) +
        " changed=" + std::to_string(input.changed) + " growth=" + std::to_string(input.growth) +
        " seed=" + std::to_string(input.seed) + "\n";
    for (const Write& write : input.writes) {
        text += "  slot " + std::to_string(write.slot) + " type " + std::to_string(write.type) +
                " length " + std::to_string(write.data.size()) + " data " + Hex(write.data, 48) +
                "\n";
    }
    return text;
}

std::string DescribeList(const List& list) {
    std::string text = std::to_string(list.vid.size()) + " pairs";
    for (size_t i = 0; i < list.vid.size() && i < 8; ++i) {
        char pair[16];
        std::snprintf(pair, sizeof pair, " %04x:%04x", list.vid[i], list.pid[i]);
        text += pair;
    }
    return text;
}

// One list as GetVidPidList fills it: arrays of exactly the capacity, so that the address
// sanitizer sees a write past them, and a count that starts as garbage.
struct ListBuffers {
    std::unique_ptr<USHORT[]> vid{new USHORT[kCapacity]};
    std::unique_ptr<USHORT[]> pid{new USHORT[kCapacity]};
    LONG count = -7;
    ListBuffers() {
        for (LONG i = 0; i < kCapacity; ++i) {
            vid[i] = pid[i] = 0xCDCD;
        }
    }
};

void CheckList(const char* name, const USHORT* vid, const USHORT* pid, LONG count,
               const List& expected, std::vector<std::string>& problems) {
    if (count < 0 || count > kCapacity) {
        problems.push_back(std::string(name) + ": count " + std::to_string(count) + " outside 0.." +
                           std::to_string(kCapacity));
        return;
    }
    List actual;
    actual.vid.assign(vid, vid + count);
    actual.pid.assign(pid, pid + count);
    if (!(actual == expected)) {
        problems.push_back(std::string(name) + ": read " + DescribeList(actual) + ", expected " +
                           DescribeList(expected));
    }
}

void CheckOption(const char* name, uint32_t actual, uint32_t expected,
                 std::vector<std::string>& problems) {
    if (actual != expected) {
        char text[96];
        std::snprintf(text, sizeof text, ": read 0x%08x, expected 0x%08x", actual, expected);
        problems.push_back(name + std::string(text));
    }
}

void CheckNothingHeld(sim::Machine& machine, std::vector<std::string>& problems) {
    if (machine.kernel.pool.outstanding_blocks() != 0) {
        problems.push_back("pool blocks still allocated: " +
                           std::to_string(machine.kernel.pool.outstanding_blocks()));
    }
    if (machine.kernel.handles.open_count() != 0) {
        problems.push_back("handles still open: " +
                           std::to_string(machine.kernel.handles.open_count()));
    }
}

// The text routines on the data of each value, in buffers of exactly the data's size.
void CheckTextRoutines(const std::vector<uint8_t>& data, std::vector<std::string>& problems) {
    std::string text = TextUpToNul(data.data(), data.size());
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    memcpy(copy.get(), text.c_str(), text.size() + 1);
    ULONG value = HexStrToInt(copy.get());
    if (value != ExpectedHex(text) || memcmp(copy.get(), text.c_str(), text.size() + 1) != 0) {
        problems.push_back("HexStrToInt(\"" + text + "\") gave " + std::to_string(value) +
                           ", expected " + std::to_string(ExpectedHex(text)));
    }

    // Empty data has no buffer behind data(); std::copy and std::equal take that in stride.
    std::unique_ptr<UCHAR[]> narrow(new UCHAR[data.size()]);
    std::copy(data.begin(), data.end(), narrow.get());
    NarrowWideString(narrow.get(), data.size());
    std::vector<uint8_t> expected = data;
    for (size_t unit = 0; unit < data.size() / 2 && unit < 512; ++unit) {
        bool end = data[2 * unit] == 0 && data[2 * unit + 1] == 0;
        expected[unit] = end ? 0 : data[2 * unit];
        if (end) {
            break;
        }
    }
    if (!std::equal(expected.begin(), expected.end(), narrow.get())) {
        problems.push_back("NarrowWideString of " + Hex(data, 48) + " gave " +
                           Hex(std::vector<uint8_t>(narrow.get(), narrow.get() + data.size()), 48));
    }

    std::unique_ptr<CHAR[]> upper(new CHAR[data.size()]);
    std::copy(data.begin(), data.end(), upper.get());
    StrToUpperInPlace(upper.get(), data.size());
    expected = data;
    for (size_t i = 0; i < data.size() && expected[i] != 0; ++i) {
        if (expected[i] >= 'a' && expected[i] <= 'z') {
            expected[i] = static_cast<uint8_t>(expected[i] - 'a' + 'A');
        }
    }
    if (!std::equal(expected.begin(), expected.end(), reinterpret_cast<uint8_t*>(upper.get()))) {
        problems.push_back("StrToUpperInPlace changed bytes it should not");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Input input = Decode(data, size);
    std::vector<std::string> problems;

    // The value each setting ends up with: later writes replace earlier ones, and a name in
    // other case is the same value.
    std::vector<const Write*> values(kSettings, nullptr);
    for (const Write& write : input.writes) {
        if (write.slot < kSettings) {
            values[write.slot] = &write;
        } else if (write.slot == 5) {
            values[0] = &write;
        }
    }
    const bool load = (input.flags & kLoadDriver) != 0;
    // The driver zeroes its context; direct calls start from a pattern, so that an option
    // that could not be read is seen to stay unchanged.
    const uint32_t option_start = load ? 0 : 0x01010101u * input.seed;
    const Expected expected = Expect(input, values, option_start);

    for (const Write& write : input.writes) {
        CheckTextRoutines(write.data, problems);
    }

    sim::Machine machine(input.seed);
    sim::Registry& registry = machine.kernel.registry;
    registry.CreateKey(kServiceKey);
    if ((input.flags & kKeyAbsent) == 0) {
        registry.CreateKey(kParamKey);
    }
    for (const Write& write : input.writes) {
        if (write.slot == 7) {
            registry.SetValue(kServiceKey, kNames[0], write.type, write.data);
        } else if ((input.flags & kKeyAbsent) == 0) {
            std::string name = write.slot < kSettings ? kNames[write.slot]
                               : write.slot == 5      ? "ipadsupportlist"
                                                      : "IPADSupportList2";
            registry.SetValue(kParamKey, name, write.type, write.data);
        }
    }
    if ((input.flags & kFailAllocation) != 0) {
        machine.faults.Arm(sim::Fault::kPoolAllocation, "Tabv", 1,
                           input.allocations_before_failure);
    }
    if ((input.flags & kChangeValue) != 0 && input.changed < kSettings) {
        const std::string changed = sim::Registry::Canonical(kNames[input.changed]);
        const int growth = input.growth;
        int queries = 0;
        registry.on_query = [&registry, changed, growth, queries](const std::string& key,
                                                                  const std::string& name) mutable {
            const sim::Registry::Value* value = registry.Find(key, name);
            if (sim::Registry::Canonical(name) == changed && ++queries == 2 && value != nullptr) {
                registry.SetValue(key, name, value->type, ChangedData(value->data, growth));
            }
        };
    }

    ListBuffers lists[kLists];
    ULONG options[2] = {option_start, option_start};
    CONTROL_DEVICE_EXTENSION loaded;
    memset(&loaded, 0xAB, sizeof loaded);
    NTSTATUS load_status = STATUS_SUCCESS;

    if (load) {
        machine.pnp->Start();
    }
    machine.scheduler.Spawn("reader", [&] {
        if (load) {
            // No hardware is defined, so there is nothing to boot: the load alone reads the key.
            load_status = machine.pnp->LoadDriver(DriverEntry);
            if (FilterGetControlExtension() != NULL) {
                loaded = *FilterGetControlExtension();
            }
            machine.pnp->UnloadDriver();
            CheckNothingHeld(machine, problems);
            machine.pnp->Shutdown();
            return;
        }
        for (int list = 0; list < kLists; ++list) {
            (VOID) GetVidPidList(kWideNames[list], lists[list].vid.get(), lists[list].pid.get(),
                                 kCapacity, &lists[list].count);
        }
        for (int option = 0; option < 2; ++option) {
            (VOID) GetRegOptionValue(kWideNames[kLists + option], &options[option]);
        }
        CheckNothingHeld(machine, problems);
    });
    sim::RunOutcome outcome = machine.scheduler.Run();
    if (outcome.kind != sim::RunOutcome::kFinished) {
        problems.push_back("the run did not finish: " + outcome.report);
    }

    if (load) {
        // No setting that cannot be read fails the load.
        if (load_status != STATUS_SUCCESS) {
            problems.push_back("driver load failed with status " + std::to_string(load_status));
        }
        const VID_PID_LIST* read[kLists] = {&loaded.IpadSupportList, &loaded.IDevSkipList,
                                            &loaded.VexaHubSupportList};
        for (int list = 0; list < kLists; ++list) {
            CheckList(kNames[list], read[list]->Vid, read[list]->Pid, read[list]->Count,
                      expected.lists[list], problems);
        }
        CheckOption(kNames[3], loaded.DontGetStrDesc, expected.options[0], problems);
        CheckOption(kNames[4], loaded.ChgCmdMode, expected.options[1], problems);
    } else {
        for (int list = 0; list < kLists; ++list) {
            CheckList(kNames[list], lists[list].vid.get(), lists[list].pid.get(), lists[list].count,
                      expected.lists[list], problems);
            // Entries past the count are not written.
            for (LONG i = std::max<LONG>(lists[list].count, 0); i < kCapacity; ++i) {
                if (lists[list].vid[i] != 0xCDCD || lists[list].pid[i] != 0xCDCD) {
                    problems.push_back(std::string(kNames[list]) + ": entry " + std::to_string(i) +
                                       " written past the count");
                    break;
                }
            }
        }
        for (int option = 0; option < 2; ++option) {
            CheckOption(kNames[kLists + option], options[option], expected.options[option],
                        problems);
        }
    }

    if (!problems.empty()) {
        std::fprintf(stderr, "registry fuzzer: input %s", Describe(input).c_str());
        for (const std::string& problem : problems) {
            std::fprintf(stderr, "  %s\n", problem.c_str());
        }
        std::abort();
    }
    return 0;
}
