// The default queue of a control device and its requests: sequential presentation, the
// buffered system buffer, and completion.
#include "kmdf/kmdf.h"
#include "pc/machine.h"

namespace sim {
namespace {

WdfRequest* LookupRequest(WDFREQUEST handle, const char* caller) {
    return CurrentKmdf().LookupAs<WdfRequest>(handle, WdfType::kRequest, caller);
}

// Buffered I/O: input and output are the same system buffer; only the lengths differ. The
// "request-input" and "request-output" faults stand for exhausted resources.
NTSTATUS RetrieveBuffer(WdfRequest* request, ULONG length, size_t minimum, PVOID* buffer,
                        size_t* returned, Fault fault) {
    *buffer = NULL;
    if (request->queue == nullptr) {
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    if (Machine::Current().faults.Hit(fault)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (length == 0 || length < minimum) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    *buffer = request->irp->AssociatedIrp.SystemBuffer;
    if (returned != NULL) {
        *returned = length;
    }
    return STATUS_SUCCESS;
}

}  // namespace

WdfRequest* Kmdf::NewRequest(PIRP irp, WdfQueue* queue) {
    auto* request = new WdfRequest();
    request->type = WdfType::kRequest;
    request->irp = irp;
    request->queue = queue;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->MajorFunction == IRP_MJ_DEVICE_CONTROL) {
        request->input_length = stack->Parameters.DeviceIoControl.InputBufferLength;
        request->output_length = stack->Parameters.DeviceIoControl.OutputBufferLength;
    }
    Adopt(request, WDF_NO_OBJECT_ATTRIBUTES, nullptr);
    return request;
}

// The sender's thread waits in line and then runs the driver's callback itself. Real KMDF
// may present a queued request from the thread that completed the one before it; a
// passive-level driver cannot tell the two apart.
NTSTATUS Kmdf::QueueRequest(WdfDevice* device, PIRP irp) {
    WdfQueue* queue = device->queue;
    if (queue == nullptr || queue->config.EvtIoDeviceControl == nullptr) {
        irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
        irp->IoStatus.Information = 0;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    WdfRequest* request = NewRequest(irp, queue);
    IoMarkIrpPending(irp);
    queue->waiting.push_back(request);
    while (queue->current != nullptr || queue->waiting.front() != request) {
        Machine::Current().scheduler.Block(request, std::nullopt, "its turn in the queue");
    }
    queue->waiting.pop_front();
    queue->current = request;
    // A sequential queue presents a request only after the one before it was completed.
    race::Acquire(queue);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    queue->config.EvtIoDeviceControl(reinterpret_cast<WDFQUEUE>(HandleOf(queue)),
                                     reinterpret_cast<WDFREQUEST>(HandleOf(request)),
                                     request->output_length, request->input_length,
                                     stack->Parameters.DeviceIoControl.IoControlCode);
    return STATUS_PENDING;
}

void Kmdf::CompleteRequest(WdfRequest* request, NTSTATUS status, ULONG_PTR information) {
    Machine& machine = Machine::Current();
    if (status == STATUS_PENDING) {
        machine.BugCheck("WDF_VIOLATION: request completed with STATUS_PENDING");
    }
    PIRP irp = request->irp;
    race::Release(this);
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    WdfQueue* queue = request->queue;
    if (queue != nullptr && queue->current == request) {
        race::Release(queue);
        queue->current = nullptr;
    }
    if (request->created != nullptr && !NT_SUCCESS(status)) {
        WdfDevice* device = static_cast<WdfDevice*>(request->created->parent);
        device->files.erase(request->created->wdm);
        Delete(request->created);
    }
    Delete(request);
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    if (queue == nullptr) {
        return;
    }
    if (!queue->waiting.empty()) {
        machine.scheduler.Signal(queue->waiting.front(), false);
    } else if (queue->device->deleting) {
        machine.scheduler.Signal(queue, true);
    }
}

}  // namespace sim

using sim::CurrentKmdf;
using sim::Machine;

extern "C" {

NTSTATUS WdfIoQueueCreate(WDFDEVICE Device, PWDF_IO_QUEUE_CONFIG Config,
                          PWDF_OBJECT_ATTRIBUTES QueueAttributes, WDFQUEUE* Queue) {
    SimCheckPagedCode("WdfIoQueueCreate");
    sim::Kmdf& kmdf = CurrentKmdf();
    auto* device = kmdf.LookupAs<sim::WdfDevice>(Device, sim::WdfType::kDevice, __func__);
    if (Config->Size != sizeof(WDF_IO_QUEUE_CONFIG)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    if (Config->DispatchType != WdfIoQueueDispatchParallel &&
        Config->Settings.Parallel.NumberOfPresentedRequests != 0) {
        return STATUS_INVALID_PARAMETER;
    }
    if (!Config->DefaultQueue || Config->DispatchType != WdfIoQueueDispatchSequential) {
        return STATUS_NOT_SUPPORTED;
    }
    if (device->queue != nullptr) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    if (Machine::Current().faults.Hit(sim::Fault::kQueueCreate)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    auto* queue = new sim::WdfQueue();
    queue->type = sim::WdfType::kQueue;
    queue->device = device;
    queue->config = *Config;
    NTSTATUS status = kmdf.Adopt(queue, QueueAttributes, device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    device->queue = queue;
    if (Queue != NULL) {
        *Queue = reinterpret_cast<WDFQUEUE>(sim::HandleOf(queue));
    }
    return STATUS_SUCCESS;
}

NTSTATUS WdfRequestRetrieveInputBuffer(WDFREQUEST Request, size_t MinimumRequiredSize,
                                       PVOID* Buffer, size_t* Length) {
    sim::WdfRequest* request = sim::LookupRequest(Request, __func__);
    return sim::RetrieveBuffer(request, request->input_length, MinimumRequiredSize, Buffer, Length,
                               sim::Fault::kRequestInput);
}

NTSTATUS WdfRequestRetrieveOutputBuffer(WDFREQUEST Request, size_t MinimumRequiredSize,
                                        PVOID* Buffer, size_t* Length) {
    sim::WdfRequest* request = sim::LookupRequest(Request, __func__);
    return sim::RetrieveBuffer(request, request->output_length, MinimumRequiredSize, Buffer, Length,
                               sim::Fault::kRequestOutput);
}

VOID WdfRequestComplete(WDFREQUEST Request, NTSTATUS Status) {
    CurrentKmdf().CompleteRequest(sim::LookupRequest(Request, "WdfRequestComplete"), Status, 0);
}

VOID WdfRequestCompleteWithInformation(WDFREQUEST Request, NTSTATUS Status, ULONG_PTR Information) {
    CurrentKmdf().CompleteRequest(sim::LookupRequest(Request, "WdfRequestCompleteWithInformation"),
                                  Status, Information);
}

}  // extern "C"
