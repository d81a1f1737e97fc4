// One polling pass of the monitoring thread.
#include "client/debug_print.h"
#include "client/driver_client.h"
#include "client/driver_requests.h"
#include "client/hub_registry.h"
#include "client/monitor_thread.h"
#include "client/power_plan.h"
#include "client/window_messages.h"
#include "ui/main_dlg.h"
#include "vexa_ioctl.h"

// Cleared by the first pass that gets through its hub phase.
BYTE g_first_pass = 1;

namespace {

#define PASS_DEVICE_MAX 8

// What the pass found: up to eight hubs (each with its enumeration entry) and eight tablets.
struct PassDevices {
    TopoAddr hubs[PASS_DEVICE_MAX];
    int hub_entry[PASS_DEVICE_MAX];
    int hub_count;
    TopoAddr tabs[PASS_DEVICE_MAX];
    int tab_count;
};

// What the pass tells the main dialog once its lists are up to date.
struct PassNotes {
    BOOL new_hub;
    int last_hub_slot;
    int last_hub_entry;
    BOOL new_tab;
    int last_tab_slot;
    BYTE tab_on_hub;
    int tabs_removed;
    ULONG hubs_removed_slots;  // bit k: hub slot k was freed
    // Charge-state updates of the port-command loop, sent after the hub lock is released.
    int update_count;
    WPARAM update_slot[DEVICE_SLOT_COUNT];
    LPARAM update_state[DEVICE_SLOT_COUNT];
};

// Asks the topology address of one device into addr. A failed request leaves the device out
// of the pass: the buffer would still hold the previous device's address.
BOOL ReadTopology(HANDLE device, VEXA_TOPOLOGY* buffer, ULONG handle, LPCSTR kind, int number,
                  TopoAddr* addr) {
    if (!QueryTopoAddr(device, buffer, handle, addr)) {
        DebugPrint("TopoAddr request fail for handle %d, %d\n", handle, GetLastError());
        return FALSE;
    }
    DebugPrint("TopoAddr dump for %s %d\n", kind, number);
    DebugPrint("    PciBusNumber = %d\n", addr->PciBusNumber);
    DebugPrint("    PciDeviceNumber = %d\n", addr->PciDeviceNumber);
    DebugPrint("    PciFunctionNumber = %d\n", addr->PciFunctionNumber);
    DebugPrint("    RootHubPortNumber = %d\n", addr->RootHubPortNumber);
    for (int level = 0; level < TOPO_HUB_LEVELS; level++) {
        DebugPrint("    HubPortNumber[%d] = %d\n", level, addr->HubPortNumber[level]);
    }
    return TRUE;
}

// Adds the device's address to one of the pass's arrays; the arrays hold eight, so a ninth
// device of a kind is ignored with a trace line.
BOOL AppendDevice(HANDLE device, VEXA_TOPOLOGY* buffer, const VEXA_DEVICE_ENTRY& entry, ULONG j,
                  LPCSTR kind, TopoAddr* addrs, int* count) {
    if (*count == PASS_DEVICE_MAX) {
        DebugPrint("no room for %s, entry %d ignored\n", kind, j);
        return FALSE;
    }
    if (!ReadTopology(device, buffer, entry.handle, kind, *count, &addrs[*count])) {
        return FALSE;
    }
    (*count)++;
    return TRUE;
}

// Picks the Samsung tablets and the USB 2 Vexa hubs out of the list, with their addresses.
void CollectDevices(HANDLE device, const VEXA_DEVICE_LIST* list, ULONG entries, PassDevices* pass) {
    VEXA_TOPOLOGY buffer;
    ZeroMemory(&buffer, sizeof(buffer));
    pass->hub_count = 0;
    pass->tab_count = 0;
    for (ULONG j = 0; j < entries; j++) {
        const VEXA_DEVICE_ENTRY& entry = list->entries[j];
        if (IsSamsungTablet(entry)) {
            AppendDevice(device, &buffer, entry, j, "SamsungTab", pass->tabs, &pass->tab_count);
        }
        if (IsTrackedVexaHub(entry) &&
            AppendDevice(device, &buffer, entry, j, "VexaHub", pass->hubs, &pass->hub_count)) {
            pass->hub_entry[pass->hub_count - 1] = (int)j;
        }
    }
}

// Confirms a device the list holds from an earlier pass, or adds it (tracing newText, and
// fullText when no slot is free). The new slot, or -1 when nothing was added.
int ConfirmOrAdd(DeviceSlotList& list, const TopoAddr& rec, LPCSTR newText, LPCSTR fullText) {
    if (list.HasUnconfirmed(rec)) {
        list.Confirm(rec);
        return -1;
    }
    DebugPrint(newText);
    int slot = list.Add(rec);
    if (slot == -1) {
        DebugPrint(fullText);
    }
    return slot;
}

void UpdateTabList(CMainDlg* dlg, const PassDevices& pass, PassNotes* notes) {
    DeviceSlotList& tabs = dlg->m_tab_list;
    tabs.Lock();
    tabs.MarkAllUnconfirmed();
    for (int t = 0; t < pass.tab_count; t++) {
        for (int h = 0; h < pass.hub_count; h++) {
            notes->tab_on_hub = 1;
            if (!IsUpstreamOf(pass.hubs[h], pass.tabs[t])) {
                continue;
            }
            int slot = ConfirmOrAdd(tabs, pass.tabs[t], "new Samsung tab detect on Vexa hub",
                                    "GG, sg tab list overrun\n");
            if (slot != -1) {
                notes->new_tab = TRUE;
                notes->last_tab_slot = slot;
            }
        }
    }
    notes->tabs_removed = tabs.SweepUnconfirmed();
    tabs.Unlock();
}

// Caller holds the hub lock.
void UpdateHubSlots(DeviceSlotList& hubs, const PassDevices& pass, PassNotes* notes) {
    hubs.MarkAllUnconfirmed();
    for (int h = 0; h < pass.hub_count; h++) {
        int slot =
            ConfirmOrAdd(hubs, pass.hubs[h], "new Vexa hub detect", "GG, vexa hub list overrun\n");
        if (slot != -1) {
            DebugPrint("Promote user for new hub\n");
            notes->new_hub = TRUE;
            notes->last_hub_slot = slot;
            notes->last_hub_entry = pass.hub_entry[h];
        }
    }
    hubs.SweepUnconfirmed(&notes->hubs_removed_slots);
}

int FindPassHub(const PassDevices& pass, const TopoAddr& rec) {
    for (int h = 0; h < pass.hub_count; h++) {
        if (Equals(rec, pass.hubs[h])) {
            return h;
        }
    }
    return -1;
}

// Carries out the pending port-1 commands; caller holds the hub lock.
void SendPortCommands(CMainDlg* dlg, HANDLE device, const VEXA_DEVICE_LIST* list,
                      const PassDevices& pass, PassNotes* notes) {
    DeviceSlotList& hubs = dlg->m_hub_list;
    for (int k = 0; k < DEVICE_SLOT_COUNT; k++) {
        ULONG cmd = hubs.port_cmd[k];
        if (cmd == 0) {
            continue;
        }
        if ((cmd & 1) != 0) {
            int h = hubs.state[k] == SLOT_PRESENT ? FindPassHub(pass, hubs.records[k]) : -1;
            if (hubs.state[k] != SLOT_PRESENT) {
                DebugPrint("Device missed\n");
            } else if (h == -1) {
                DebugPrint("cannot find device when sending command, this shouldn't happen");
            } else {
                BOOL charging = (cmd & PORT_CMD_CHARGING) != 0;
                int entry = pass.hub_entry[h];
                DebugPrint("send command to port 1, flag %x", cmd);
                DebugPrint(charging ? "to charge mode" : "to normal mode");
                if (dlg->m_power_plan_changed == 0) {
                    StopUsbSelectiveSuspend(device, list, entry);
                }
                SendCommandForSetHubPortMode(
                    device, list->entries[entry].handle, 1,
                    charging ? HUB_PORT_MODE_CHARGING : HUB_PORT_MODE_NORMAL);
                if (dlg->m_power_plan_changed == 0) {
                    StartUsbSelectiveSuspend(device, list, entry);
                }
                notes->update_slot[notes->update_count] = (WPARAM)k;
                notes->update_state[notes->update_count] =
                    CHG_STATE_PORT1 | (charging ? CHG_STATE_PORT1_CHARGING : 0);
                notes->update_count++;
            }
            hubs.port_cmd[k] = cmd & ~1UL;
        }
        if ((cmd & 2) != 0) {
            DebugPrint("not support for port 2\n");
        }
        if ((cmd & 4) != 0) {
            DebugPrint("not support for port 3\n");
        }
        if ((cmd & 8) != 0) {
            DebugPrint("not support for port 4\n");
        }
    }
}

void UpdateHubList(CMainDlg* dlg, HANDLE device, const VEXA_DEVICE_LIST* list,
                   const PassDevices& pass, PassNotes* notes) {
    DeviceSlotList& hubs = dlg->m_hub_list;
    hubs.Lock();
    // The menu reads it under this lock.
    dlg->m_tab_on_hub = notes->tab_on_hub;
    UpdateHubSlots(hubs, pass, notes);
    if (g_first_pass == 1 && notes->new_hub) {
        hubs.port_cmd[notes->last_hub_slot] = 1;  // port 1 to normal mode
    }
    g_first_pass = 0;
    SendPortCommands(dlg, device, list, pass, notes);
    hubs.Unlock();
    // Two-thread rule: the charge-state updates go out only now that the hub lock is free,
    // since the window's thread may be waiting for it; they still precede the notifications.
    for (int u = 0; u < notes->update_count; u++) {
        SendToMainWindow(dlg, WM_CHG_STATE_UPDATE, notes->update_slot[u], notes->update_state[u]);
    }
}

void SendNotifications(CMainDlg* dlg, HANDLE device, const VEXA_DEVICE_LIST* list,
                       const PassNotes& notes) {
    if (notes.new_hub) {
        // Outside the list locks: the hub's restart takes the PnP manager's time.
        CheckPermanentDisableSS(device, list, notes.last_hub_entry);
        DebugPrint("Promote user for new hub, send message\n");
        SendToMainWindow(dlg, WM_NEW_VEXAHUB_ARRIVE, (WPARAM)notes.last_hub_slot, 0);
    }
    if (notes.new_tab) {
        DebugPrint("Promote user for new tab, send message\n");
        SendToMainWindow(dlg, WM_NEW_SGTAB_ARRIVE, (WPARAM)notes.last_tab_slot, 0);
    }
    if (notes.tabs_removed > 0) {
        DebugPrint("Promote user for tab removed, send message\n");
        SendToMainWindow(dlg, WM_OLD_SGTAB_REMOVE, 0, 0);
    }
    // Two-thread rule: the notify dialog belongs to the window's thread, so the pass names the
    // freed slots and the window decides whether its dialog showed one of them.
    if (notes.hubs_removed_slots != 0) {
        DebugPrint("Promote user for hub removed, send message\n");
        SendToMainWindow(dlg, WM_OLD_VEXAHUB_REMOVE, (WPARAM)notes.hubs_removed_slots, 0);
    }
}

}  // namespace

void PollDevices(CMainDlg* dlg) {
    RetryHubEnables();
    HANDLE device = CreateFileA(VEXA_USER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, NULL);
    if (device == INVALID_HANDLE_VALUE) {
        DebugPrint("fail to open driver handle, %d\n", GetLastError());
        dlg->m_hub_list.Lock();
        dlg->m_tab_on_hub = 0;
        dlg->m_hub_list.Unlock();
        SendToMainWindow(dlg, WM_DRIVER_OPEN_FAIL, 0, 0);
        return;
    }
    ULONG entries = 0;
    // Without both answers the lists stay as they are: nothing is swept or announced.
    VEXA_DEVICE_LIST* list = ReadDeviceList(device, &entries, DebugPrint);
    if (list == NULL) {
        CloseHandle(device);
        return;
    }
    PassDevices pass;
    CollectDevices(device, list, entries, &pass);
    PassNotes notes;
    ZeroMemory(&notes, sizeof(notes));
    UpdateTabList(dlg, pass, &notes);
    UpdateHubList(dlg, device, list, pass, &notes);
    SendNotifications(dlg, device, list, notes);
    CloseHandle(device);
    HeapFree(GetProcessHeap(), 0, list);
}
