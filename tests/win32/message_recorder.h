// Message-sequence tests of the window manager: windows whose procedure writes each message
// it gets as "THREAD: WINDOW MESSAGE", with the expected sequence written as rows of data.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "pc/machine.h"

namespace user32_test {

struct Row {
    std::string thread;
    std::string text;
};

// Compares the recorded lines with the rows, showing both on a mismatch.
::testing::AssertionResult SameRows(const std::vector<std::string>& actual,
                                    const std::vector<Row>& expected);

// The machine's recording: lines in the order they happened.
std::vector<std::string>& Recorded();
// A line from the calling simulated thread.
void Note(const std::string& text);

// What a recording window does with a message beyond writing it down; returns true and
// sets *result when it handles the message itself.
using Reaction = std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)>;

// The messages that are written down (none until this is called); others pass unrecorded.
void RecordOnly(std::vector<UINT> messages);

// A top-level (or, with a parent and WS_CHILD, child) window of the recording class,
// titled `name`, owned by the calling thread.
HWND MakeWindow(const std::string& name, DWORD style = WS_OVERLAPPED, HWND parent = NULL,
                Reaction reaction = nullptr);
// Changes what an existing recording window does.
void SetReaction(HWND hwnd, Reaction reaction);

std::string MessageName(UINT message);

// Runs the threads (name, body) on the current machine until they end.
sim::RunOutcome RunThreads(std::vector<std::pair<std::string, std::function<void()>>> bodies);

// The calling thread's name.
std::string ThreadName();
// Virtual milliseconds since the machine started.
long NowMs();

}  // namespace user32_test
