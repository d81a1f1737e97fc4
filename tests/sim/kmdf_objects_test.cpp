// Framework objects over a long run: freed objects leave the tables, yet a handle used soon
// after its object was freed is still caught.
#include <gtest/gtest.h>

#include "kmdf/kmdf.h"
#include "pc/machine.h"

namespace {

void CreateAndDelete(int count) {
    for (int i = 0; i < count; ++i) {
        WDFOBJECT object = NULL;
        ASSERT_EQ(WdfObjectCreate(WDF_NO_OBJECT_ATTRIBUTES, &object), STATUS_SUCCESS);
        WdfObjectDelete(object);
    }
}

TEST(KmdfObjects, FreedObjectsLeaveTheTables) {
    sim::Machine machine;
    size_t after_few = 0;
    size_t after_many = 0;
    machine.scheduler.Spawn("test", [&] {
        CreateAndDelete(100);
        after_few = machine.kmdf->tracked_objects();
        CreateAndDelete(50000);
        after_many = machine.kmdf->tracked_objects();
    });
    ASSERT_EQ(machine.scheduler.Run().kind, sim::RunOutcome::kFinished);
    EXPECT_EQ(after_few, 100u) << "recently freed objects are remembered";
    EXPECT_LE(after_many, 5000u) << "every object ever freed is remembered";
    EXPECT_EQ(machine.kmdf->live_objects(), 0u);
}

TEST(KmdfObjects, HandleFreedAThousandObjectsAgoIsCaught) {
    sim::Machine machine;
    sim::RunOutcome outcome = [&] {
        machine.scheduler.Spawn("test", [] {
            WDFOBJECT stale = NULL;
            WdfObjectCreate(WDF_NO_OBJECT_ATTRIBUTES, &stale);
            WdfObjectDelete(stale);
            CreateAndDelete(1000);
            WdfObjectDelete(stale);
        });
        return machine.scheduler.Run();
    }();
    EXPECT_EQ(outcome.kind, sim::RunOutcome::kBugCheck);
    EXPECT_EQ(outcome.report, "WDF_VIOLATION: WdfObjectDelete with a WDFOBJECT that was freed");
}

}  // namespace
