#include "ampsim/runner.h"

namespace ampsim {

// A Vexa hub on the first root port with a Galaxy Tab on port 1 and an iPad on port 2; the
// application's requests as it makes them: the list, the iPad's charge request every five
// seconds, and the port command that switches the Galaxy Tab's port to charging.
const char* const kDefaultScenario = R"(# ampsim's built-in scenario
controller C1 ports=4
hub H1 vid=2E7B pid=0610 bcdusb=0210 bcddevice=7763 ports=4 serial=VX0001 string80="Vexa 3.0 Hub"
device TAB vid=04E8 pid=6860 serial=R52N40ABCDE
device PAD vid=05AC pid=12AB bcddevice=0510 serial=DMPX1234ABCD
device KEY vid=0781 pid=5567 compatid=USB\Class_08&SubClass_06&Prot_50
registry IPADSupportList REG_MULTI_SZ 05AC_12A8 05AC_1297
load
plug H1 C1:1
plug TAB H1:1
plug PAD H1:2
plug KEY C1:2
devices
charge
# the hub's port 1, under the Galaxy Tab, to charging mode
ioctl VEXA_IOCTL_HUB_PORT_COMMAND in=0000000001000000437402000100000000 out=17
wait 5s
charge
devices
suspend
wait 1s
resume
charge
unplug TAB
wait 5s
unplug H1
unplug KEY
ioctl VEXA_IOCTL_GET_DEVICE_NUM out=23
unload
)";

}  // namespace ampsim
