// The speaker tone: port values as the PC/AT hardware sees them.
#include <gtest/gtest.h>

#include "filter.h"
#include "pc/machine.h"
#include "support/sim_test.h"

namespace {

using support::SameSequence;

TEST(Speaker, ToneOnProgramsCounter2AndOffKeepsOtherBits) {
    sim::Machine machine;
    machine.kernel.speaker.port61 = 0xB0;
    SpeakerToneOn(1193);  // about 1000 Hz
    EXPECT_EQ(machine.kernel.speaker.port61, 0xB3);
    EXPECT_EQ(machine.kernel.speaker.divisor, 1193);
    SpeakerToneOn(0x00010000);  // the high 16 bits are dropped: divisor 0
    EXPECT_EQ(machine.kernel.speaker.divisor, 0);
    SpeakerToneOff();
    EXPECT_EQ(machine.kernel.speaker.port61, 0xB0);
    EXPECT_TRUE(
        SameSequence(machine.log.Texts("speaker"), {"on divisor=1193", "on divisor=0", "off"}));
}

TEST(Speaker, OffWithoutOnClearsOnlyTheTwoLowBits) {
    sim::Machine machine;
    machine.kernel.speaker.port61 = 0xFF;
    SpeakerToneOff();
    EXPECT_EQ(machine.kernel.speaker.port61, 0xFC);
    EXPECT_TRUE(machine.log.Texts("speaker").empty()) << "never programmed, never sounding";
}

}  // namespace
