// The kernel stand-in: verifier checks, pool accounting, registry queries, waits, the
// cancel of a USB transfer.
#include <gtest/gtest.h>
#include <wmistr.h>

#include <set>

#include "kernel/wide_text.h"
#include "pc/machine.h"
#include "pc/usb_device.h"
#include "support/sim_test.h"

namespace {

using sim::Machine;

// Runs `body` on a simulated thread at `irql` and returns how the run ended.
sim::RunOutcome RunAt(Machine& machine, KIRQL irql, const std::function<void()>& body) {
    machine.scheduler.Spawn("test", body, irql);
    return machine.scheduler.Run();
}

struct VerifierCase {
    const char* name;
    KIRQL irql;
    std::function<void()> call;
    const char* report;  // nullptr: no bug check
};

TEST(KernelVerifier, IrqlRulesAreEnforced) {
    static KEVENT event;
    const VerifierCase cases[] = {
        {"paged code at dispatch", DISPATCH_LEVEL, [] { PAGED_CODE(); },
         "DRIVER_IRQL_NOT_LESS_OR_EQUAL"},
        {"paged code at passive", PASSIVE_LEVEL, [] { PAGED_CODE(); }, nullptr},
        {"timed wait at dispatch", DISPATCH_LEVEL,
         [] {
             KeInitializeEvent(&event, NotificationEvent, FALSE);
             LARGE_INTEGER timeout;
             timeout.QuadPart = -50000;
             KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &timeout);
         },
         "IRQL_NOT_LESS_OR_EQUAL"},
        {"polling wait at dispatch", DISPATCH_LEVEL,
         [] {
             KeInitializeEvent(&event, NotificationEvent, FALSE);
             LARGE_INTEGER timeout;
             timeout.QuadPart = 0;
             EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &timeout),
                       STATUS_TIMEOUT);
         },
         nullptr},
        {"registry at dispatch", DISPATCH_LEVEL,
         [] {
             HANDLE key;
             OBJECT_ATTRIBUTES attributes;
             InitializeObjectAttributes(&attributes, NULL, 0, NULL, NULL);
             ZwOpenKey(&key, KEY_READ, &attributes);
         },
         "IRQL_NOT_LESS_OR_EQUAL"},
        {"free with another tag", PASSIVE_LEVEL,
         [] { ExFreePoolWithTag(ExAllocatePoolWithTag(NonPagedPool, 8, 'a'), 'b'); },
         "BAD_POOL_CALLER"},
    };
    for (const VerifierCase& c : cases) {
        Machine machine;
        sim::RunOutcome outcome = RunAt(machine, c.irql, c.call);
        if (c.report == nullptr) {
            EXPECT_EQ(outcome.kind, sim::RunOutcome::kFinished) << c.name << ": " << outcome.report;
        } else {
            EXPECT_EQ(outcome.kind, sim::RunOutcome::kBugCheck) << c.name;
            EXPECT_NE(outcome.report.find(c.report), std::string::npos)
                << c.name << ": " << outcome.report;
        }
    }
}

TEST(KernelPool, AccountsBytesAndFailsOnlyTheArmedTag) {
    Machine machine;
    machine.faults.Arm(sim::Fault::kPoolAllocation, "Tabv", 1);
    const ULONG tabv = 'T' | 'a' << 8 | 'b' << 16 | 'v' << 24;
    PVOID other = ExAllocatePoolWithTag(NonPagedPool, 100, 'x');
    EXPECT_EQ(ExAllocatePoolWithTag(NonPagedPool, 10, tabv), nullptr);
    PVOID second = ExAllocatePoolWithTag(NonPagedPool, 10, tabv);
    ASSERT_NE(other, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(machine.kernel.pool.outstanding_bytes(), 110u);
    ExFreePoolWithTag(other, 'x');
    ExFreePoolWithTag(second, tabv);
    EXPECT_EQ(machine.kernel.pool.outstanding_bytes(), 0u);
}

const ULONG kTabv = 'T' | 'a' << 8 | 'b' << 16 | 'v' << 24;

struct SpecialPoolCase {
    const char* name;
    std::function<void()> call;
    const char* report;  // nullptr: no bug check
};

// The kernel frees a 23-byte buffer of its own, the byte at `byte` is written, `reuses` more
// buffers of its size come and go, and the run ends.
std::function<void()> KernelBufferWrittenAfterFree(int byte, int reuses) {
    return [=] {
        sim::Pool& pool = Machine::Current().kernel.pool;
        auto* block = static_cast<UCHAR*>(pool.Allocate(23, kTabv, sim::Pool::Owner::kKernel));
        pool.Free(block, kTabv);
        block[byte] = 0;
        for (int i = 0; i < reuses; ++i) {
            pool.Free(pool.Allocate(23, kTabv, sim::Pool::Owner::kKernel), kTabv);
        }
        pool.CheckOutstanding();
    };
}

// The bytes between a block's end and its guard page are checked when it is freed and, for
// blocks still allocated, at the end of the run; a freed kernel buffer's bytes, before its
// pages are handed out again and at the end of the run.
TEST(KernelPool, WritesPastTheEndAreFoundAtFreeAndAtTheEnd) {
    const SpecialPoolCase cases[] = {
        {"whole block written",
         [] {
             auto* block = static_cast<UCHAR*>(ExAllocatePoolWithTag(NonPagedPool, 23, kTabv));
             memset(block, 0, 23);
             ExFreePoolWithTag(block, kTabv);
         },
         nullptr},
        {"one byte past the end, freed",
         [] {
             auto* block = static_cast<UCHAR*>(ExAllocatePoolWithTag(NonPagedPool, 23, kTabv));
             block[23] = 0;
             ExFreePoolWithTag(block, kTabv);
         },
         "SPECIAL_POOL_DETECTED_MEMORY_CORRUPTION: pool block Tabv of 23 bytes (allocation #1) "
         "was written past its end at byte 23 when it was freed"},
        {"past the end, never freed",
         [] {
             ExAllocatePoolWithTag(NonPagedPool, 8, kTabv);
             auto* block = static_cast<UCHAR*>(ExAllocatePoolWithTag(NonPagedPool, 9, kTabv));
             block[12] = 0;
             Machine::Current().kernel.pool.CheckOutstanding();
         },
         "SPECIAL_POOL_DETECTED_MEMORY_CORRUPTION: pool block Tabv of 9 bytes (allocation #2) "
         "was written past its end at byte 12 (found at the end of the run)"},
        {"a kernel buffer written after its free", KernelBufferWrittenAfterFree(5, 0),
         "SPECIAL_POOL_DETECTED_MEMORY_CORRUPTION: pool block Tabv of 23 bytes (allocation #1) "
         "was written at byte 5 after it was freed (found at the end of the run)"},
        {"a kernel buffer written after its free, its pages reused",
         KernelBufferWrittenAfterFree(31, 64),
         "SPECIAL_POOL_DETECTED_MEMORY_CORRUPTION: pool block Tabv of 23 bytes (allocation #1) "
         "was written at byte 31 after it was freed (found when its pages were reused)"},
    };
    for (const SpecialPoolCase& c : cases) {
        Machine machine;
        sim::RunOutcome outcome = RunAt(machine, PASSIVE_LEVEL, c.call);
        if (c.report == nullptr) {
            EXPECT_EQ(outcome.kind, sim::RunOutcome::kFinished) << c.name << ": " << outcome.report;
        } else {
            EXPECT_EQ(outcome.report, c.report) << c.name;
        }
    }
}

// Reaching the guard page, or a block already freed, stops the process as a bug check
// would stop the machine.
TEST(KernelPoolDeathTest, AccessBeyondTheBlockOrAfterItsFreeStopsTheMachine) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Machine machine;
            auto* block =
                static_cast<volatile UCHAR*>(ExAllocatePoolWithTag(NonPagedPool, 23, kTabv));
            (void)block[32];
        },
        ::testing::ExitedWithCode(3),
        "DRIVER_PAGE_FAULT_BEYOND_END_OF_ALLOCATION: pool block Tabv of 23 bytes \\(allocation "
        "#1\\) accessed at byte 32");
    EXPECT_EXIT(
        {
            Machine machine;
            auto* block =
                static_cast<volatile UCHAR*>(ExAllocatePoolWithTag(NonPagedPool, 23, kTabv));
            ExFreePoolWithTag(const_cast<UCHAR*>(block), kTabv);
            (void)block[0];
        },
        ::testing::ExitedWithCode(3), "DRIVER_PAGE_FAULT_IN_FREED_SPECIAL_POOL: pool block Tabv");
}

class RegistryQuery : public ::testing::Test {
  protected:
    void SetUp() override {
        machine_.kernel.registry.SetValue(
            "\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet001\\Services\\tabvoltx\\Param", "Flags",
            REG_DWORD, {1, 0, 0, 0});
        UNICODE_STRING path;
        static WCHAR name[] =
            L"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\"
            L"tabvoltx\\Param";
        RtlInitUnicodeString(&path, name);
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                                   NULL, NULL);
        ASSERT_EQ(ZwOpenKey(&key_, KEY_READ, &attributes), STATUS_SUCCESS);
        static WCHAR value[] = L"FLAGS";
        RtlInitUnicodeString(&value_, value);
    }
    void TearDown() override { ZwClose(key_); }
    Machine machine_;
    HANDLE key_ = nullptr;
    UNICODE_STRING value_;
};

TEST_F(RegistryQuery, ReportsTheSizeThenFillsTheFullInformation) {
    ULONG needed = 0;
    EXPECT_EQ(ZwQueryValueKey(key_, &value_, KeyValueFullInformation, nullptr, 0, &needed),
              STATUS_BUFFER_TOO_SMALL);
    const ULONG data_offset = (20 + 10 + 3) & ~3u;  // fixed part, "FLAGS" in UTF-16, aligned
    EXPECT_EQ(needed, data_offset + 4);

    std::vector<uint8_t> buffer(needed, 0xEE);
    ULONG got = 0;
    EXPECT_EQ(ZwQueryValueKey(key_, &value_, KeyValueFullInformation, buffer.data(), 20, &got),
              STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(got, needed);
    ASSERT_EQ(ZwQueryValueKey(key_, &value_, KeyValueFullInformation, buffer.data(), needed, &got),
              STATUS_SUCCESS);
    auto* info = reinterpret_cast<PKEY_VALUE_FULL_INFORMATION>(buffer.data());
    EXPECT_EQ(info->Type, static_cast<ULONG>(REG_DWORD));
    EXPECT_EQ(info->DataOffset, data_offset);
    EXPECT_EQ(info->DataLength, 4u);
    EXPECT_EQ(buffer[info->DataOffset], 1);
}

TEST_F(RegistryQuery, MissingValueAndKey) {
    UNICODE_STRING missing;
    static WCHAR name[] = L"IDevSkipList";
    RtlInitUnicodeString(&missing, name);
    ULONG needed = 0;
    EXPECT_EQ(ZwQueryValueKey(key_, &missing, KeyValueFullInformation, nullptr, 0, &needed),
              STATUS_OBJECT_NAME_NOT_FOUND);

    UNICODE_STRING path;
    static WCHAR other[] = L"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\nope";
    RtlInitUnicodeString(&path, other);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &path, OBJ_CASE_INSENSITIVE, NULL, NULL);
    HANDLE key;
    EXPECT_EQ(ZwOpenKey(&key, KEY_READ, &attributes), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(machine_.kernel.handles.open_count(), 1u);
}

TEST(KernelWait, RelativeTimeoutRunsOnTheVirtualClock) {
    Machine machine;
    NTSTATUS status = STATUS_SUCCESS;
    sim::Ticks woke = 0;
    sim::RunOutcome outcome = RunAt(machine, PASSIVE_LEVEL, [&] {
        KEVENT event;
        KeInitializeEvent(&event, NotificationEvent, FALSE);
        LARGE_INTEGER timeout;
        timeout.QuadPart = -50000;  // 5 ms
        status = KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &timeout);
        woke = machine.scheduler.Now();
    });
    EXPECT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
    EXPECT_EQ(status, STATUS_TIMEOUT);
    EXPECT_EQ(woke, 5 * sim::kTicksPerMs);
}

// An IRP whose completion fills `iosb` and signals `event`, as its originator's.
PIRP IrpSignalling(CCHAR stack_size, KEVENT* event, IO_STATUS_BLOCK* iosb) {
    PIRP irp = IoAllocateIrp(stack_size, FALSE);
    KeInitializeEvent(event, NotificationEvent, FALSE);
    irp->UserEvent = event;
    irp->UserIosb = iosb;
    return irp;
}

// Completion stops at a routine that keeps the IRP; the originator's event stays clear.
TEST(KernelIrp, MoreProcessingRequiredHaltsCompletion) {
    Machine machine;
    sim::RunOutcome outcome = RunAt(machine, PASSIVE_LEVEL, [] {
        KEVENT event;
        IO_STATUS_BLOCK iosb = {};
        PIRP irp = IrpSignalling(2, &event, &iosb);
        static int calls;
        calls = 0;
        IoSetCompletionRoutine(
            irp,
            [](PDEVICE_OBJECT, PIRP, PVOID) -> NTSTATUS {
                ++calls;
                return STATUS_MORE_PROCESSING_REQUIRED;
            },
            nullptr, TRUE, TRUE, TRUE);
        IoSetNextIrpStackLocation(irp);
        irp->IoStatus.Status = STATUS_SUCCESS;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(KeReadStateEvent(&event), 0);
        IoFreeIrp(irp);
    });
    EXPECT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
    EXPECT_TRUE(machine.kernel.live_irps.empty());
}

// The steps of one cancelled transfer, each "WHAT at MS": the waiter's 5 ms wait, its
// IoCancelIrp, the completion routine (with the IRP's status) and the IRP's return.
std::vector<std::string> g_steps;

void Step(const std::string& what) {
    g_steps.push_back(what + " at " +
                      std::to_string(sim::CurrentScheduler().Now() / sim::kTicksPerMs));
}

// Sends a descriptor read to PAD as its bus driver would, waits 5 ms, then cancels it.
void CancelAfter5ms(sim::Machine& machine) {
    g_steps.clear();
    KEVENT back;
    IO_STATUS_BLOCK iosb = {};
    PIRP irp = IrpSignalling(1, &back, &iosb);
    IoSetCompletionRoutine(
        irp,
        [](PDEVICE_OBJECT, PIRP Irp, PVOID) -> NTSTATUS {
            char status[16];
            snprintf(status, sizeof status, "0x%08x", static_cast<unsigned>(Irp->IoStatus.Status));
            Step(std::string("completion ") + status);
            return STATUS_SUCCESS;
        },
        nullptr, TRUE, TRUE, TRUE);
    IoSetNextIrpStackLocation(irp);
    sim::SetupPacket setup;
    setup.request_type = 0x80;
    setup.request = 6;
    setup.value = 0x0100;
    UCHAR descriptor[18];
    setup.length = sizeof descriptor;
    machine.usb->Find("PAD")->device_thread->Submit(irp, setup, descriptor, NULL, sim::Via::kPdo);
    LARGE_INTEGER timeout;
    timeout.QuadPart = -50000;
    if (KeWaitForSingleObject(&back, Executive, KernelMode, FALSE, &timeout) == STATUS_TIMEOUT) {
        Step("timeout");
        Step(IoCancelIrp(irp) ? "IoCancelIrp TRUE" : "IoCancelIrp FALSE");
    }
    KeWaitForSingleObject(&back, Executive, KernelMode, FALSE, NULL);
    Step("back");
    IoFreeIrp(irp);
}

struct CancelCase {
    const char* device;                         // the device line's options, and a fault line
    std::set<std::vector<std::string>> orders;  // every sequence the seeds may give
};

const CancelCase kCancelCases[] = {
    // The USB stack completes a cancelled transfer from the device's own thread: on another
    // processor during IoCancelIrp, or after it.
    {"latency=8ms",
     {{"timeout at 5", "completion 0xc0000120 at 5", "IoCancelIrp TRUE at 5", "back at 5"},
      {"timeout at 5", "IoCancelIrp TRUE at 5", "completion 0xc0000120 at 5", "back at 5"}}},
    // A device that ignores the cancel: the transfer ends with its answer.
    {"latency=8ms\nfail usb-cancel PAD",
     {{"timeout at 5", "IoCancelIrp TRUE at 5", "completion 0x00000000 at 8", "back at 8"}}},
    // The answer due at the very instant of the timeout: before the cancel, or cancelled.
    {"latency=5ms",
     {{"completion 0x00000000 at 5", "timeout at 5", "IoCancelIrp FALSE at 5", "back at 5"},
      {"timeout at 5", "completion 0xc0000120 at 5", "IoCancelIrp TRUE at 5", "back at 5"},
      {"timeout at 5", "IoCancelIrp TRUE at 5", "completion 0xc0000120 at 5", "back at 5"}}},
};

TEST(KernelIrp, ACancelledUsbTransferComesBackFromTheDevicesThread) {
    for (const CancelCase& entry : kCancelCases) {
        std::set<std::vector<std::string>> seen;
        for (uint64_t seed = 0; seed < 24; ++seed) {
            auto run = support::RunScenario(std::string("controller C1\ndevice PAD vid=05AC "
                                                        "pid=12AB ") +
                                                entry.device + "\nplug PAD C1:1\n",
                                            seed, CancelAfter5ms);
            ASSERT_TRUE(run.result.ok()) << run.result.outcome.report << run.Reproduce();
            EXPECT_TRUE(run.machine().kernel.live_irps.empty()) << run.Reproduce();
            seen.insert(g_steps);
        }
        EXPECT_EQ(seen, entry.orders) << entry.device;
    }
}

namespace wmi {

// A provider's WMI callback, answering registration as the case says.
struct ProviderCase {
    const char* what;
    GUID guid;
    ULONG flags;
    bool answers_registration;
    bool enabled;
};

constexpr GUID kSessionGuid = {
    0x8c4fb6f7, 0xb746, 0x4cfa, {0xab, 0x0e, 0x18, 0x3c, 0xed, 0x63, 0xf5, 0x99}};
constexpr GUID kOtherGuid = {
    0x8c4fb6f7, 0xb746, 0x4cfa, {0xab, 0x0e, 0x18, 0x3c, 0xed, 0x63, 0xf5, 0x9a}};

const ProviderCase* g_case = nullptr;
std::vector<UCHAR> g_minors;

NTSTATUS Callback(UCHAR MinorFunction, PVOID, ULONG BufferLength, PVOID Buffer, PVOID,
                  PULONG Size) {
    g_minors.push_back(MinorFunction);
    const ULONG needed = sizeof(WMIREGINFOW) + sizeof(WMIREGGUIDW);
    if (MinorFunction != IRP_MN_REGINFO && MinorFunction != IRP_MN_REGINFO_EX) {
        return STATUS_SUCCESS;
    }
    if (!g_case->answers_registration) {
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    if (BufferLength < needed) {
        *static_cast<PULONG>(Buffer) = needed;
        *Size = sizeof(ULONG);
        return STATUS_BUFFER_TOO_SMALL;
    }
    auto* info = static_cast<PWMIREGINFOW>(Buffer);
    memset(info, 0, needed);
    info->BufferSize = needed;
    info->GuidCount = 1;
    info->WmiRegGuid[0].Guid = g_case->guid;
    info->WmiRegGuid[0].Flags = g_case->flags;
    *Size = needed;
    return STATUS_SUCCESS;
}

const ProviderCase kProviders[] = {
    {"reports the session's control GUID", kSessionGuid,
     WMIREG_FLAG_TRACE_CONTROL_GUID | WMIREG_FLAG_TRACED_GUID, true, true},
    {"reports another GUID", kOtherGuid, WMIREG_FLAG_TRACE_CONTROL_GUID, true, false},
    {"reports the GUID but not as a trace control GUID", kSessionGuid, WMIREG_FLAG_TRACED_GUID,
     true, false},
    {"ignores the registration query", kSessionGuid, 0, false, false},
};

// WMI asks a callback provider for its registration right away (offering too small a buffer
// first) and enables it only for the GUID its session traces; the provider leaves only
// under the key it registered with.
TEST(KernelWmi, OnlyAProviderThatReportsTheSessionGuidIsEnabled) {
    for (const ProviderCase& c : kProviders) {
        Machine machine;
        machine.kernel.version = {5, 1, 2600};
        g_case = &c;
        g_minors.clear();
        auto key = reinterpret_cast<PDEVICE_OBJECT>(&Callback);
        ASSERT_EQ(IoWMIRegistrationControl(key, WMIREG_ACTION_REGISTER | 0x80000000),
                  STATUS_SUCCESS);
        std::vector<UCHAR> expected = {IRP_MN_REGINFO_EX};
        if (c.answers_registration) {
            expected.push_back(IRP_MN_REGINFO_EX);
        }
        if (c.enabled) {
            expected.push_back(IRP_MN_ENABLE_EVENTS);
        }
        EXPECT_EQ(g_minors, expected) << c.what;
        EXPECT_EQ(IoWMIRegistrationControl(reinterpret_cast<PDEVICE_OBJECT>(&g_minors),
                                           WMIREG_ACTION_DEREGISTER),
                  STATUS_INVALID_PARAMETER)
            << c.what;
        EXPECT_EQ(IoWMIRegistrationControl(key, WMIREG_ACTION_DEREGISTER), STATUS_SUCCESS)
            << c.what;
    }
}

}  // namespace wmi

}  // namespace
