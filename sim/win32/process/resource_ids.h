// How the resource calls read a type or name argument: an ordinal (MAKEINTRESOURCE or
// "#123"), else a name compared in upper case.
#pragma once

#include <windows.h>

#include "win32/process/process.h"

namespace sim::win32 {

ResourceId ResourceIdFromArgument(LPCSTR argument);
// "128" or "MAINICON": how logs and the test surface name a resource.
std::string ResourceIdText(const ResourceId& id);
// The process whose module has this instance (NULL: the calling process); null if none.
Process* ProcessOfModule(HMODULE module);

}  // namespace sim::win32
