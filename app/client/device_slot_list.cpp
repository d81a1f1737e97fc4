#include "client/device_slot_list.h"

#include "client/debug_print.h"

DeviceSlotList::DeviceSlotList() {
    ZeroMemory(records, sizeof(records));
    ZeroMemory(state, sizeof(state));
    count = 0;
    ZeroMemory(port_cmd, sizeof(port_cmd));
    ZeroMemory(port_state, sizeof(port_state));
    InitializeCriticalSection(&lock);
}

DeviceSlotList::~DeviceSlotList() {
    DeleteCriticalSection(&lock);
}

int DeviceSlotList::Add(const TopoAddr& rec) {
    if (count >= DEVICE_SLOT_COUNT) {
        DebugPrint("Recorded address list overflow\n");
        return -1;
    }
    for (int slot = 0; slot < DEVICE_SLOT_COUNT; slot++) {
        if (state[slot] == SLOT_FREE) {
            records[slot] = rec;
            state[slot] = SLOT_PRESENT;
            // A command queued for the slot while it was free belongs to the device that left.
            port_cmd[slot] = 0;
            port_state[slot] = 0;
            count++;
            return slot;
        }
    }
    return -1;
}

void DeviceSlotList::MarkAllUnconfirmed() {
    for (int slot = 0; slot < DEVICE_SLOT_COUNT; slot++) {
        if (state[slot] == SLOT_PRESENT) {
            state[slot] = SLOT_UNCONFIRMED;
        }
    }
}

BOOL DeviceSlotList::HasUnconfirmed(const TopoAddr& rec) const {
    for (int slot = 0; slot < DEVICE_SLOT_COUNT; slot++) {
        if (state[slot] == SLOT_UNCONFIRMED && Equals(records[slot], rec)) {
            return TRUE;
        }
    }
    return FALSE;
}

void DeviceSlotList::Confirm(const TopoAddr& rec) {
    for (int slot = 0; slot < DEVICE_SLOT_COUNT; slot++) {
        if (state[slot] == SLOT_UNCONFIRMED && Equals(records[slot], rec)) {
            state[slot] = SLOT_PRESENT;
            return;
        }
    }
}

int DeviceSlotList::SweepUnconfirmed(ULONG* freedSlots) {
    int freed = 0;
    ULONG mask = 0;
    for (int slot = 0; slot < DEVICE_SLOT_COUNT; slot++) {
        if (state[slot] == SLOT_UNCONFIRMED) {
            state[slot] = SLOT_FREE;
            port_cmd[slot] = 0;
            port_state[slot] = 0;
            count--;
            freed++;
            mask |= 1UL << slot;
        }
    }
    if (freedSlots != NULL) {
        *freedSlots = mask;
    }
    return freed;
}

int DeviceSlotList::DeepestUpstreamOf(const TopoAddr& dev) const {
    int found = -1;
    for (int slot = 0; slot < DEVICE_SLOT_COUNT; slot++) {
        if (state[slot] != SLOT_FREE && IsUpstreamOf(records[slot], dev) &&
            (found == -1 || HubDepth(records[slot]) > HubDepth(records[found]))) {
            found = slot;
        }
    }
    return found;
}

void DeviceSlotList::Clear() {
    count = 0;
    ZeroMemory(state, sizeof(state));
    ZeroMemory(port_cmd, sizeof(port_cmd));
    ZeroMemory(port_state, sizeof(port_state));
}
