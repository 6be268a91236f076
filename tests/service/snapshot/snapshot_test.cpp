#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "module_list.h"
#include "process_list.h"
#include "thread_list.h"
#include "unique_handle.h"

namespace {

const bool g_childrenOffTheOutput = zvu::test::KeepChildrenOffTheOutput();

std::string OwnExePath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

std::vector<BYTE> OwnUserSid() {
  HANDLE token = nullptr;
  std::vector<BYTE> sid;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return sid;
  BYTE buffer[512];
  DWORD size = 0;
  if (GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size)) {
    PSID user = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    sid.assign(static_cast<BYTE*>(user), static_cast<BYTE*>(user) + GetLengthSid(user));
  }
  CloseHandle(token);
  return sid;
}

TEST(ProcessList, FindsTheShellAndThisProgramWithPathsAndOwners) {
  ASSERT_NE(zvu::test::EnsureShellRunning(), 0u);
  zvu::ProcessList list;
  ASSERT_GT(list.Count(), 1u);
  EXPECT_FALSE(list.At(list.Count()).has_value());

  bool shellSeen = false;
  bool selfSeen = false;
  for (size_t i = 0; i < list.Count(); ++i) {
    const zvu::ProcessRecord record = *list.At(i);
    if (std::strcmp(record.ExeFile(), "explorer.exe") == 0) {
      shellSeen = true;
      EXPECT_NE(std::strstr(record.ImagePath(), "explorer.exe"), nullptr) << record.ImagePath();
    }
    if (record.ProcessId() == GetCurrentProcessId()) {
      selfSeen = true;
      EXPECT_STRCASEEQ(record.ImagePath(), OwnExePath().c_str());
      ASSERT_NE(record.OwnerSid(), nullptr);
      EXPECT_TRUE(EqualSid(record.OwnerSid(), OwnUserSid().data()));
    }
    if (record.ProcessId() == 0) {
      EXPECT_EQ(record.OwnerSid(), nullptr);
      EXPECT_STREQ(record.ImagePath(), "");
    }
  }
  EXPECT_TRUE(shellSeen);
  EXPECT_TRUE(selfSeen);
}

TEST(ProcessRecord, IdZeroIsNeverTakenForTheCallingProcess) {
  // A module snapshot of id 0 describes the caller; the idle process must
  // not borrow this program's path, even under this program's name.
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  entry.th32ProcessID = 0;
  const std::string path = OwnExePath();
  std::strcpy(entry.szExeFile, path.substr(path.find_last_of('\\') + 1).c_str());
  const zvu::ProcessRecord record = zvu::ReadProcessRecord(entry);
  EXPECT_EQ(record.OwnerSid(), nullptr);
  EXPECT_STREQ(record.ImagePath(), "");
}

TEST(ProcessRecord, CopiesOwnTheirSidAndPathsAreCutAt255) {
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  entry.th32ProcessID = GetCurrentProcessId();
  std::strcpy(entry.szExeFile, "x.exe");
  zvu::ProcessRecord original(entry);
  std::vector<BYTE> sid = OwnUserSid();
  ASSERT_FALSE(sid.empty());
  original.SetOwnerSid(sid.data());
  original.SetImagePath(std::string(300, 'p').c_str());
  EXPECT_EQ(std::strlen(original.ImagePath()), 255u);

  zvu::ProcessRecord copy = original;
  zvu::ProcessRecord assigned;
  assigned = copy;
  ASSERT_NE(copy.OwnerSid(), nullptr);
  EXPECT_NE(copy.OwnerSid(), original.OwnerSid());
  EXPECT_TRUE(EqualSid(copy.OwnerSid(), original.OwnerSid()));
  EXPECT_TRUE(EqualSid(assigned.OwnerSid(), original.OwnerSid()));
  original.SetOwnerSid(nullptr);
  EXPECT_EQ(original.OwnerSid(), nullptr);
  EXPECT_TRUE(EqualSid(copy.OwnerSid(), sid.data()));
  EXPECT_STREQ(copy.ImagePath(), std::string(255, 'p').c_str());
}

TEST(ModuleList, ListsThisProgramsModules) {
  zvu::ModuleList modules;
  ASSERT_TRUE(modules.Fill(GetCurrentProcessId()));
  bool exeSeen = false;
  for (size_t i = 0; i < modules.Count(); ++i) {
    if (_stricmp(modules.At(i)->szExePath, OwnExePath().c_str()) == 0) exeSeen = true;
  }
  EXPECT_TRUE(exeSeen);
  EXPECT_FALSE(modules.Fill(0xFFFFFFF0u));
  EXPECT_GT(modules.Count(), 0u) << "a failed fill leaves the list as it was";
}

TEST(ThreadList, CapturesOtherThreadsRegistersButNotTheCallers) {
  zvu::UniqueHandle running(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  zvu::UniqueHandle stop(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  std::atomic<DWORD> workerId{0};
  std::thread worker([&] {
    workerId = GetCurrentThreadId();
    SetEvent(running.get());
    WaitForSingleObject(stop.get(), INFINITE);
  });
  const bool started = WaitForSingleObject(running.get(), 10000) == WAIT_OBJECT_0;
  zvu::ThreadList threads;
  const bool filled = threads.Fill(GetCurrentProcessId(), true);
  zvu::ThreadList uncaptured;
  const bool uncapturedFilled = uncaptured.Fill(GetCurrentProcessId(), false);
  SetEvent(stop.get());
  worker.join();

  ASSERT_TRUE(started);
  ASSERT_TRUE(filled);
  bool workerSeen = false;
  bool callerSeen = false;
  for (size_t i = 0; i < threads.Count(); ++i) {
    const zvu::ThreadRecord record = *threads.At(i);
    EXPECT_EQ(record.entry.th32OwnerProcessID, GetCurrentProcessId());
    if (record.entry.th32ThreadID == workerId) {
      workerSeen = true;
      EXPECT_NE(record.context.Rsp, 0u);
      EXPECT_NE(record.context.Rip, 0u);
    }
    if (record.entry.th32ThreadID == GetCurrentThreadId()) {
      callerSeen = true;
      EXPECT_EQ(record.context.Rip, 0u);
    }
  }
  EXPECT_TRUE(workerSeen);
  EXPECT_TRUE(callerSeen);

  ASSERT_TRUE(uncapturedFilled);
  for (size_t i = 0; i < uncaptured.Count(); ++i) EXPECT_EQ(uncaptured.At(i)->context.Rip, 0u);
}

}  // namespace
