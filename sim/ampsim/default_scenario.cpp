#include "ampsim/runner.h"

namespace ampsim {

// Shown by `ampsim --print-scenario`; its comments are there for the person reading it.
const char* const kDefaultScenario =
    R"(# ampsim's built-in scenario: a Vexa hub with two tablets, and a memory stick beside it.
#
# The hardware exists from power-on, wherever its lines stand:
#   C1   a USB host controller on the PCI bus; its root hub is C1.root
#   H1   a Vexa hub (vendor 2E7B): its ports can be switched to charging mode
#   TAB  a Samsung Galaxy Tab (vendor 04E8): charged by switching its hub port
#   PAD  an Apple iPad (vendor 05AC): charged by asking it for more current
#   KEY  a USB memory stick (mass-storage class): the driver leaves it alone
controller C1 ports=4
hub H1 vid=2E7B pid=0610 bcdusb=0210 bcddevice=7763 ports=4 serial=VX0001 string80="Vexa 3.0 Hub"
device TAB vid=04E8 pid=6860 serial=R52N40ABCDE
device PAD vid=05AC pid=12AB bcddevice=0510 serial=DMPX1234ABCD
device KEY vid=0781 pid=5567 compatid=USB\Class_08&SubClass_06&Prot_50

# The driver's parameters, then the driver; H1 on the first root port, the tablets below it.
registry IPADSupportList REG_MULTI_SZ 05AC_12A8 05AC_1297
load
plug H1 C1:1
plug TAB H1:1
plug PAD H1:2
plug KEY C1:2

# Ampwise, the tray application, beside them: it polls the driver every five seconds. As it
# starts it turns off the Vexa hub's selective suspend and restarts H1 for that (the lines
# "H1 disabled", "H1 enabled"): the driver attaches to H1, TAB and PAD anew, and they come
# back as handles 4, 5 and 6. The Galaxy Tab on port 1 of the Vexa hub brings up its notify
# dialog in the corner of the screen, with a hint beside the button; the cursor resting on
# the button keeps the hint up for the picture of the screen.
app start
wait 1s
cursor 1184 708
snapshot ampwise-notify.png

# The application's requests as it makes them: the list, the iPad's charge request (every
# five seconds), and the port command that switches the Galaxy Tab's port to charging, as
# "Switch to Charging" does; the list after it shows H1's port 1 charging.
devices
charge
# To H1, handle 4 (the second four bytes), for port 1 (wIndex=1), under the Galaxy Tab:
# charging mode (wValue=2)
ioctl VEXA_IOCTL_HUB_PORT_COMMAND in=0000000004000000437402000100000000 out=17
wait 5s
charge
devices

# A night's sleep, the Galaxy Tab taken away, the device count; then the user chooses Exit
# in Ampwise's tray menu, and everything is unplugged: the driver goes with the last device
# it filters.
suspend
wait 1s
resume
charge
unplug TAB
wait 5s
ioctl VEXA_IOCTL_GET_DEVICE_NUM out=23
rightclick tray
menu Exit
wait 6s
unplug KEY
unplug H1
)";

}  // namespace ampsim
