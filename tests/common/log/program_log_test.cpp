#include "program_log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "log_capture.h"
#include "temp_files.h"
#include "test_env.h"

namespace {

using zvu::test::ProgramLogCloser;
using zvu::test::ReadWholeFile;
using zvu::test::TempFilePath;

TEST(ProgramLog, RunWritesFromTheStartOverAnEarlierLongerRun) {
  const std::string path = TempFilePath("zvu_program_log_rewrite.log");
  ProgramLogCloser closer;

  ASSERT_TRUE(zvu::ProgramLog::Open(path.c_str()));
  zvu::ProgramLog::Write("first run wrote this long line\r\n");
  zvu::ProgramLog::Close();

  ASSERT_TRUE(zvu::ProgramLog::Open(path.c_str()));
  zvu::ProgramLog::Printf("second %d\r\n", 2);
  zvu::ProgramLog::Close();

  EXPECT_EQ(ReadWholeFile(path), "second 2\r\nwrote this long line\r\n");
  DeleteFileA(path.c_str());
}

TEST(ProgramLog, LogStartsOverAtTheSizeLimitInsteadOfGrowing) {
  const std::string path = TempFilePath("zvu_program_log_limit.log");
  ProgramLogCloser closer;
  ASSERT_TRUE(zvu::ProgramLog::Open(path.c_str()));
  const std::string record(64 * 1024 - 2, 'a');
  const unsigned long records = zvu::ProgramLog::kSizeLimit / (record.size() + 2);
  for (unsigned long i = 0; i < records; ++i) zvu::ProgramLog::Printf("%s\r\n", record.c_str());
  zvu::ProgramLog::Write("newest record\r\n");
  zvu::ProgramLog::Close();

  const std::string text = ReadWholeFile(path);
  EXPECT_LE(text.size(), zvu::ProgramLog::kSizeLimit);
  EXPECT_EQ(text.rfind("newest record\r\n", 0), 0u) << "the newest record starts the file again";
  EXPECT_EQ(text.substr(text.size() - 3), "a\r\n") << "older text beyond it remains";
  DeleteFileA(path.c_str());
}

TEST(ProgramLog, WritesWhileClosedOrAfterFailedOpenAreIgnored) {
  const std::string path = TempFilePath("zvu_program_log_closed.log");
  ProgramLogCloser closer;
  ASSERT_TRUE(zvu::ProgramLog::Open(path.c_str()));
  zvu::ProgramLog::Write("kept\r\n");
  zvu::ProgramLog::Close();
  EXPECT_FALSE(zvu::ProgramLog::IsOpen());
  zvu::ProgramLog::Write("nowhere\r\n");
  EXPECT_EQ(ReadWholeFile(path), "kept\r\n");

  // A failed open leaves the log closed, not still writing to the earlier file.
  ASSERT_TRUE(zvu::ProgramLog::Open(path.c_str()));
  SetLastError(0);
  EXPECT_FALSE(zvu::ProgramLog::Open("Q:\\no\\such\\folder\\x.log"));
  EXPECT_NE(GetLastError(), 0u) << "the open's error is left for the caller";
  EXPECT_FALSE(zvu::ProgramLog::IsOpen());
  zvu::ProgramLog::Printf("%s", "still nowhere\r\n");
  zvu::ProgramLog::Write("nowhere either\r\n");
  EXPECT_EQ(ReadWholeFile(path), "kept\r\n");
  DeleteFileA(path.c_str());
}

TEST(ProgramLog, RecordsFromManyThreadsStayWhole) {
  const std::string path = TempFilePath("zvu_program_log_threads.log");
  ProgramLogCloser closer;
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

  const std::string text = ReadWholeFile(path);
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
