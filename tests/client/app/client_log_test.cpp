// Where the client's log goes when "c:\VurUpdateGui.log" cannot be opened.
// The tests use the real fixed path and restore whatever was there.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "client_log.h"
#include "temp_files.h"
#include "test_env.h"

namespace {

using zvu::clientLog::kPath;

// The user's log by its wide path (a profile folder may hold any character).
std::string ReadWide(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string text;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) text.append(chunk, got);
  CloseHandle(file);
  return text;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

class ClientLogPlace : public ::testing::Test {
 protected:
  void SetUp() override {
    zvu::clientLog::Close();
    const DWORD attributes = GetFileAttributesA(kPath);
    hadFixedFile_ = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (hadFixedFile_) earlierFixedFile_ = zvu::test::ReadWholeFile(kPath);
    DeleteFileA(kPath);
    userLog_ = zvu::clientLog::UserLogPath();
    ASSERT_FALSE(userLog_.empty());
    // Start without the user's log and its folders, so that they are made.
    DeleteFileW(userLog_.c_str());
    RemoveDirectoryW(FolderOf(userLog_).c_str());
    RemoveDirectoryW(FolderOf(FolderOf(userLog_)).c_str());
  }

  void TearDown() override {
    zvu::clientLog::Close();
    if (holder_ != INVALID_HANDLE_VALUE) CloseHandle(holder_);
    RemoveDirectoryA(kPath);
    DeleteFileA(kPath);
    if (hadFixedFile_) zvu::test::WriteBytes(kPath, earlierFixedFile_);
    DeleteFileW(userLog_.c_str());
  }

  // Opens the log, writes one record and closes it again.
  void RunClientWithRecord(const char* record) {
    ASSERT_TRUE(zvu::clientLog::Open());
    zvu::clientLog::Write(record);
    zvu::clientLog::Close();
  }

  bool UserLogExists() const { return GetFileAttributesW(userLog_.c_str()) != INVALID_FILE_ATTRIBUTES; }

  std::wstring userLog_;
  HANDLE holder_ = INVALID_HANDLE_VALUE;

 private:
  bool hadFixedFile_ = false;
  std::string earlierFixedFile_;
};

TEST_F(ClientLogPlace, AnOpenableFixedPathTakesTheLogAndTheUsersFolderStaysUntouched) {
  RunClientWithRecord("record in the usual place\r\n");
  EXPECT_EQ(zvu::test::ReadWholeFile(kPath), "record in the usual place\r\n");
  EXPECT_FALSE(UserLogExists());
}

TEST_F(ClientLogPlace, AFolderOfThatNameSendsTheRecordsToTheUsersFolder) {
  ASSERT_TRUE(CreateDirectoryA(kPath, nullptr));
  RunClientWithRecord("record after the folder\r\n");
  // Windows, too, refuses to open a folder as a file with access denied.
  EXPECT_EQ(ReadWide(userLog_),
            "c:\\VurUpdateGui.log cannot be opened Err:5, the log is written here instead \r\n"
            "record after the folder\r\n");
}

TEST_F(ClientLogPlace, AFileHeldWithoutSharingSendsTheRecordsToTheUsersFolder) {
  // As another session's client would hold it (it shares reading only).
  holder_ = CreateFileA(kPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder_, INVALID_HANDLE_VALUE);
  RunClientWithRecord("record of the second client\r\n");
  CloseHandle(holder_);
  holder_ = INVALID_HANDLE_VALUE;

  EXPECT_EQ(ReadWide(userLog_),
            "c:\\VurUpdateGui.log cannot be opened Err:32, the log is written here instead \r\n"
            "record of the second client\r\n");
  EXPECT_EQ(zvu::test::ReadWholeFile(kPath), "");
}

}  // namespace
