// Port I/O of the HAL, with the PC/AT speaker behind ports 0x61, 0x42 and 0x43. The tone is
// audible while both low bits of port 0x61 are set and counter 2 holds a divisor; each
// change of what is heard is logged ("speaker on divisor=N", "speaker off").
#include <ntddk.h>

#include "pc/machine.h"

using sim::Machine;

namespace {

constexpr uintptr_t kControlPortB = 0x61;
constexpr uintptr_t kCounter2 = 0x42;
constexpr uintptr_t kTimerControl = 0x43;
constexpr uint8_t kCounter2LowThenHighSquareWave = 0xB6;

void UpdateSound(Machine& machine) {
    sim::Speaker& speaker = machine.kernel.speaker;
    bool sounding = (speaker.port61 & 0x03) == 0x03 && speaker.divisor >= 0;
    if (sounding && (!speaker.sounding || speaker.sounding_divisor != speaker.divisor)) {
        machine.Log("speaker", "on divisor=" + std::to_string(speaker.divisor));
    } else if (!sounding && speaker.sounding) {
        machine.Log("speaker", "off");
    }
    speaker.sounding = sounding;
    speaker.sounding_divisor = sounding ? speaker.divisor : -1;
}

}  // namespace

extern "C" {

UCHAR READ_PORT_UCHAR(PUCHAR Port) {
    if (reinterpret_cast<uintptr_t>(Port) == kControlPortB) {
        return Machine::Current().kernel.speaker.port61;
    }
    return 0xFF;
}

VOID WRITE_PORT_UCHAR(PUCHAR Port, UCHAR Value) {
    Machine& machine = Machine::Current();
    sim::Speaker& speaker = machine.kernel.speaker;
    switch (reinterpret_cast<uintptr_t>(Port)) {
        case kControlPortB:
            speaker.port61 = Value;
            break;
        case kTimerControl:
            speaker.expecting_high = false;
            if (Value != kCounter2LowThenHighSquareWave) {
                return;
            }
            break;
        case kCounter2:
            if (!speaker.expecting_high) {
                speaker.low = Value;
                speaker.expecting_high = true;
                return;
            }
            speaker.expecting_high = false;
            speaker.divisor = speaker.low | Value << 8;
            break;
        default:
            return;
    }
    UpdateSound(machine);
}

}  // extern "C"
