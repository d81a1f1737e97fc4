// RtlNtStatusToDosError, as KERNEL32 applies it to a failed call's status: the statuses the
// simulated PC's drivers and I/O manager complete requests with, mapped as Windows maps
// them. Anything else becomes ERROR_MR_MID_NOT_FOUND, as Windows reports a status it has no
// entry for. Windows' Win32-facility statuses (0xC007xxxx) are not modelled.
#include <wdm.h>
#include <winerror.h>

#include "win32/kernel32/machine_link.h"

namespace sim::win32 {

namespace {

struct StatusError {
    NTSTATUS status;
    uint32_t error;
};

const StatusError kStatusErrors[] = {
    {STATUS_SUCCESS, ERROR_SUCCESS},
    {STATUS_TIMEOUT, ERROR_SEM_TIMEOUT},
    {STATUS_PENDING, ERROR_IO_PENDING},
    {STATUS_BUFFER_OVERFLOW, ERROR_MORE_DATA},
    {STATUS_UNSUCCESSFUL, ERROR_GEN_FAILURE},
    {STATUS_NOT_IMPLEMENTED, ERROR_INVALID_FUNCTION},
    {STATUS_INVALID_HANDLE, ERROR_INVALID_HANDLE},
    {STATUS_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
    {STATUS_NO_SUCH_DEVICE, ERROR_FILE_NOT_FOUND},
    {STATUS_INVALID_DEVICE_REQUEST, ERROR_INVALID_FUNCTION},
    {STATUS_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    {STATUS_BUFFER_TOO_SMALL, ERROR_INSUFFICIENT_BUFFER},
    {STATUS_OBJECT_NAME_NOT_FOUND, ERROR_FILE_NOT_FOUND},
    {STATUS_DELETE_PENDING, ERROR_ACCESS_DENIED},
    {STATUS_INSUFFICIENT_RESOURCES, ERROR_NO_SYSTEM_RESOURCES},
    {STATUS_DEVICE_NOT_CONNECTED, ERROR_NOT_READY},
    {STATUS_IO_TIMEOUT, ERROR_SEM_TIMEOUT},
    {STATUS_NOT_SUPPORTED, ERROR_NOT_SUPPORTED},
    {STATUS_DEVICE_DOES_NOT_EXIST, ERROR_BAD_UNIT},
    {STATUS_CANCELLED, ERROR_OPERATION_ABORTED},
    {STATUS_INVALID_DEVICE_STATE, ERROR_BAD_COMMAND},
};

}  // namespace

uint32_t Win32ErrorFromStatus(int32_t status) {
    for (const StatusError& entry : kStatusErrors) {
        if (entry.status == status) {
            return entry.error;
        }
    }
    return ERROR_MR_MID_NOT_FOUND;
}

}  // namespace sim::win32
