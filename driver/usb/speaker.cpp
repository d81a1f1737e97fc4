// tabvolt: a continuous tone on the PC/AT speaker, through port 0x61 and counter 2 of the
// interval timer.
#include "filter.h"

#define SPEAKER_CONTROL_PORT ((PUCHAR)0x61)
#define TIMER_COUNTER2_PORT ((PUCHAR)0x42)
#define TIMER_CONTROL_PORT ((PUCHAR)0x43)
#define SPEAKER_ENABLE_BITS 0x03
// Counter 2, low byte then high byte, square wave, binary counting.
#define TIMER_COUNTER2_SQUARE_WAVE 0xB6

// The divisor's low 16 bits set the tone: 1,193,182 Hz / divisor (0 counts as 65,536).
VOID SpeakerToneOn(ULONG Divisor) {
    UCHAR control = READ_PORT_UCHAR(SPEAKER_CONTROL_PORT);

    TraceWrite(TraceGroupSpeaker, TraceSpeakerPortRead, "x", (ULONG)control);
    WRITE_PORT_UCHAR(SPEAKER_CONTROL_PORT, (UCHAR)(control | SPEAKER_ENABLE_BITS));
    WRITE_PORT_UCHAR(TIMER_CONTROL_PORT, TIMER_COUNTER2_SQUARE_WAVE);
    WRITE_PORT_UCHAR(TIMER_COUNTER2_PORT, (UCHAR)Divisor);
    WRITE_PORT_UCHAR(TIMER_COUNTER2_PORT, (UCHAR)(Divisor >> 8));
}

// Clears only the gate and data bits; the other bits of port 0x61 belong to others.
VOID SpeakerToneOff(VOID) {
    UCHAR control = READ_PORT_UCHAR(SPEAKER_CONTROL_PORT);

    TraceWrite(TraceGroupSpeaker, TraceSpeakerPortRead, "x", (ULONG)control);
    WRITE_PORT_UCHAR(SPEAKER_CONTROL_PORT, (UCHAR)(control & ~SPEAKER_ENABLE_BITS));
}
