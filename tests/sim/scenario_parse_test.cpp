// ampsim's scenario checks: every bad line is reported with its number before anything runs.
#include <gtest/gtest.h>

#include "ampsim/runner.h"
#include "ampsim/values.h"

namespace {

struct BadLine {
    const char* scenario;
    int line;
    const char* message;
};

const char* const kTree = "controller C1 ports=2\nhub H1 vid=2E7B pid=0610 ports=2\n";

const BadLine kBadLines[] = {
    {"frobnicate", 1, "unknown command 'frobnicate'"},
    {"controller C1\ncontroller C1", 2, "name 'C1' is already used"},
    {"controller C1\ndevice C1.root vid=1 pid=2", 2,
     "name 'C1.root' is kept for a controller's root hub"},
    {"device C2.root vid=1 pid=2\ncontroller C2", 1,
     "name 'C2.root' is kept for a controller's root hub"},
    {"device D:1 vid=1 pid=2", 1, "bad name 'D:1' (letters, digits, '_', '-' and '.')"},
    {"device D vid=12345 pid=1", 1, "bad vid '12345' (hex, 0 to FFFF)"},
    {"device D vid=05AC", 1, "device needs vid=HEX and pid=HEX"},
    {"device D vid=05AC pid=1 sparkle", 1, "unknown option 'sparkle'"},
    {"device D vid=05AC pid=1 ports=2", 1, "only a hub has ports"},
    {"device D vid=05AC pid=1 string80=\"Vexa 3.0", 1, "unterminated quoted value"},
    {"device D vid=05AC pid=1 hwid=A||B", 1, "empty ID in 'A||B'"},
    {"device D vid=05AC pid=1 bos=0102", 1,
     "bos needs bcdusb=0201 or later: older devices are not asked for a BOS"},
    {"device D vid=05AC pid=1 nobos", 1,
     "nobos needs bcdusb=0201 or later: older devices are not asked for a BOS"},
    {"device D vid=05AC pid=1 bcdusb=0210 nobos bos=01", 1, "bos and nobos contradict each other"},
    {"device D vid=1 pid=2 latency=.ms", 1, "bad duration '.ms' (use 5s or 300ms)"},
    {"device D vid=1 pid=2 latency=10.5s", 1, "duration '10.5s' is longer than 10s"},
    {"device D vid=05AC pid=1\nplug D H1:1", 2, "'H1' is not a controller or hub"},
    {"controller C1 ports=2\nhub H1 vid=1 pid=1\ndevice D vid=1 pid=2\nplug D H1:1", 4,
     "'H1' is not plugged in"},
    {"controller C1 ports=2\ndevice D vid=1 pid=2\nplug D C1:3", 3, "'C1' has no port 3"},
    {"controller C1 ports=2\ndevice D vid=1 pid=2\nplug D C1.root:1", 3,
     "name the controller: C1:PORT"},
    {"controller C1 ports=2\ndevice D vid=1 pid=2\ndevice E vid=1 pid=3\nplug D C1:1\n"
     "plug E C1:1",
     5, "port C1:1 is taken"},
    {"controller C1\ndevice D vid=1 pid=2\nunplug D", 3, "'D' is not plugged in"},
    {"load\nload", 2, "the driver is already loaded"},
    {"unload", 1, "the driver is not loaded"},
    {"fail control-init\nload\nunload\nunload", 4, "the driver is not loaded"},
    {"wait 5", 1, "bad duration '5' (use 5s or 300ms)"},
    {"wait 5h", 1, "bad duration unit 'h' (use s or ms)"},
    {"wait .s", 1, "bad duration '.s' (use 5s or 300ms)"},
    {"wait ..ms", 1, "bad duration '..ms' (use 5s or 300ms)"},
    {"wait 1.2.3s", 1, "bad duration '1.2.3s' (use 5s or 300ms)"},
    {"wait 99999999999999s", 1, "duration '99999999999999s' is longer than 1000000s"},
    {"wait 1000000.0000001s", 1, "duration '1000000.0000001s' is longer than 1000000s"},
    {"wait 0.00000001s", 1, "duration '0.00000001s' is finer than 100 ns"},
    {"wait 600000s\nwait 400000s\nwait 1ms", 3,
     "the scenario's waits add up to more than 1000000s"},
    {"wait 5s &", 1, "wait cannot run beside other lines"},
    {"wait 5s & now", 1, "'&' must end the line"},
    {"&", 1, "'&' needs a command before it"},
    {"controller C1\nload &\nunload", 3,
     "line 2 may still be running; write sync before this line"},
    {"registry CHGCMDMODE REG_DWORD 0x100000000", 1,
     "bad REG_DWORD value '0x100000000' (0 to 4294967295)"},
    {"registry X REG_DWORD -1", 1, "bad REG_DWORD value '-1' (0 to 4294967295)"},
    {"registry X REG_QWORD -1", 1, "bad REG_QWORD value '-1' (0 to 18446744073709551615)"},
    {"registry X REG_QWORD 18446744073709551616", 1,
     "bad REG_QWORD value '18446744073709551616' (0 to 18446744073709551615)"},
    {"registry X REG_BINARY 0a0", 1, "hex data needs an even number of digits"},
    {"registry X REG_FOO 1", 1, "unknown registry type 'REG_FOO'"},
    {"fail meteor", 1, "unknown fault 'meteor'"},
    {"registry-key", 1, "usage: registry-key PATH"},
    {"registry-key HKLM\\", 1, "bad key path 'HKLM\\' (KEY\\SUBKEY..., no empty part)"},
    {"registry-key SYSTEM\\\\Enum", 1,
     "bad key path 'SYSTEM\\\\Enum' (KEY\\SUBKEY..., no empty part)"},
    {"registry-set SYSTEM\\X Value REG_DWORD", 1, "usage: registry-set PATH VALUE TYPE DATA..."},
    {"registry-set SYSTEM\\X Value REG_DWORD 1 2", 1, "REG_DWORD takes exactly one value"},
    {"fail reg-write \\Registry\\Machine\\", 1,
     "bad key path '\\Registry\\Machine\\' (KEY\\SUBKEY..., no empty part)"},
    {"fail setupapi SetupDiFrobnicate", 1, "no SetupAPI call is named 'SetupDiFrobnicate'"},
    {"device D vid=1 pid=2 instance=A\\B", 1, "an instance is one key name: not empty, no '\\'"},
    {"open", 1, "usage: open NAME"},
    {"open A x=1", 1, "usage: open NAME"},
    {"open A\nopen A", 2, "handle 'A' is already open"},
    {"close A", 1, "no open handle 'A'"},
    {"open A\nclose A\nioctl VEXA_IOCTL_NOOP handle=A", 3, "no open handle 'A'"},
    {"open A\nioctl VEXA_IOCTL_NOOP handle=B", 2, "no open handle 'B'"},
    {"fail irp-build always", 1, "fault irp-build takes no target; write count=always"},
    {"fail irp-build nonsense", 1, "fault irp-build takes no target"},
    {"fail usb-target", 1, "fault usb-target needs a target: a device name"},
    {"fail device-create", 1,
     "fault device-create needs a target: a device name or control (the control device)"},
    {"fail usb-target NOBODY", 1, "no controller, hub or device is named 'NOBODY'"},
    {"fail pool Tab", 1, "a pool tag has four characters, not 'Tab'"},
    {"fail pool count=0", 1, "count=0 would fail nothing"},
    {"fail file-open", 1, "fault file-open needs a target: a file's path"},
    {"fail cmd.exe c:\\a.out", 1, "fault cmd.exe takes no target"},
    {"kernel", 1, "usage: kernel [version=MAJOR.MINOR] [without=NAME|NAME...]"},
    {"resume", 1, "the system is awake: resume needs a suspend before it"},
    {"suspend\nresume\nresume", 3, "the system is awake: resume needs a suspend before it"},
    {"suspend\nwait 1s\nsuspend", 3, "the system is already asleep: write resume first"},
    {"setupapi wow64=maybe", 1, "usage: setupapi wow64=allow|refuse"},
    {"setupapi", 1, "usage: setupapi wow64=allow|refuse"},
    {"run", 1, "usage: run editor | run tabvoltctl [ARG...]"},
    {"run notepad", 1, "no program 'notepad' to run"},
    {"run editor now", 1, "usage: run editor | run tabvoltctl [ARG...]"},
    {"kernel without=NoSuchRoutine", 1,
     "the kernel exports no routine 'NoSuchRoutine' to leave out"},
    {"ioctl 0x1FFFFFFFF", 1, "bad I/O-control code '0x1FFFFFFFF' (0 to 4294967295)"},
    {"frob\x01nicate", 1, "control character '\\x01' in the line"},
    {"wait 1s\nfrob", 2, "unknown command 'frob'"},
    // Blocks: counted through their repetitions, checked as a later repetition finds the
    // machine.
    {"repeat 0\nend", 1, "bad repeat count '0' (1 to 10000000)"},
    {"repeat 10000001\nend", 1, "bad repeat count '10000001' (1 to 10000000)"},
    {"repeat\nend", 1, "usage: repeat COUNT, the lines to repeat, end"},
    {"repeat 2 &\nend", 1, "usage: repeat COUNT, the lines to repeat, end"},
    {"wait 1s\nrepeat 2\nwait 1s", 2, "repeat without end"},
    {"repeat 2\nend\nend", 3, "end without repeat"},
    {"repeat 2\nend x", 2, "usage: end"},
    {"repeat 2\ncontroller C1\nend", 2,
     "controller describes the machine at power-on: it cannot stand inside repeat"},
    {"repeat 4\nwait 250000s\nend\nwait 1ms", 4,
     "the scenario's waits add up to more than 1000000s"},
    {"repeat 10000000\nrepeat 10000000\nwait 1s\nend\nend", 2,
     "the scenario's waits add up to more than 1000000s"},
    {"controller C1\nrepeat 2\nload\nend", 3, "the driver is already loaded"},
    {"open A\nrepeat 2\nclose A\nend", 3, "no open handle 'A'"},
    {"controller C1\nrepeat 2\nsuspend\nend", 3,
     "the system is already asleep: write resume first"},
    {"controller C1\nrepeat 2\nload &\nsync\nunload &\nend", 3,
     "line 5 may still be running; write sync before this line"},
    {"app start\nrepeat 2\napp start\nend", 3,
     "app start cannot stand inside repeat: each copy has a line of its own"},
    {"repeat 1\nrepeat 1\nrepeat 1\nrepeat 1\nrepeat 1\nrepeat 1\nrepeat 1\nrepeat 1\n"
     "repeat 1\nrepeat 1\nrepeat 1\nrepeat 1\nrepeat 1\nrepeat 1\nrepeat 1\nrepeat 1\n"
     "repeat 1",
     17, "repeat blocks nest at most 16 deep"},
    // What needs a program is refused before one starts; an empty label is not `none`.
    {"click notify.1006", 1, "no program shows a window: write app start first"},
    {"key ENTER", 1, "no program shows a window: write app start first"},
    {"cursor 10 10", 1, "no program shows a window: write app start first"},
    {"rightclick tray", 1, "no program shows a tray icon: write app start first"},
    {"menu Exit", 1, "no program opens a menu: write app start first"},
    {"app start\nmenu \"\"", 2, "an empty label: write menu none to dismiss the menu"},
    {"app start\nmenu Ex=it", 2, "unknown option 'Ex'"},
    {"app start\nclick notify.1006 copy=2", 2, "copy=2 was not started"},
    {"app start\nkey ENTER copy=0", 2, "copy=0 was not started"},
    {"app start\nmenu Exit copy=2\napp start", 2, "copy=2 was not started"},
};

TEST(ScenarioParse, BadLinesAreReportedWithTheirNumber) {
    for (const BadLine& bad : kBadLines) {
        try {
            ampsim::ScenarioRunner runner(bad.scenario);
            ADD_FAILURE() << "accepted: " << bad.scenario;
        } catch (const ampsim::ScenarioError& error) {
            EXPECT_EQ(error.line, bad.line) << bad.scenario;
            EXPECT_EQ(std::string(error.what()), bad.message) << bad.scenario;
        }
    }
}

// A NUL byte is refused like any control character, and the message names it in full.
TEST(ScenarioParse, NulByteIsNamedInTheMessage) {
    try {
        ampsim::ScenarioRunner runner(std::string("wait 5\0s\n", 9));
        ADD_FAILURE() << "accepted a NUL byte";
    } catch (const ampsim::ScenarioError& error) {
        EXPECT_EQ(std::string(error.what()), "control character '\\x00' in the line");
    }
}

// A word too long to read is cut in the message.
TEST(ScenarioParse, LongWordsAreCutInMessages) {
    std::string digits(400, '9');
    try {
        ampsim::ScenarioRunner runner("wait " + digits + "s\n");
        ADD_FAILURE() << "accepted a 400-digit wait";
    } catch (const ampsim::ScenarioError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "duration '" + digits.substr(0, 60) + "...' is longer than 1000000s");
    }
}

const char* const kAccepted[] = {
    // Comments, quotes, replugs.
    "controller C1 ports=2\nhub H1 vid=2E7B pid=0610 ports=2\n# a comment line\n\n"
    "device D vid=05ac pid=12AB string80=\"Vexa 3.0 Hub\"  # trailing\n"
    "registry IPADSupportList REG_MULTI_SZ 05AC_12AB 05AC_12A0\n"
    "plug H1 C1:1\nplug D H1:2\nunplug H1\nplug H1 C1:2\nunplug D\n",
    // Hardware stands anywhere: it exists from power-on.
    "controller C1\nplug D C1:1\ndevice D vid=1 pid=2\n",
    // A load that a fault may have made fail can be tried again.
    "fail control-init\nload\nload\n",
    "kernel without=WmiTraceMessage\nload\nunload\nload\n",
    // A quoted '&' is a value, not the end of the line.
    "registry X REG_SZ \"&\"\n",
    "fail irp-build count=always\nfail pool\nfail pool Tabv skip=3\nfail device-create control\n",
    "controller C1\ndevice D vid=1 pid=2\nfail usb-target D\nfail hardware-id C1.root\n",
    "fail file-open C:\\A.OUT count=3\nfail heap-alloc skip=2\nfail cmd.exe count=always\n",
    "controller C1\nload &\ncharge &\ndevices\nsync\nunload\n",
    "kernel without=WmiTraceMessage|EtwUnregister\nkernel without=\nkernel version=6.1\n",
    "wait 1000000s\n",
    "wait 0s\nwait .5s\nwait 5.s\nwait 0.0000001s\nwait 1.5ms\n",
    "registry X REG_QWORD 18446744073709551615\nregistry Y REG_DWORD 0xFFFFFFFF\n",
    "device D vid=1 pid=2 bcdusb=0201 bos=0F\n",
    // A kept handle serves requests until it is closed, and its name can be opened again.
    "open A\nioctl VEXA_IOCTL_NOOP out=4 handle=A\nclose A\nopen A\n",
    // A block that leaves the machine as it found it repeats; waits count each repetition.
    "controller C1\nrepeat 10000000\nload\nunload\nopen A\nclose A\nend\n",
    "repeat 2\nrepeat 3\nwait 1s\nend\nend\nwait 999994s\n",
    "controller C1\nrepeat 3\nload &\nsync\nunload &\nsync\nend\n",
    // A quoted '=' is part of the label.
    "app start\nmenu \"Ex=it\"\nmenu none\n",
    // Each copy is named by its number.
    "app start\napp start\nmenu Exit copy=2\nkey ENTER copy=1\nclick notify.IDOK copy=2\n",
};

struct RepeatCase {
    const char* scenario;
    uint64_t lines;
};

// A block is kept once however often it runs, and counted through its repetitions.
const RepeatCase kRepeats[] = {
    {"wait 1s\nrepeat 3\nsync\nrepeat 2\nsync\nsync\nend\nend\n", 1 + 3 * (1 + 2 * 2)},
    {"repeat 10000000\nrepeat 10000000\nrepeat 10000000\nrepeat 10000000\nrepeat 10000000\n"
     "sync\nend\nend\nend\nend\nend\n",
     UINT64_MAX},
};

TEST(ScenarioParse, RepeatedLinesAreCountedNotCopied) {
    for (const RepeatCase& c : kRepeats) {
        EXPECT_EQ(ampsim::ScenarioRunner(c.scenario).LinesPerRun(), c.lines) << c.scenario;
    }
}

TEST(ScenarioParse, GoodScenariosAreAccepted) {
    for (const char* scenario : kAccepted) {
        try {
            ampsim::ScenarioRunner runner(scenario);
        } catch (const ampsim::ScenarioError& error) {
            ADD_FAILURE() << scenario << "\nrefused at line " << error.line << ": " << error.what();
        }
    }
}

struct DurationCase {
    const char* text;
    sim::Ticks ticks;
};

const DurationCase kDurations[] = {
    {"5s", 5 * sim::kTicksPerSecond},
    {"300ms", 300 * sim::kTicksPerMs},
    {"1.5s", 15 * sim::kTicksPerSecond / 10},
    {".5s", sim::kTicksPerSecond / 2},
    {"0.0000001s", 1},
    {"0.0001ms", 1},
    {"2.25ms", 22'500},
    {"1000000s", 1'000'000 * sim::kTicksPerSecond},
    {"1000000000ms", 1'000'000 * sim::kTicksPerSecond},
    {"0.50000000000000000000s", sim::kTicksPerSecond / 2},
};

TEST(ScenarioParse, DurationsAreExactTicks) {
    ampsim::Command command;
    for (const DurationCase& c : kDurations) {
        EXPECT_EQ(ampsim::ParseDuration(command, c.text, ampsim::kMaxWait), c.ticks) << c.text;
    }
}

}  // namespace
