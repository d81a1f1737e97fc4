// The simulated file system through CreateFileA and file handles: dispositions and their
// errors, reading and writing, sharing, and the "file-open" fault.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ampsim/runner.h"
#include "pc/machine.h"
#include "win32/kernel32/file_system.h"

namespace {

constexpr DWORD kUntouched = 0x1234;

class FileSystem : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(sim::win32::WriteWholeFile("c:\\a.out", "old"), 0u);
        sim::win32::MakeDirectory("C:\\Dir");
    }
    sim::Machine machine_{0};
};

struct OpenCase {
    const char* path;
    DWORD access;
    DWORD disposition;
    DWORD error;  // the last error afterwards, kUntouched if the call leaves it
    bool opens;
    const char* content;  // of the path afterwards, nullptr if there is no such file
};
const OpenCase kOpenCases[] = {
    {"C:\\A.OUT", GENERIC_READ, OPEN_EXISTING, kUntouched, true, "old"},
    {"c:/a.out", GENERIC_READ, OPEN_ALWAYS, ERROR_ALREADY_EXISTS, true, "old"},
    {"a.out", GENERIC_WRITE, CREATE_ALWAYS, ERROR_ALREADY_EXISTS, true, ""},
    {"c:\\a.out", GENERIC_READ, CREATE_NEW, ERROR_FILE_EXISTS, false, "old"},
    {"c:\\a.out", GENERIC_READ, TRUNCATE_EXISTING, ERROR_INVALID_PARAMETER, false, "old"},
    {"c:\\a.out", GENERIC_WRITE, TRUNCATE_EXISTING, kUntouched, true, ""},
    {"c:\\missing.txt", GENERIC_READ, OPEN_EXISTING, ERROR_FILE_NOT_FOUND, false, nullptr},
    {"c:\\missing.txt", GENERIC_WRITE, TRUNCATE_EXISTING, ERROR_FILE_NOT_FOUND, false, nullptr},
    {"c:\\nodir\\b.txt", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND, false, nullptr},
    {"c:\\dir\\b.txt", GENERIC_WRITE, CREATE_NEW, kUntouched, true, ""},
    {"c:\\dir\\c.txt", GENERIC_WRITE, OPEN_ALWAYS, ERROR_SUCCESS, true, ""},
    {"c:\\dir", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED, false, nullptr},
};

TEST_F(FileSystem, CreateFileFollowsItsDispositionAndReportsWhatWindowsReports) {
    for (const OpenCase& entry : kOpenCases) {
        // Each case on a tree as SetUp left it.
        sim::win32::WriteWholeFile("c:\\a.out", "old");
        SetLastError(kUntouched);
        HANDLE file = CreateFileA(entry.path, entry.access, FILE_SHARE_READ, NULL,
                                  entry.disposition, FILE_ATTRIBUTE_NORMAL, NULL);
        std::string what =
            std::string(entry.path) + " disposition " + std::to_string(entry.disposition);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, entry.opens) << what;
        EXPECT_EQ(GetLastError(), entry.error) << what;
        std::optional<std::string> content = sim::win32::ReadWholeFile(entry.path);
        EXPECT_EQ(content.has_value(), entry.content != nullptr) << what;
        if (content && entry.content != nullptr) {
            EXPECT_EQ(*content, entry.content) << what;
        }
        if (file != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(file));
        }
    }
}

TEST_F(FileSystem, WhatIsWrittenIsReadBackFromTheStart) {
    HANDLE writer = CreateFileA("c:\\a.out", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    const char text[] = "Power Scheme GUID: 381b4222-f694-41f0-9685-ff5bb260df2e  (Balanced)\r\n";
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(writer, text, sizeof text - 1, &written, NULL));
    EXPECT_EQ(written, sizeof text - 1);
    char buffer[100] = {};
    DWORD read = 99;
    EXPECT_FALSE(ReadFile(writer, buffer, sizeof buffer, &read, NULL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(read, 0u);
    EXPECT_TRUE(CloseHandle(writer));

    HANDLE reader = CreateFileA("c:\\A.out", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    DWORD high = 7;
    EXPECT_EQ(GetFileSize(reader, &high), sizeof text - 1);
    EXPECT_EQ(high, 0u);
    EXPECT_TRUE(ReadFile(reader, buffer, 20, &read, NULL));
    EXPECT_EQ(std::string(buffer, read), "Power Scheme GUID: 3");
    EXPECT_TRUE(ReadFile(reader, buffer, sizeof buffer, &read, NULL));
    EXPECT_EQ(read, sizeof text - 1 - 20);
    EXPECT_TRUE(ReadFile(reader, buffer, sizeof buffer, &read, NULL));
    EXPECT_EQ(read, 0u) << "the end of the file reads as success with no bytes";
    EXPECT_FALSE(WriteFile(reader, "x", 1, &written, NULL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(CloseHandle(reader));
    EXPECT_FALSE(ReadFile(reader, buffer, sizeof buffer, &read, NULL));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetFileSize(reader, NULL), INVALID_FILE_SIZE);
}

struct ShareCase {
    DWORD first_access;
    DWORD first_share;
    DWORD second_access;
    DWORD second_share;
    bool second_opens;
};
const ShareCase kShareCases[] = {
    {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
    {GENERIC_READ, 0, GENERIC_READ, FILE_SHARE_READ, false},
    {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_READ,
     FILE_SHARE_READ | FILE_SHARE_WRITE, true},
    // The reader must allow the writer that is already there.
    {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_READ, FILE_SHARE_READ, false},
    {GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
};

TEST_F(FileSystem, OpensOfOneFileMustEachAllowTheOther) {
    for (const ShareCase& entry : kShareCases) {
        HANDLE first = CreateFileA("c:\\a.out", entry.first_access, entry.first_share, NULL,
                                   OPEN_EXISTING, 0, NULL);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        HANDLE second = CreateFileA("C:\\a.OUT", entry.second_access, entry.second_share, NULL,
                                    OPEN_EXISTING, 0, NULL);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, entry.second_opens)
            << entry.first_access << "/" << entry.first_share << " then " << entry.second_access
            << "/" << entry.second_share;
        if (second == INVALID_HANDLE_VALUE) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        } else {
            CloseHandle(second);
        }
        CloseHandle(first);
        // Once the first handle is closed nothing stands in the way.
        second = CreateFileA("c:\\a.out", entry.second_access, entry.second_share, NULL,
                             OPEN_EXISTING, 0, NULL);
        EXPECT_NE(second, INVALID_HANDLE_VALUE);
        CloseHandle(second);
    }
}

TEST_F(FileSystem, TheFileOpenFaultFailsTheNextOpensOfItsPath) {
    machine_.faults.Arm(sim::Fault::kFileOpen, "c:\\a.out", 2);
    auto open = [](const char* path) {
        HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                  OPEN_EXISTING, 0, NULL);
        DWORD error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
        return error;
    };
    sim::win32::WriteWholeFile("c:\\other.out", "");
    EXPECT_EQ(open("c:\\other.out"), 0u);
    EXPECT_EQ(open("C:\\A.OUT"), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(open("c:\\a.out"), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(open("c:\\a.out"), 0u);
    EXPECT_STREQ(sim::FaultName(sim::Fault::kFileOpen), "file-open");
}

// A scenario names the path as it likes; the fault strikes the file whatever the case.
TEST(FileSystemOfAMachine, AScenariosFileOpenFaultNamesThePathWithoutRegardToCase) {
    ampsim::ScenarioRunner runner("fail file-open C:\\A.OUT\n");
    ampsim::RunResult result = runner.Run(0, nullptr, [](sim::Machine&) {
        sim::win32::WriteWholeFile("c:\\a.out", "");
        HANDLE file = CreateFileA("c:\\a.out", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        EXPECT_EQ(file, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    });
    EXPECT_TRUE(result.ok()) << result.outcome.report;
}

TEST(FileSystemOfAMachine, StartsEmptyAndBelongsToItsMachine) {
    {
        sim::Machine machine(0);
        sim::win32::WriteWholeFile("c:\\a.out", "x");
        EXPECT_EQ(sim::win32::FilePaths(), (std::vector<std::string>{"c:\\a.out"}));
    }
    sim::Machine machine(0);
    EXPECT_TRUE(sim::win32::FilePaths().empty());
    EXPECT_EQ(sim::win32::ReadWholeFile("c:\\a.out"), std::nullopt);
}

}  // namespace
