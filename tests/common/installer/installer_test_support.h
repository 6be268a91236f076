#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "temp_files.h"

// Shared by the installer runner's tests.
namespace zvu::test {

// The built test installers (alpha-1.0.msi, alpha-1.1.msi, broken.msi,
// fake_setup.exe, msiexec-standin\msiexec.exe) as Wine sees their folder.
std::string InstallersDir();


// The text as a UTF-16 little-endian byte string, optionally with byte-order mark.
std::string Utf16(const std::string& ascii, bool byteOrderMark);

// Copies the fake setup program to folder\name and returns the new path.
std::string CopyFakeSetup(const std::string& folder, const std::string& name);

// Runs a command line and returns its exit code (nothing when it cannot start).
std::optional<DWORD> RunAndWait(const std::string& commandLine);

// The system folder's msiexec.exe, by full path: Wine's own, or the stand-in
// where a test put it in its place.
std::string SystemMsiexec();

// Removes product "Alpha" (either version) and its registry key.
void RemoveAlpha();

// A DWORD or string value below HKLM\Software\Zelko\<product>.
std::optional<DWORD> ProductDword(const std::string& product, const char* name);
std::optional<std::string> ProductString(const std::string& product, const char* name);

// Whether a process with this executable file name is running.
bool ProcessRunning(const std::string& exeName);

}  // namespace zvu::test
