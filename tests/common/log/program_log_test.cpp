#include "program_log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "test_env.h"

namespace {

std::string TempLogPath(const char* name) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + name;
}

TEST(ProgramLog, RunWritesFromTheStartOverAnEarlierLongerRun) {
  const std::string path = TempLogPath("zvu_program_log_rewrite.log");
  DeleteFileA(path.c_str());

  ASSERT_TRUE(zvu::ProgramLog::Open(path.c_str()));
  zvu::ProgramLog::Write("first run wrote this long line\r\n");
  zvu::ProgramLog::Close();

  ASSERT_TRUE(zvu::ProgramLog::Open(path.c_str()));
  zvu::ProgramLog::Printf("second %d\r\n", 2);
  zvu::ProgramLog::Close();

  EXPECT_EQ(zvu::test::ReadWholeFile(path), "second 2\r\nwrote this long line\r\n");
  DeleteFileA(path.c_str());
}

TEST(ProgramLog, LogStartsOverAtTheSizeLimitInsteadOfGrowing) {
  const std::string path = TempLogPath("zvu_program_log_limit.log");
  DeleteFileA(path.c_str());
  ASSERT_TRUE(zvu::ProgramLog::Open(path.c_str()));
  const std::string record(64 * 1024 - 2, 'a');
  const unsigned long records = zvu::ProgramLog::kSizeLimit / (record.size() + 2);
  for (unsigned long i = 0; i < records; ++i) zvu::ProgramLog::Printf("%s\r\n", record.c_str());
  zvu::ProgramLog::Write("newest record\r\n");
  zvu::ProgramLog::Close();

  const std::string text = zvu::test::ReadWholeFile(path);
  EXPECT_LE(text.size(), zvu::ProgramLog::kSizeLimit);
  EXPECT_EQ(text.rfind("newest record\r\n", 0), 0u) << "the newest record starts the file again";
  EXPECT_EQ(text.substr(text.size() - 3), "a\r\n") << "older text beyond it remains";
  DeleteFileA(path.c_str());
}

TEST(ProgramLog, WritesWhileClosedOrAfterFailedOpenAreIgnored) {
  zvu::ProgramLog::Close();
  zvu::ProgramLog::Write("nowhere\r\n");
  EXPECT_FALSE(zvu::ProgramLog::Open("Q:\\no\\such\\folder\\x.log"));
  EXPECT_FALSE(zvu::ProgramLog::IsOpen());
  zvu::ProgramLog::Printf("%s", "still nowhere");
}

TEST(ProgramLog, RecordsFromManyThreadsStayWhole) {
  const std::string path = TempLogPath("zvu_program_log_threads.log");
  DeleteFileA(path.c_str());
  ASSERT_TRUE(zvu::ProgramLog::Open(path.c_str()));

  const std::string record(300, 'x');
  std::atomic<int> written{0};
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&record, &written, t] {
      for (int i = 0; i < 200; ++i) {
        zvu::ProgramLog::Printf("[%d:%s]\r\n", t, record.c_str());
        ++written;
      }
    });
  }
  // Closing while writers run must neither crash nor tear a record; it comes
  // once the writers are under way, so there is something to look at.
  writers.emplace_back([&written] {
    while (written < 100) std::this_thread::yield();
    zvu::ProgramLog::Close();
  });
  for (auto& w : writers) w.join();

  const std::string text = zvu::test::ReadWholeFile(path);
  size_t pos = 0;
  int lines = 0;
  bool whole = true;
  while (pos < text.size() && whole) {
    const size_t end = text.find("\r\n", pos);
    whole = end != std::string::npos && end - pos == record.size() + 4;
    EXPECT_TRUE(whole) << "record " << lines << " is torn";
    pos = end + 2;
    ++lines;
  }
  EXPECT_GE(lines, 100);
  DeleteFileA(path.c_str());
}

}  // namespace
