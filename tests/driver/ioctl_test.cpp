// The control device's I/O-control interface as a program sees it: every code's replies
// and refusals, the sequential queue, and the end of the control device.
#include "support/sim_test.h"

namespace {

using support::AppendLe16;
using support::Ioctl;
using support::IoctlReply;
using support::Le32;
using support::RunScenario;

// Handles: H1 1, PAD 2, MUTE 3 (refuses vendor requests); the next handle is 4.
const std::string kHubAndTablets =
    "controller C1\n"
    "hub H1 vid=2E7B pid=0610 bcdusb=0210 bcddevice=7763 serial=VX\n"
    "device PAD vid=05AC pid=12AB bcddevice=0510 serial=DM\n"
    "device MUTE vid=05AC pid=12A8 stall=vendor\n"
    "load\nplug H1 C1:1\nplug PAD H1:2\nplug MUTE H1:3\n";

std::vector<uint8_t> Bytes(size_t count, uint8_t value) {
    return std::vector<uint8_t>(count, value);
}

// A transfer record: serial (not read), handle, setup packet, then `data` bytes.
std::vector<uint8_t> Transfer(uint32_t handle, uint8_t type, uint8_t request, uint16_t value,
                              uint16_t index, uint16_t length, size_t data = 0) {
    std::vector<uint8_t> record = Le32({0xEEEEEEEE, handle});
    record.push_back(type);
    record.push_back(request);
    AppendLe16(&record, {value, index, length});
    record.resize(record.size() + data, 0x5A);
    return record;
}

std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t length) {
    bytes.resize(length);
    return bytes;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char pair[4];
    for (uint8_t byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", byte);
        text += pair;
    }
    return text;
}

struct IoctlCase {
    const char* what;
    uint32_t code;
    std::vector<uint8_t> input;
    size_t output_length;
    NTSTATUS status;
    size_t information;
    // The reply starts with these bytes; every returned byte after them must be zero.
    std::string reply;
};

const std::string kSerial = "04000000";
const std::string kH1Entry =
    "01000000"
    "0100"
    "7B2E"
    "1006"
    "6377"
    "1002"
    "00";
const std::string kPadEntry =
    "02000000"
    "0000"
    "AC05"
    "AB12"
    "1005"
    "0002"
    "00";

const IoctlCase kCases[] = {
    {"count", VEXA_IOCTL_GET_DEVICE_NUM, {}, 23, STATUS_SUCCESS, 23, kSerial + "03000000"},
    {"count in 22 bytes", VEXA_IOCTL_GET_DEVICE_NUM, {}, 22, STATUS_BUFFER_TOO_SMALL, 0, ""},
    {"count reports 23 however long, input not echoed", VEXA_IOCTL_GET_DEVICE_NUM, Bytes(30, 0xAB),
     30, STATUS_SUCCESS, 23, kSerial + "03000000"},
    {"list with room for one",
     VEXA_IOCTL_ENUM_DEVICES,
     {},
     23,
     STATUS_SUCCESS,
     23,
     kSerial + "03000000" + kH1Entry},
    {"list with room for two of three",
     VEXA_IOCTL_ENUM_DEVICES,
     {},
     52,
     STATUS_SUCCESS,
     52,
     kSerial + "03000000" + kH1Entry + kPadEntry},
    {"list in 22 bytes", VEXA_IOCTL_ENUM_DEVICES, {}, 22, STATUS_BUFFER_TOO_SMALL, 0, ""},
    {"list without output", VEXA_IOCTL_ENUM_DEVICES, {}, 0, STATUS_BUFFER_TOO_SMALL, 0, ""},
    {"port command of the tray", VEXA_IOCTL_HUB_PORT_COMMAND, Transfer(1, 0x43, 0x74, 2, 1, 0, 1),
     17, STATUS_SUCCESS, 17,
     kSerial + "01000000"
               "4374"
               "0200"
               "0100"
               "0000"
               "5A"},
    {"transfer to an unknown handle", VEXA_IOCTL_VENDOR_REQUEST, Transfer(9, 0x40, 0x40, 0, 0, 0),
     16, STATUS_UNSUCCESSFUL, 0, ""},
    {"transfer record cut short", VEXA_IOCTL_VENDOR_REQUEST,
     Cut(Transfer(2, 0x40, 0x40, 0, 0, 0), 15), 16, STATUS_BUFFER_TOO_SMALL, 0, ""},
    {"input without the data stage", VEXA_IOCTL_VENDOR_REQUEST, Transfer(2, 0x40, 0x41, 0, 0, 4),
     20, STATUS_BUFFER_TOO_SMALL, 0, ""},
    {"input one byte short of the data stage", VEXA_IOCTL_VENDOR_REQUEST,
     Transfer(2, 0x40, 0x41, 0, 0, 4, 3), 20, STATUS_BUFFER_TOO_SMALL, 0, ""},
    {"output without room for the data", VEXA_IOCTL_VENDOR_REQUEST2,
     Transfer(2, 0x40, 0x41, 0, 0, 4, 4), 19, STATUS_BUFFER_TOO_SMALL, 0, ""},
    {"data stage read into the reply", VEXA_IOCTL_VENDOR_REQUEST2,
     Transfer(2, 0x80, 0x06, 0x0100, 0, 18, 18), 40, STATUS_SUCCESS, 40,
     kSerial + "02000000"
               "8006"
               "0001"
               "0000"
               "1200"
               "1201000200000040AC05AB12100501020301"},
    {"transfer the device refuses", VEXA_IOCTL_VENDOR_REQUEST, Transfer(3, 0x40, 0x41, 0, 0, 0), 16,
     STATUS_UNSUCCESSFUL, 0, ""},
    {"no-op without output", VEXA_IOCTL_NOOP, {}, 0, STATUS_SUCCESS, 0, ""},
    {"no-op", VEXA_IOCTL_NOOP, {}, 8, STATUS_SUCCESS, 4, ""},
    {"no-op reports zeros, not its input",
     VEXA_IOCTL_NOOP,
     {0xAA, 0xBB, 0xCC, 0xDD},
     4,
     STATUS_SUCCESS,
     4,
     ""},
    {"beep without a whole divisor",
     VEXA_IOCTL_BEEP_ON,
     {0xA9, 0x04, 0x00},
     4,
     STATUS_BUFFER_TOO_SMALL,
     0,
     ""},
    {"beep without output", VEXA_IOCTL_BEEP_ON, Le32({1193}), 0, STATUS_SUCCESS, 0, ""},
    {"beep", VEXA_IOCTL_BEEP_ON, Le32({1193}), 8, STATUS_SUCCESS, 4, "A9040000"},
    {"beep off", VEXA_IOCTL_BEEP_OFF, {}, 0, STATUS_SUCCESS, 0, ""},
    {"charge without its byte",
     VEXA_IOCTL_ENABLE_TAB_CHARGING,
     {},
     0,
     STATUS_BUFFER_TOO_SMALL,
     0,
     ""},
    {"serial string", VEXA_IOCTL_GET_SERIAL_STRING, Le32({0, 2, 512}), 524, STATUS_SUCCESS, 524,
     kSerial + "02000000"
               "00020000"
               "44004D00"},
    {"serial string with capacity 600", VEXA_IOCTL_GET_SERIAL_STRING, Le32({0, 2, 600}), 612,
     STATUS_SUCCESS, 612,
     kSerial + "02000000"
               "58020000"
               "44004D00"},
    {"query record cut short", VEXA_IOCTL_GET_SERIAL_STRING, Bytes(11, 0), 524,
     STATUS_BUFFER_TOO_SMALL, 0, ""},
    {"string area beyond the output", VEXA_IOCTL_GET_INSTANCE_ID, Le32({0, 2, 512}), 523,
     STATUS_BUFFER_TOO_SMALL, 0, ""},
    {"capacity that wraps around", VEXA_IOCTL_GET_CONTAINER_ID, Le32({0, 2, 0xFFFFFFF8}), 64,
     STATUS_BUFFER_TOO_SMALL, 0, ""},
    {"string of an unknown handle", VEXA_IOCTL_GET_BOS_CONTAINER_ID, Le32({0, 9, 512}), 524,
     STATUS_SUCCESS, 524,
     kSerial + "09000000"
               "00020000"},
    {"topology", VEXA_IOCTL_GET_TOPOLOGY_ADDRESS, Le32({0, 2}), 32, STATUS_SUCCESS, 32,
     kSerial + "00000000"
               "00000000"
               "14000000"
               "00000000"
               "0100"
               "0200"},
    {"topology reported to the whole output", VEXA_IOCTL_GET_TOPOLOGY_ADDRESS, Le32({0, 9}), 40,
     STATUS_SUCCESS, 40, kSerial},
    {"topology request cut short", VEXA_IOCTL_GET_TOPOLOGY_ADDRESS, Bytes(7, 0), 32,
     STATUS_BUFFER_TOO_SMALL, 0, ""},
    {"topology reply cut short", VEXA_IOCTL_GET_TOPOLOGY_ADDRESS, Le32({0, 2}), 31,
     STATUS_BUFFER_TOO_SMALL, 0, ""},
    {"the code after the last", 0x222038, {}, 0, STATUS_NOT_SUPPORTED, 0, ""},
};

TEST(Ioctl, EachCodeRepliesOrRefusesAsTheInterfaceSays) {
    std::vector<IoctlReply> replies;
    auto run = RunScenario(kHubAndTablets, 0, [&](sim::Machine&) {
        for (const IoctlCase& c : kCases) {
            replies.push_back(Ioctl(c.code, c.input, c.output_length));
        }
    });
    EXPECT_RUN_OK(run);
    ASSERT_EQ(replies.size(), std::size(kCases));
    for (size_t i = 0; i < replies.size(); ++i) {
        const IoctlCase& c = kCases[i];
        const IoctlReply& reply = replies[i];
        ASSERT_TRUE(reply.opened) << c.what;
        EXPECT_EQ(static_cast<uint32_t>(reply.status), static_cast<uint32_t>(c.status)) << c.what;
        EXPECT_EQ(reply.information, c.information) << c.what;
        std::string got = Hex(reply.output);
        std::string want = c.reply + std::string(2 * c.information - c.reply.size(), '0');
        EXPECT_EQ(got, want) << c.what;
    }
    EXPECT_EQ(run.result.pool_outstanding, 0u);
}

TEST(Ioctl, NoDeviceListedButTheControlDeviceStays) {
    std::vector<IoctlReply> replies;
    auto run = RunScenario("controller C1\nload\n", 0, [&](sim::Machine&) {
        replies.push_back(Ioctl(VEXA_IOCTL_GET_DEVICE_NUM, {}, 23));
        replies.push_back(Ioctl(VEXA_IOCTL_ENUM_DEVICES, {}, 23));
        replies.push_back(Ioctl(VEXA_IOCTL_ENABLE_TAB_CHARGING, {1}, 0));
    });
    EXPECT_RUN_OK(run);
    ASSERT_EQ(replies.size(), 3u);
    EXPECT_EQ(Hex(replies[0].output), "01000000" + std::string(38, '0'));
    EXPECT_EQ(Hex(replies[1].output), "01000000" + std::string(38, '0'));
    EXPECT_EQ(replies[2].status, STATUS_UNSUCCESSFUL);
}

// When a request returned, by virtual time and client.
struct Completion {
    std::string client;
    NTSTATUS status;
    sim::Ticks at;
};

// Runs each client on its own thread with its own handle; a client starts `delay` into
// the run and sends one request.
struct Client {
    std::string name;
    sim::Ticks delay;
    uint32_t code;
    std::vector<uint8_t> input;
    size_t output_length;
};

std::vector<Completion> RunClients(sim::Machine& machine, const std::vector<Client>& clients,
                                   const std::function<void()>& meanwhile) {
    std::vector<Completion> done;
    for (const Client& client : clients) {
        machine.scheduler.Spawn(client.name, [&machine, &done, client] {
            machine.scheduler.SleepFor(client.delay, "its start");
            IoctlReply reply = Ioctl(client.code, client.input, client.output_length);
            done.push_back({client.name, reply.opened ? reply.status : STATUS_NO_SUCH_DEVICE,
                            machine.scheduler.Now()});
        });
    }
    meanwhile();
    machine.scheduler.SleepFor(2 * sim::kTicksPerSecond, "the clients");
    return done;
}

TEST(Ioctl, TwoOpenHandlesAreServedOneAfterTheOther) {
    std::vector<Completion> done;
    auto run = RunScenario(
        "controller C1\nhub H1 vid=2E7B pid=0610\ndevice SLOW vid=05AC pid=12A8 latency=40ms\n"
        "load\nplug H1 C1:1\nplug SLOW H1:1\n",
        0, [&](sim::Machine& machine) {
            sim::Ticks start = machine.scheduler.Now();
            done = RunClients(machine,
                              {{"first", 0, VEXA_IOCTL_VENDOR_REQUEST,
                                Transfer(2, 0x40, 0x40, 0x6400, 0x6400, 0), 16},
                               {"second", sim::kTicksPerMs, VEXA_IOCTL_GET_DEVICE_NUM, {}, 23}},
                              [] {});
            for (Completion& completion : done) {
                completion.at -= start;
            }
        });
    EXPECT_RUN_OK(run);
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].client, "first");
    EXPECT_EQ(done[0].status, STATUS_SUCCESS);
    EXPECT_EQ(done[1].client, "second");
    EXPECT_GE(done[1].at, done[0].at)
        << "the count was served while the transfer was in the driver";
}

// The last filter device goes while one request is in the driver and another waits: the
// waiting one finds the control device gone, and afterwards nothing reaches the driver.
TEST(Ioctl, ControlDeviceEndsWithTheLastFilterDevice) {
    std::vector<Completion> done;
    NTSTATUS on_old_handle = STATUS_SUCCESS;
    NTSTATUS open_after = STATUS_SUCCESS;
    auto run = RunScenario(
        "controller C1\ndevice PAD vid=05AC pid=12A8 latency=40ms\nload\nplug PAD C1:1\n", 0,
        [&](sim::Machine& machine) {
            sim::UserHandle old_handle = 0;
            ASSERT_EQ(machine.user_io.Open(VEXA_USER_DEVICE_PATH, &old_handle), STATUS_SUCCESS);
            done = RunClients(
                machine,
                {{"transfer", 0, VEXA_IOCTL_VENDOR_REQUEST, Transfer(1, 0x40, 0x40, 0, 0, 0), 16},
                 {"count", sim::kTicksPerMs, VEXA_IOCTL_GET_DEVICE_NUM, {}, 23}},
                [&] {
                    machine.scheduler.SleepFor(2 * sim::kTicksPerMs, "the requests");
                    machine.pnp->Unplug(machine.usb->Find("PAD"));
                });
            on_old_handle =
                machine.user_io.DeviceControl(old_handle, VEXA_IOCTL_NOOP, nullptr, 0, nullptr, 0)
                    .status;
            EXPECT_EQ(machine.user_io.Close(old_handle), STATUS_SUCCESS);
            sim::UserHandle new_handle = 0;
            open_after = machine.user_io.Open(VEXA_USER_DEVICE_PATH, &new_handle);
        });
    EXPECT_RUN_OK(run);
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].client, "transfer");
    EXPECT_EQ(done[1].client, "count");
    EXPECT_EQ(static_cast<uint32_t>(done[1].status), STATUS_DEVICE_DOES_NOT_EXIST);
    EXPECT_EQ(static_cast<uint32_t>(on_old_handle), STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(static_cast<uint32_t>(open_after), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(run.machine().user_io.open_count(), 0u);
}

}  // namespace
