// Test surface of SETUPAPI: the machine's answer where the documentation leaves WOW64 open.
#pragma once

namespace sim::win32 {

// Whether SetupDiChangeState, called from a 32-bit program on this 64-bit Windows, fails
// with ERROR_IN_WOW64 (false, carrying out the change, until set).
void SetChangeStateInWow64(bool refused);

}  // namespace sim::win32
