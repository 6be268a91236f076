#include "catalogue_reader.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "wait_until.h"

namespace {

// Writes the pieces into an anonymous pipe, closes the write end and reads
// on a thread of its own: what was announced, and whether the reader ended.
struct ReaderRun {
  std::vector<std::string> catalogues;
  bool ended = false;
};

struct ReaderThreadArgs {
  HANDLE readEnd;
  ReaderRun* run;
};

DWORD WINAPI ReaderThread(void* parameter) {
  auto* args = static_cast<ReaderThreadArgs*>(parameter);
  zvu::ReadCatalogues(args->readEnd,
                      [&](const std::string& text) { args->run->catalogues.push_back(text); });
  return 0;
}

ReaderRun ReadThrough(const std::vector<std::string>& pieces) {
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 10));
  ReaderRun run;
  ReaderThreadArgs args{readEnd, &run};
  HANDLE thread = CreateThread(nullptr, 0, ReaderThread, &args, 0, nullptr);
  for (const std::string& piece : pieces) {
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(writeEnd, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr));
    // One read per piece, where the piece fits one read: the next piece is
    // written once the reader has taken this one.
    EXPECT_TRUE(zvu::test::WaitUntil([&] {
      DWORD available = 0;
      return PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available == 0;
    }, 5000));
  }
  CloseHandle(writeEnd);
  run.ended = WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0;
  if (!run.ended) TerminateThread(thread, 1);  // the test fails; do not hang
  CloseHandle(thread);
  CloseHandle(readEnd);
  return run;
}

TEST(CatalogueReader, CutsAtMarkerDropsTheRestOfThatReadAndEndsOnBrokenPipe) {
  const std::string large(250, 'x');
  const ReaderRun run = ReadThrough({large + "\xff", std::string("abc\xff" "def"), "next\xff"});
  EXPECT_TRUE(run.ended);
  EXPECT_EQ(run.catalogues, (std::vector<std::string>{large, "abc", "next"}));
}

TEST(CatalogueReader, HundredBytesThenMarkerInTheNextRead) {
  const std::string exact(100, 'y');
  const ReaderRun run = ReadThrough({exact, "\xff"});
  EXPECT_EQ(run.catalogues, (std::vector<std::string>{exact}));
}

TEST(CatalogueReader, NulCutsItsChunkOnly) {
  std::string first(100, 'a');
  first[10] = '\0';
  const ReaderRun run = ReadThrough({first, "bc\xff"});
  EXPECT_EQ(run.catalogues, (std::vector<std::string>{std::string(10, 'a') + "bc"}));
}

TEST(CatalogueReader, FailedReadAnnouncesNothingOfAnUnfinishedCatalogue) {
  // The pipe breaks in the middle of a catalogue: nothing is announced, not
  // even an empty text, and the reader ends instead of reading again.
  const ReaderRun run = ReadThrough({"half a catalogue"});
  EXPECT_TRUE(run.ended);
  EXPECT_TRUE(run.catalogues.empty());
}

}  // namespace
