// The filter actions against the metabase stand-in (an in-process COM server
// registered under the admin base's class for the length of this program).
#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "hooks_test_support.h"
#include "metabase_store.h"

namespace zvu::test::hooks {
namespace {

const std::string kFilters = "LM/W3SVC/Filters";
const std::string kFilterKey = "LM/W3SVC/Filters/IISQuillet";
const wchar_t kSystemFolder[] = L"C:\\windows\\system32\\";
const std::string kFilterPath = "C:\\windows\\system32\\inetsrv\\IISQuilletFilter.dll";

HRESULT CallStandIn(const char* entry) {
  HMODULE standIn = LoadLibraryW(MetabaseStandInDll().c_str());
  if (!standIn) return E_FAIL;
  auto call = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(GetProcAddress(standIn, entry)));
  const HRESULT result = call ? call() : E_FAIL;
  FreeLibrary(standIn);
  return result;
}

std::string ReadText(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void SeedStore(const std::string& lines) {
  std::ofstream(ZVU_METABASE_STORE_PATH, std::ios::binary | std::ios::trunc) << lines;
  DeleteFileA(ZVU_METABASE_JOURNAL_PATH);
}

// A string value of the store, or "<absent>".
std::string StoredValue(const std::string& path, int id) {
  const std::string prefix = "value\t" + path + "\t" + std::to_string(id) + "\t";
  std::istringstream lines(ReadText(ZVU_METABASE_STORE_PATH));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, prefix.size(), prefix) == 0) return line.substr(prefix.size());
  }
  return "<absent>";
}

bool StoredKey(const std::string& path) {
  std::istringstream lines(ReadText(ZVU_METABASE_STORE_PATH));
  std::string line;
  while (std::getline(lines, line)) {
    if (line == "key\t" + path) return true;
  }
  return false;
}

std::vector<std::string> JournalLines() {
  std::vector<std::string> result;
  std::istringstream lines(ReadText(ZVU_METABASE_JOURNAL_PATH));
  std::string line;
  while (std::getline(lines, line)) result.push_back(line);
  return result;
}

std::string LoadOrderLine(const std::string& loadOrder) {
  return "value\t" + kFilters + "\t2040\t" + loadOrder + "\n";
}

const std::string kServer = "key\tLM/W3SVC\nkey\t" + kFilters + "\n";

class MetabaseTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_EQ(CallStandIn("DllRegisterServer"), S_OK); }
  static void TearDownTestSuite() {
    CallStandIn("DllUnregisterServer");
    DeleteFileA(ZVU_METABASE_STORE_PATH);
    DeleteFileA(ZVU_METABASE_JOURNAL_PATH);
  }
  UINT Insert(const wchar_t* folder = kSystemFolder) {
    return library_.SessionAndWide("InsertFilter", 0, folder);
  }
  UINT Remove() { return library_.SessionAndWide("RemoveFilter", 0, nullptr); }

  HooksLibrary library_;
};

TEST_F(MetabaseTest, InsertRegistersTheFilterAndPutsItLast) {
  SeedStore(kServer + LoadOrderLine("sspifilt,IISQuillet,Compression"));
  const size_t logStart = LogSize();
  EXPECT_EQ(Insert(), 0u);
  EXPECT_TRUE(StoredKey(kFilterKey));
  EXPECT_EQ(StoredValue(kFilterKey, 1002), "IIsFilter");
  EXPECT_EQ(StoredValue(kFilterKey, 2041), kFilterPath);
  EXPECT_EQ(StoredValue(kFilterKey, 2045).rfind("Authentication filter -  ", 0), 0u);
  EXPECT_EQ(StoredValue(kFilters, 2040), "sspifilt,Compression,IISQuillet");
  EXPECT_TRUE(LogMessagesFrom(logStart).empty()) << "InsertFilter has no log line";

  EXPECT_EQ(Remove(), 0u);
  EXPECT_EQ(StoredValue(kFilters, 2040), "sspifilt,Compression,");
  EXPECT_FALSE(StoredKey(kFilterKey));
}

TEST_F(MetabaseTest, LoadOrderExamplesForInsertAndRemove) {
  struct Case {
    const char* before;  // nullptr: no load order
    const char* afterInsert;
    const char* afterRemove;  // of the text before
  };
  const Case cases[] = {
      {"sspifilt,IISQuillet,Compression", "sspifilt,Compression,IISQuillet",
       "sspifilt,,Compression"},
      {"IISQuillet", "IISQuillet", ""},
      {nullptr, "IISQuillet", "<absent>"},
      {"a,,b", "a,b,IISQuillet", "a,,b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before ? c.before : "(absent)");
    const std::string seed = kServer + (c.before ? LoadOrderLine(c.before) : "");
    SeedStore(seed);
    EXPECT_EQ(Insert(), 0u);
    EXPECT_EQ(StoredValue(kFilters, 2040), c.afterInsert);
    SeedStore(seed);
    EXPECT_EQ(Remove(), 0u);
    EXPECT_EQ(StoredValue(kFilters, 2040), c.afterRemove);
  }
}

TEST_F(MetabaseTest, InsertCreatesTheFilterContainerWhenTheServerHasNone) {
  SeedStore("key\tLM/W3SVC\n");
  EXPECT_EQ(Insert(), 0u);
  EXPECT_EQ(StoredValue(kFilterKey, 1002), "IIsFilter");
  EXPECT_EQ(StoredValue(kFilters, 2040), "IISQuillet");
}

TEST_F(MetabaseTest, UnreadableLoadOrderIsLeftAloneAndInsertFails) {
  SeedStore(kServer + LoadOrderLine("sspifilt,Compression") + "unreadable\t" + kFilters +
            "\t2040\n");
  EXPECT_EQ(Insert(), 1603u);
  EXPECT_EQ(StoredValue(kFilters, 2040), "sspifilt,Compression");
  EXPECT_EQ(Remove(), 0u);
  EXPECT_EQ(StoredValue(kFilters, 2040), "sspifilt,Compression");
}

TEST_F(MetabaseTest, InsertFailsWhenTheFilterCannotBeWrittenEvenIfTheLoadOrderWas) {
  SeedStore(kServer + LoadOrderLine("sspifilt") + "key\t" + kFilterKey + "\nreadonly\t" +
            kFilterKey + "\n");
  EXPECT_EQ(Insert(), 1603u);
  EXPECT_EQ(StoredValue(kFilterKey, 2041), "<absent>");
}

TEST_F(MetabaseTest, BusyFilterContainerFailsInsertAndChangesNothing) {
  const std::string seed = kServer + LoadOrderLine("sspifilt") + "busy\t" + kFilters + "\n";
  SeedStore(seed);
  EXPECT_EQ(Insert(), 1603u);
  EXPECT_EQ(StoredValue(kFilters, 2040), "sspifilt");
  EXPECT_FALSE(StoredKey(kFilterKey));
  EXPECT_EQ(library_.Session("FilterExists", 0), 0u);
}

TEST_F(MetabaseTest, FilterExistsAnswersWhetherTheFilterKeyIsThere) {
  SeedStore(kServer);
  size_t logStart = LogSize();
  EXPECT_EQ(library_.Session("FilterExists", 0), 0u);
  EXPECT_EQ(LogMessagesFrom(logStart), std::vector<std::string>{"ExistFilter\n"});
  SeedStore(kServer + "key\t" + kFilterKey + "\n");
  EXPECT_EQ(library_.Session("FilterExists", 0), 1u);
}

TEST_F(MetabaseTest, ReplaceFilterPathRepairsOnlyTheSitesThatListTheFilter) {
  SeedStore(kServer +
            "key\tLM/W3SVC/Info\n"
            "key\tLM/W3SVC/1/Filters/Compression\n"
            "key\tLM/W3SVC/3/Filters/Compression\n"
            "key\tLM/W3SVC/3/Filters/Quillet\n"
            "value\tLM/W3SVC/1/Filters/Compression\t2041\tC:\\old\\compress.dll\n"
            "value\tLM/W3SVC/3/Filters/Compression\t2041\tC:\\old\\compress.dll\n"
            "value\tLM/W3SVC/3/Filters/Quillet\t2041\tC:\\old\\IISQuilletFilter.dll\n"
            "value\t" + kFilterKey + "\t2041\tC:\\server\\IISQuilletFilter.dll\n");
  const size_t logStart = LogSize();
  EXPECT_EQ(library_.Wide("ReplaceFilterPath", kSystemFolder), 0u);
  EXPECT_EQ(LogMessagesFrom(logStart),
            (std::vector<std::string>{"ReplaceFilterPath1\n", "SITEID=3\n"}));
  EXPECT_EQ(StoredValue("LM/W3SVC/3/Filters/Quillet", 2041), kFilterPath);
  EXPECT_EQ(StoredValue("LM/W3SVC/3/Filters/Compression", 2041), "C:\\old\\compress.dll");
  EXPECT_EQ(StoredValue("LM/W3SVC/1/Filters/Compression", 2041), "C:\\old\\compress.dll");
  EXPECT_EQ(StoredValue(kFilterKey, 2041), "C:\\server\\IISQuilletFilter.dll");
}

TEST_F(MetabaseTest, EveryKeyIsOpenedWithTheShortTimeOutAndClosedAgain) {
  SeedStore(kServer + LoadOrderLine("sspifilt") +
            "value\tLM/W3SVC/2/Filters/Q\t2041\tIISQuillet.dll\n");
  Insert();
  library_.Session("FilterExists", 0);
  library_.Wide("ReplaceFilterPath", kSystemFolder);
  Remove();
  int opened = 0, closed = 0;
  for (const std::string& line : JournalLines()) {
    if (line.rfind("open\t", 0) == 0) {
      ++opened;
      EXPECT_EQ(line.substr(line.rfind('\t') + 1), "200") << line;
    }
    if (line.rfind("close\t", 0) == 0) ++closed;
  }
  EXPECT_GT(opened, 10);
  EXPECT_EQ(opened, closed);  // every opening succeeded here, and each was closed
}

TEST_F(MetabaseTest, EmptyFolderDoesNothing) {
  SeedStore(kServer + LoadOrderLine("sspifilt"));
  EXPECT_EQ(Insert(L""), 0u);
  EXPECT_EQ(Insert(nullptr), 0u);
  EXPECT_EQ(library_.Wide("ReplaceFilterPath", L""), 0u);
  EXPECT_EQ(library_.Wide("ReplaceFilterPath", nullptr), 0u);
  EXPECT_TRUE(JournalLines().empty());
  EXPECT_EQ(StoredValue(kFilters, 2040), "sspifilt");
}

TEST_F(MetabaseTest, WithoutTheServerTheActionsFailOrAnswerNo) {
  CallStandIn("DllUnregisterServer");
  const size_t logStart = LogSize();
  EXPECT_EQ(Insert(), 1603u);
  // The setup log says why, not only the installer's 1603.
  const std::vector<std::string> messages = LogMessagesFrom(logStart);
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(),
            "IIS metabase (IMSAdminBase) is not registered: IIS 6 Metabase Compatibility is not "
            "installed\n");
  EXPECT_EQ(Remove(), 1603u);
  EXPECT_EQ(library_.Wide("ReplaceFilterPath", kSystemFolder), 1603u);
  EXPECT_EQ(library_.Session("FilterExists", 0), 0u);
  ASSERT_EQ(CallStandIn("DllRegisterServer"), S_OK);
}

TEST_F(MetabaseTest, CallersCOMSetUpIsLeftAsItWas) {
  SeedStore(kServer + "key\t" + kFilterKey + "\n");
  UINT inMultiThreaded = 9, inNone = 9;
  HRESULT afterMultiThreaded = E_FAIL, afterNone = E_FAIL;
  std::thread([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    inMultiThreaded = library_.Session("FilterExists", 0);
    // Still initialised: a second initialisation only counts up.
    afterMultiThreaded = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CoUninitialize();
    CoUninitialize();
  }).join();
  std::thread([&] {
    inNone = library_.Session("FilterExists", 0);
    // The action's own initialisation was undone.
    afterNone = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CoUninitialize();
  }).join();
  EXPECT_EQ(inMultiThreaded, 1u);
  EXPECT_EQ(afterMultiThreaded, S_FALSE);
  EXPECT_EQ(inNone, 1u);
  EXPECT_EQ(afterNone, S_OK);
}

}  // namespace
}  // namespace zvu::test::hooks
