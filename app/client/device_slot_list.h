// An eight-slot list of hubs or tablets, identified by topology address, with a lock.
#pragma once

#include <windows.h>

#include "client/topo_addr.h"

#define DEVICE_SLOT_COUNT 8

// Slot states.
#define SLOT_FREE 0
#define SLOT_PRESENT 1
#define SLOT_UNCONFIRMED 2  // present, not yet seen by the pass in progress

// port_cmd word: bits 0-3 a command is pending for port 1-4; bit 8 the mode asked.
#define PORT_CMD_PORTS 4
#define PORT_CMD_PORT_MASK 0x0F
#define PORT_CMD_CHARGING 0x100

// Every operation but the constructor and destructor expects the caller to hold the lock.
class DeviceSlotList {
  public:
    DeviceSlotList();
    ~DeviceSlotList();

    void Lock() { EnterCriticalSection(&lock); }
    void Unlock() { LeaveCriticalSection(&lock); }

    // The lowest free slot gets rec, with no pending command and no port charging; -1 (with a
    // trace line) when all eight are taken.
    int Add(const TopoAddr& rec);
    void MarkAllUnconfirmed();
    BOOL HasUnconfirmed(const TopoAddr& rec) const;
    void Confirm(const TopoAddr& rec);
    // Frees every slot still unconfirmed, with its port words; returns how many, and sets bit
    // k of *freedSlots for each freed slot k.
    int SweepUnconfirmed(ULONG* freedSlots = NULL);
    // The present slot whose device is upstream of dev and deepest in the tree, that is the hub
    // dev is plugged into (a chain of hubs has every hub of the chain upstream of dev); -1 if
    // none is.
    int DeepestUpstreamOf(const TopoAddr& dev) const;
    // Frees every slot and zeroes the port words; the records stay.
    void Clear();

    TopoAddr records[DEVICE_SLOT_COUNT];
    ULONG state[DEVICE_SLOT_COUNT];
    ULONG count;
    ULONG port_cmd[DEVICE_SLOT_COUNT];
    ULONG port_state[DEVICE_SLOT_COUNT];  // bit k: port k+1 is in charging mode
    CRITICAL_SECTION lock;

  private:
    DeviceSlotList(const DeviceSlotList&) = delete;
    DeviceSlotList& operator=(const DeviceSlotList&) = delete;
};
