// SETUPAPI's device information sets over the PnP manager. A set is a snapshot of the
// enumerated devices taken when it is made, held by an object handle of the program's handle
// table. Every simulated device is of the USB setup class; DIGCF_ALLCLASSES gives every
// device whatever the class asked. Not modelled on purpose: devices no longer present
// (phantoms), enumerator filters, device interfaces, class installers and co-installers,
// properties other than the hardware IDs, and state changes other than enable and disable.
// Every failing call sets the thread's last error; the "setupapi" fault (target: the call's
// name) makes a call fail as for exhausted memory. Every program is 32-bit and Windows 64-bit,
// so each call runs under WOW64.
#include <setupapi.h>

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "pc/machine.h"
#include "win32/kernel32/kernel_objects.h"
#include "win32/kernel32/machine_link.h"
#include "win32/setupapi/setupapi_control.h"

namespace {

// GUID_DEVCLASS_USB, the setup class of host controllers, hubs and USB devices.
const GUID kUsbClass = {
    0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// The size of SP_DEVINFO_DATA in a 32-bit program, the only one this program may pass.
const DWORD kDevInfoDataSize32 = 28;

struct DeviceElement {
    sim::win32::PnpDevice device;
    SP_PROPCHANGE_PARAMS params = {};
    bool has_params = false;
};

class DeviceInfoSet : public sim::win32::KernelObject {
  public:
    std::string Describe() const override { return "device information set"; }
    std::vector<DeviceElement> elements;
};

// The machine's answer where the documentation is silent.
struct Wow64 {
    bool change_state_refused = false;
};

Wow64& MachineWow64() {
    return sim::Machine::Current().Extension<Wow64>();
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

std::shared_ptr<DeviceInfoSet> SetOf(HDEVINFO set) {
    return std::dynamic_pointer_cast<DeviceInfoSet>(
        sim::win32::ObjectFromHandle(reinterpret_cast<uintptr_t>(set)));
}

// The element a SP_DEVINFO_DATA that SetupDiEnumDeviceInfo filled names (by Reserved), or
// nullptr with the last error set.
DeviceElement* ElementOf(HDEVINFO set, PSP_DEVINFO_DATA data) {
    std::shared_ptr<DeviceInfoSet> open = SetOf(set);
    if (open == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (data == NULL || data->cbSize != kDevInfoDataSize32) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return nullptr;
    }
    if (data->Reserved == 0 || data->Reserved > open->elements.size()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return &open->elements[data->Reserved - 1];
}

bool SameTextNoCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; a++, b++) {
        if (std::toupper(static_cast<unsigned char>(*a)) !=
            std::toupper(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == *b;
}

}  // namespace

// The GUIDs of the setup classes of that name (case-insensitive): one for "USB", none for a
// name no class has. A list too short fails with ERROR_INSUFFICIENT_BUFFER; RequiredSize
// gets the count either way.
BOOL WINAPI SetupDiClassGuidsFromNameA(LPCSTR ClassName, LPGUID ClassGuidList,
                                       DWORD ClassGuidListSize, PDWORD RequiredSize) {
    if (sim::win32::FaultHits("setupapi", "SetupDiClassGuidsFromNameA")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (ClassName == NULL) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    DWORD count = SameTextNoCase(ClassName, "USB") ? 1 : 0;
    if (RequiredSize != NULL) {
        *RequiredSize = count;
    }
    if (ClassGuidListSize < count) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    if (count == 1) {
        ClassGuidList[0] = kUsbClass;
    }
    return TRUE;
}

// A set of the devices enumerated now, of the class asked or, with DIGCF_ALLCLASSES, of
// every class. INVALID_HANDLE_VALUE on failure.
HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, LPCSTR Enumerator, HWND, DWORD Flags) {
    if (sim::win32::FaultHits("setupapi", "SetupDiGetClassDevsA")) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    bool all_classes = (Flags & DIGCF_ALLCLASSES) != 0;
    if ((Flags & DIGCF_DEVICEINTERFACE) != 0 || Enumerator != NULL ||
        (!all_classes && ClassGuid == NULL)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_shared<DeviceInfoSet>();
    if (all_classes || memcmp(ClassGuid, &kUsbClass, sizeof(GUID)) == 0) {
        for (sim::win32::PnpDevice& device : sim::win32::EnumeratedDevices()) {
            set->elements.push_back(DeviceElement{std::move(device)});
        }
    }
    return reinterpret_cast<HDEVINFO>(sim::win32::InsertObjectHandle(set));
}

// Fills DeviceInfoData (cbSize 28, as a 32-bit program passes it) for the set's element at
// MemberIndex; past the last one fails with ERROR_NO_MORE_ITEMS.
BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                                  PSP_DEVINFO_DATA DeviceInfoData) {
    std::shared_ptr<::DeviceInfoSet> set = SetOf(DeviceInfoSet);
    if (set == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (DeviceInfoData == NULL || DeviceInfoData->cbSize != kDevInfoDataSize32) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    if (sim::win32::FaultHits("setupapi", "SetupDiEnumDeviceInfo")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (MemberIndex >= set->elements.size()) {
        return Fail(ERROR_NO_MORE_ITEMS);
    }
    DeviceInfoData->ClassGuid = kUsbClass;
    DeviceInfoData->DevInst = MemberIndex + 1;
    DeviceInfoData->Reserved = MemberIndex + 1;
    return TRUE;
}

// SPDRP_HARDWAREID as a REG_MULTI_SZ of ANSI strings. A buffer too short fails with
// ERROR_INSUFFICIENT_BUFFER and RequiredSize; a device without the property, or any other
// property, fails with ERROR_INVALID_DATA.
BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO DeviceInfoSet,
                                              PSP_DEVINFO_DATA DeviceInfoData, DWORD Property,
                                              PDWORD PropertyRegDataType, PBYTE PropertyBuffer,
                                              DWORD PropertyBufferSize, PDWORD RequiredSize) {
    DeviceElement* element = ElementOf(DeviceInfoSet, DeviceInfoData);
    if (element == nullptr) {
        return FALSE;
    }
    if (sim::win32::FaultHits("setupapi", "SetupDiGetDeviceRegistryPropertyA")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (Property != SPDRP_HARDWAREID || element->device.hardware_ids.empty()) {
        return Fail(ERROR_INVALID_DATA);
    }
    std::string multi;
    for (const std::string& id : element->device.hardware_ids) {
        multi += id;
        multi.push_back('\0');
    }
    multi.push_back('\0');
    if (RequiredSize != NULL) {
        *RequiredSize = static_cast<DWORD>(multi.size());
    }
    if (PropertyRegDataType != NULL) {
        *PropertyRegDataType = REG_MULTI_SZ;
    }
    if (PropertyBuffer == NULL || PropertyBufferSize < multi.size()) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    memcpy(PropertyBuffer, multi.data(), multi.size());
    return TRUE;
}

// Keeps a copy of DIF_PROPERTYCHANGE parameters for the device (the header's cbSize 8, the
// whole 20 bytes); NULL parameters clear them. Other install functions fail with
// ERROR_INVALID_PARAMETER, and so does a set-wide call without a device.
BOOL WINAPI SetupDiSetClassInstallParamsA(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                          PSP_CLASSINSTALL_HEADER ClassInstallParams,
                                          DWORD ClassInstallParamsSize) {
    DeviceElement* element = ElementOf(DeviceInfoSet, DeviceInfoData);
    if (element == nullptr) {
        return FALSE;
    }
    if (sim::win32::FaultHits("setupapi", "SetupDiSetClassInstallParamsA")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (ClassInstallParams == NULL) {
        if (ClassInstallParamsSize != 0) {
            return Fail(ERROR_INVALID_PARAMETER);
        }
        element->has_params = false;
        return TRUE;
    }
    if (ClassInstallParams->cbSize != sizeof(SP_CLASSINSTALL_HEADER)) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    if (ClassInstallParams->InstallFunction != DIF_PROPERTYCHANGE ||
        ClassInstallParamsSize != sizeof(SP_PROPCHANGE_PARAMS)) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    memcpy(&element->params, ClassInstallParams, sizeof(SP_PROPCHANGE_PARAMS));
    element->has_params = true;
    return TRUE;
}

// Carries out the device's DIF_PROPERTYCHANGE parameters: DICS_DISABLE stops and removes its
// stack (and those below it) and keeps it disabled; DICS_ENABLE builds and starts them again.
// Returns once the PnP manager is done. A device that is gone fails with
// ERROR_NO_SUCH_DEVINST; one without parameters with ERROR_NO_CLASSINSTALL_PARAMS. Its page
// says nothing of WOW64: it works unless the machine is set to refuse it (ERROR_IN_WOW64).
BOOL WINAPI SetupDiChangeState(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData) {
    DeviceElement* element = ElementOf(DeviceInfoSet, DeviceInfoData);
    if (element == nullptr) {
        return FALSE;
    }
    if (!element->has_params) {
        return Fail(ERROR_NO_CLASSINSTALL_PARAMS);
    }
    const SP_PROPCHANGE_PARAMS& params = element->params;
    bool known_scope = params.Scope == DICS_FLAG_GLOBAL || params.Scope == DICS_FLAG_CONFIGSPECIFIC;
    bool known_change = params.StateChange == DICS_ENABLE || params.StateChange == DICS_DISABLE;
    if (!known_scope || !known_change) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (sim::win32::FaultHits("setupapi", "SetupDiChangeState")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (MachineWow64().change_state_refused) {
        return Fail(ERROR_IN_WOW64);
    }
    if (!sim::win32::SetDeviceEnabled(element->device.name, params.StateChange == DICS_ENABLE)) {
        return Fail(ERROR_NO_SUCH_DEVINST);
    }
    return TRUE;
}

// Documented to fail with ERROR_IN_WOW64 in a 32-bit program on 64-bit Windows, which every
// program here is; nothing else is checked first.
BOOL WINAPI SetupDiCallClassInstaller(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA) {
    return Fail(ERROR_IN_WOW64);
}

// Frees the set.
BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    if (SetOf(DeviceInfoSet) == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    sim::win32::CloseObjectHandle(reinterpret_cast<uintptr_t>(DeviceInfoSet));
    return TRUE;
}

namespace sim::win32 {

void SetChangeStateInWow64(bool refused) {
    MachineWow64().change_state_refused = refused;
}

}  // namespace sim::win32
