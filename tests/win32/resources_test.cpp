// A module's resources as windres compiled them: string-table blocks, named and numbered
// resources, icon groups, and the errors of what is not there.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "pc/machine.h"
#include "win32/process/icon_handles.h"
#include "win32/process/process.h"
#include "win32/process/program_images.h"

namespace {

// A machine whose default process has the test program's resources.
class Resources : public ::testing::Test {
  protected:
    void SetUp() override {
        const sim::win32::ProgramImage* image = sim::win32::FindProgramImage("win32_test_program");
        ASSERT_NE(image, nullptr);
        ASSERT_TRUE(sim::win32::CurrentProcess().resources.Load(image->resource_path));
    }
    sim::Machine machine_{0};
};

struct StringCase {
    UINT id;
    int buffer;
    int length;
    const char* text;
};
// 15 ends block 1, 16 and 17 open block 2; 14 and 18 are gaps inside present blocks, 33 lies
// in a block that 40 brings, 48 in one that does not exist.
const StringCase kStringCases[] = {
    {1, 64, 3, "one"},
    {15, 64, 7, "fifteen"},
    {16, 64, 7, "sixteen"},
    {17, 64, 9, "seventeen"},
    {14, 64, 0, ""},
    {18, 64, 0, ""},
    {33, 64, 0, ""},
    {48, 64, 0, ""},
    {40, 64, 7,
     "caf\xE9 \x80"
     "5"},
    {15, 4, 3, "fif"},
    {15, 1, 0, ""},
};

TEST_F(Resources, LoadStringReadsTheBlockOfSixteenThatHoldsTheId) {
    for (const StringCase& entry : kStringCases) {
        char buffer[64];
        memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(LoadStringA(NULL, entry.id, buffer, entry.buffer), entry.length)
            << "string " << entry.id << " into " << entry.buffer;
        EXPECT_STREQ(buffer, entry.text) << "string " << entry.id << " into " << entry.buffer;
    }
}

TEST_F(Resources, LoadStringWithoutABufferSizeStopsTheRun) {
    machine_.scheduler.Spawn("program", [] {
        char buffer[8];
        LoadStringA(NULL, 1, buffer, 0);
    });
    sim::RunOutcome outcome = machine_.scheduler.Run();
    EXPECT_EQ(outcome.kind, sim::RunOutcome::kBugCheck);
    EXPECT_EQ(outcome.report, "LoadStringA with cchBufferMax 0 corrupts the caller's memory");
}

struct FindCase {
    LPCSTR name;
    LPCSTR type;
    DWORD error;  // 0: found
    const char* data;
};

TEST_F(Resources, FindResourceFindsByOrdinalOrNameWithoutRegardToCase) {
    const FindCase cases[] = {
        {"GREETING", RT_RCDATA, 0, "hello"},
        {"greeting", RT_RCDATA, 0, "hello"},
        {MAKEINTRESOURCE(7), "NOTES", 0, "seven"},
        {"#7", "notes", 0, "seven"},
        {MAKEINTRESOURCE(2), RT_STRING, 0, nullptr},
        {MAKEINTRESOURCE(3), RT_STRING, 0, nullptr},
        {MAKEINTRESOURCE(4), RT_STRING, ERROR_RESOURCE_NAME_NOT_FOUND, nullptr},
        {"FAREWELL", RT_RCDATA, ERROR_RESOURCE_NAME_NOT_FOUND, nullptr},
        {MAKEINTRESOURCE(1), RT_BITMAP, ERROR_RESOURCE_TYPE_NOT_FOUND, nullptr},
    };
    for (const FindCase& entry : cases) {
        SetLastError(0);
        HRSRC found = FindResourceA(NULL, entry.name, entry.type);
        std::string what = IS_INTRESOURCE(entry.name) ? std::to_string((ULONG_PTR)entry.name)
                                                      : std::string(entry.name);
        if (entry.error != 0) {
            EXPECT_EQ(found, nullptr) << what;
            EXPECT_EQ(GetLastError(), entry.error) << what;
            continue;
        }
        ASSERT_NE(found, nullptr) << what;
        if (entry.data != nullptr) {
            const char* data = static_cast<const char*>(LockResource(LoadResource(NULL, found)));
            EXPECT_STREQ(data, entry.data) << what;
            EXPECT_GE(SizeofResource(NULL, found), strlen(entry.data)) << what;
        }
    }
}

TEST(ResourcesOfAModuleWithout, FindResourceReportsThatThereAreNone) {
    sim::Machine machine(0);
    EXPECT_EQ(FindResourceA(NULL, MAKEINTRESOURCE(1), RT_STRING), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
    EXPECT_EQ(FindResourceA(reinterpret_cast<HMODULE>(0x12345678), MAKEINTRESOURCE(1), RT_STRING),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Resources, EachIconGroupIsOneSharedIcon) {
    HICON app = LoadIconA(NULL, IDI_APPLICATION);
    HINSTANCE self = reinterpret_cast<HINSTANCE>(sim::win32::CurrentProcess().instance());
    HICON big = LoadIconA(self, MAKEINTRESOURCE(128));
    HICON online = LoadIconA(self, MAKEINTRESOURCE(132));
    HICON named = LoadIconA(self, "MainIcon");
    ASSERT_NE(big, nullptr);
    ASSERT_NE(online, nullptr);
    ASSERT_NE(named, nullptr);
    EXPECT_NE(big, online);
    EXPECT_NE(big, named);
    EXPECT_NE(app, big);
    EXPECT_EQ(LoadIconA(self, MAKEINTRESOURCE(128)), big);
    EXPECT_EQ(LoadIconA(self, "#132"), online);
    EXPECT_EQ(sim::win32::IconResourceId(big), "128");
    EXPECT_EQ(sim::win32::IconResourceId(online), "132");
    EXPECT_EQ(sim::win32::IconResourceId(named), "MAINICON");
    EXPECT_EQ(sim::win32::IconResourceId(app), "32512");
    EXPECT_EQ(sim::win32::IconResourceId(nullptr), "");
    EXPECT_EQ(LoadIconA(self, MAKEINTRESOURCE(133)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    // The icons themselves are RT_ICON resources, not groups.
    EXPECT_EQ(LoadIconA(self, MAKEINTRESOURCE(1)), nullptr);
}

// The resources Ampwise's script gives it, as the program reads them.
TEST(AmpwiseResources, TheStringTableIconsDialogsAndManifestAreThere) {
    sim::Machine machine(0);
    ASSERT_TRUE(sim::win32::CurrentProcess().resources.Load(AMPWISE_RES));
    const std::pair<UINT, const char*> strings[] = {
        {1001, "Tarvel USB HUB Utility"},
        {1002, "No"},
        {1003, "Tarvel USB HUB Utility iPad On-Line"},
        {1004, "Vexis Hub Charging Switcher"},
        {1005, "Galaxy tab is detected, please press \"Switch to Charging\" for fast charging."},
        {1006, "Please press \"Switch to normal\" for data communication."},
        {1007, "You can open notify dialog again by right click this icon"},
        {1008, "Yes"},
    };
    for (const auto& [id, text] : strings) {
        char buffer[256];
        EXPECT_EQ(LoadStringA(NULL, id, buffer, sizeof buffer), static_cast<int>(strlen(text)));
        EXPECT_STREQ(buffer, text);
    }
    HINSTANCE self = reinterpret_cast<HINSTANCE>(sim::win32::CurrentProcess().instance());
    for (const char* icon : {"128", "132", "133"}) {
        EXPECT_EQ(sim::win32::IconResourceId(LoadIconA(self, MAKEINTRESOURCE(atoi(icon)))), icon);
    }
    EXPECT_NE(FindResourceA(NULL, MAKEINTRESOURCE(102), RT_DIALOG), nullptr);
    EXPECT_NE(FindResourceA(NULL, MAKEINTRESOURCE(137), RT_DIALOG), nullptr);
    EXPECT_NE(FindResourceA(NULL, MAKEINTRESOURCE(1), RT_MANIFEST), nullptr);
}

}  // namespace
