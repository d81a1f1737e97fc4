// ampsim's scenario checks: every bad line is reported with its number before anything runs.
#include <gtest/gtest.h>

#include "ampsim/runner.h"

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
    {"device D vid=12345 pid=1", 1, "bad vid '12345'"},
    {"device D vid=05AC", 1, "device needs vid=HEX and pid=HEX"},
    {"device D vid=05AC pid=1 sparkle", 1, "unknown option 'sparkle'"},
    {"device D vid=05AC pid=1 ports=2", 1, "only a hub has ports"},
    {"device D vid=05AC pid=1 string80=\"Vexa 3.0", 1, "unterminated quoted value"},
    {"device D vid=05AC pid=1\nplug D H1:1", 2, "'H1' is not a controller or hub"},
    {"controller C1 ports=2\nhub H1 vid=1 pid=1\ndevice D vid=1 pid=2\nplug D H1:1", 4,
     "'H1' is not plugged in"},
    {"controller C1 ports=2\ndevice D vid=1 pid=2\nplug D C1:3", 3, "'C1' has no port 3"},
    {"controller C1 ports=2\ndevice D vid=1 pid=2\ndevice E vid=1 pid=3\nplug D C1:1\n"
     "plug E C1:1",
     5, "port C1:1 is taken"},
    {"controller C1\ndevice D vid=1 pid=2\nunplug D", 3, "'D' is not plugged in"},
    {"load\nload", 2, "the driver is already loaded"},
    {"unload", 1, "the driver is not loaded"},
    {"wait 5", 1, "bad duration '5' (use 5s or 300ms)"},
    {"wait 5h", 1, "bad duration unit 'h' (use s or ms)"},
    {"registry CHGCMDMODE REG_DWORD 0x100000000", 1, "REG_DWORD value out of range"},
    {"registry X REG_BINARY 0a0", 1, "hex data needs an even number of digits"},
    {"registry X REG_FOO 1", 1, "unknown registry type 'REG_FOO'"},
    {"fail meteor", 1, "unknown fault 'meteor'"},
    {"open", 1, "usage: open NAME"},
    {"open A x=1", 1, "usage: open NAME"},
    {"open A\nopen A", 2, "handle 'A' is already open"},
    {"close A", 1, "no open handle 'A'"},
    {"open A\nclose A\nioctl VEXA_IOCTL_NOOP handle=A", 3, "no open handle 'A'"},
    {"open A\nioctl VEXA_IOCTL_NOOP handle=B", 2, "no open handle 'B'"},
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

TEST(ScenarioParse, CommentsQuotesAndReplugsAreAccepted) {
    std::string scenario = std::string(kTree) +
                           "# a comment line\n"
                           "\n"
                           "device D vid=05ac pid=12AB string80=\"Vexa 3.0 Hub\"  # trailing\n"
                           "registry IPADSupportList REG_MULTI_SZ 05AC_12AB 05AC_12A0\n"
                           "plug H1 C1:1\nplug D H1:2\nunplug H1\nplug H1 C1:2\nunplug D\n"
                           "wait 1.5s\nwait 300ms\n"
                           "open A\nioctl VEXA_IOCTL_NOOP out=4 handle=A\nclose A\nopen A\n";
    EXPECT_NO_THROW(ampsim::ScenarioRunner runner(scenario));
}

}  // namespace
