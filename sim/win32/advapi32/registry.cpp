// ADVAPI32's registry calls, over the machine registry the kernel side uses. A key handle is
// an object handle of the program's handle table that names the key and the rights it was
// opened with. Each call returns its Win32 error and leaves the thread's last error as it
// was. Keys are found by name only: security descriptors, other root keys than
// HKEY_LOCAL_MACHINE, volatile keys, links and WOW64's registry redirection are not modelled;
// the "reg-open" and "reg-write" faults stand for a key whose security refuses the access.
#include <windows.h>

#include <memory>
#include <string>

#include "win32/kernel32/kernel_objects.h"
#include "win32/kernel32/machine_link.h"

namespace {

const char kMachineRoot[] = "\\Registry\\Machine";

class RegistryKey : public sim::win32::KernelObject {
  public:
    RegistryKey(std::string name, REGSAM access) : name_(std::move(name)), access_(access) {}
    std::string Describe() const override { return "registry key " + name_; }
    const std::string& name() const { return name_; }
    bool Grants(REGSAM right) const { return (access_ & right) == right; }

  private:
    std::string name_;
    REGSAM access_;
};

std::shared_ptr<RegistryKey> KeyOf(HKEY key) {
    return std::dynamic_pointer_cast<RegistryKey>(
        sim::win32::ObjectFromHandle(reinterpret_cast<uintptr_t>(key)));
}

// The full name of the key a handle stands for; false for a handle that is no key.
bool KeyName(HKEY key, std::string* name) {
    if (key == HKEY_LOCAL_MACHINE) {
        *name = kMachineRoot;
        return true;
    }
    std::shared_ptr<RegistryKey> open = KeyOf(key);
    if (open == nullptr) {
        return false;
    }
    *name = open->name();
    return true;
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The ANSI calls see string data in the ANSI code page; characters outside it become '?'.
std::vector<uint8_t> AnsiFromUtf16(const std::vector<uint8_t>& utf16) {
    std::vector<uint8_t> ansi;
    for (size_t i = 0; i + 1 < utf16.size(); i += 2) {
        ansi.push_back(utf16[i + 1] == 0 ? utf16[i] : '?');
    }
    return ansi;
}

std::vector<uint8_t> Utf16FromAnsi(const BYTE* data, DWORD size) {
    std::vector<uint8_t> utf16;
    for (DWORD i = 0; i < size; i++) {
        utf16.push_back(data[i]);
        utf16.push_back(0);
    }
    return utf16;
}

}  // namespace

// Opens a key below HKEY_LOCAL_MACHINE or below an open key; an empty or NULL subkey opens
// the same key again. ERROR_FILE_NOT_FOUND for a key that does not exist, ERROR_ACCESS_DENIED
// where the "reg-open" fault strikes the key.
LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
    sim::win32::PreemptionPoint();
    if (phkResult == NULL) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string name;
    if (!KeyName(hKey, &name)) {
        return ERROR_INVALID_HANDLE;
    }
    if (lpSubKey != NULL && lpSubKey[0] != '\0') {
        name += std::string("\\") + lpSubKey;
    }
    if (!sim::win32::RegistryKeyExists(name)) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (sim::win32::RegistryFaultHits("reg-open", name)) {
        return ERROR_ACCESS_DENIED;
    }
    *phkResult = reinterpret_cast<HKEY>(
        sim::win32::InsertObjectHandle(std::make_shared<RegistryKey>(name, samDesired)));
    return ERROR_SUCCESS;
}

// Reads a value's type and data. Without lpData only the size is reported; a buffer too
// small gives ERROR_MORE_DATA with the size needed. String data comes as ANSI text.
LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
    sim::win32::PreemptionPoint();
    std::shared_ptr<RegistryKey> key = KeyOf(hKey);
    if (hKey == HKEY_LOCAL_MACHINE) {
        return ERROR_FILE_NOT_FOUND;  // the root itself holds no values
    }
    if (key == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    if (lpReserved != NULL || (lpData != NULL && lpcbData == NULL)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!key->Grants(KEY_QUERY_VALUE)) {
        return ERROR_ACCESS_DENIED;
    }
    sim::win32::RegistryData value;
    if (!sim::win32::ReadRegistryValue(key->name(), lpValueName != NULL ? lpValueName : "",
                                       &value)) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::vector<uint8_t> data = IsStringType(value.type) ? AnsiFromUtf16(value.bytes) : value.bytes;
    if (lpType != NULL) {
        *lpType = value.type;
    }
    if (lpcbData == NULL) {
        return ERROR_SUCCESS;
    }
    DWORD room = *lpcbData;
    *lpcbData = static_cast<DWORD>(data.size());
    if (lpData == NULL) {
        return ERROR_SUCCESS;
    }
    if (room < data.size()) {
        return ERROR_MORE_DATA;
    }
    if (!data.empty()) {
        memcpy(lpData, data.data(), data.size());
    }
    return ERROR_SUCCESS;
}

// Creates or replaces a value; the key needs KEY_SET_VALUE. String data is given as ANSI
// text and kept as UTF-16. ERROR_ACCESS_DENIED where the "reg-write" fault strikes the key.
LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
    sim::win32::PreemptionPoint();
    std::shared_ptr<RegistryKey> key = KeyOf(hKey);
    if (hKey == HKEY_LOCAL_MACHINE) {
        return ERROR_ACCESS_DENIED;
    }
    if (key == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    if (lpData == NULL && cbData != 0) {
        return ERROR_NOACCESS;
    }
    if (!key->Grants(KEY_SET_VALUE) || sim::win32::RegistryFaultHits("reg-write", key->name())) {
        return ERROR_ACCESS_DENIED;
    }
    sim::win32::RegistryData value;
    value.type = dwType;
    if (IsStringType(dwType)) {
        value.bytes = Utf16FromAnsi(lpData, cbData);
    } else if (cbData != 0) {
        value.bytes.assign(lpData, lpData + cbData);
    }
    sim::win32::WriteRegistryValue(key->name(), lpValueName != NULL ? lpValueName : "",
                                   std::move(value));
    return ERROR_SUCCESS;
}

// Closes a key handle; closing HKEY_LOCAL_MACHINE does nothing and succeeds.
LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_LOCAL_MACHINE) {
        return ERROR_SUCCESS;
    }
    if (KeyOf(hKey) == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    sim::win32::CloseObjectHandle(reinterpret_cast<uintptr_t>(hKey));
    return ERROR_SUCCESS;
}
