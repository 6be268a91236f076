#pragma once

#include <windows.h>

#include <string>

#include "unique_handle.h"

namespace zvu::hooks {

// Runs a command line as a child process without a console window and with
// the caller's environment and current directory, logging the command line
// first. Returns the process handle (after the process ended when wait is
// set), or no handle when the process could not be started; the failure is
// logged with the last error.
//
// program, when given, is the full path of the program to start; the command
// line is then passed to it unchanged (its first word is not searched for).
//
// nullInput gives the process the null device as standard input, output and
// error, so that a question it asks ends at once instead of waiting for an
// answer no one can give.
UniqueHandle RunCommand(const std::wstring& commandLine, bool wait,
                        const std::wstring& program = {}, bool nullInput = false);

// The full path of a program in the system directory ("regsvr32.exe").
std::wstring SystemProgramPath(const wchar_t* fileName);

}  // namespace zvu::hooks
