// tabvoltctl at the command prompt: its arguments, as Windows' C runtime splits the command
// line, and its lines on standard output and standard error.
#pragma once

#include <string>
#include <vector>

// The arguments after the program's name.
std::vector<std::string> CommandArguments();
// One line, or several separated by LF; each ends in CR LF. Nothing when the stream is closed.
void WriteOut(const std::string& line);
void WriteErr(const std::string& line);
// The text as a JSON string, quotes included; bytes above 0x7F are read as Latin-1, which is
// what the driver's 8-bit texts hold.
std::string JsonString(const std::string& text);
