// A helper of the simulated PC's own drivers (framework, PnP manager): send an IRP whose
// next stack location is set up and wait until the lower drivers have completed it. The
// IRP is then back in the caller's hands, with its final status in IoStatus.
#pragma once

#include <ntddk.h>

namespace sim {

NTSTATUS CallDriverAndWait(PDEVICE_OBJECT device, PIRP irp);

}  // namespace sim
