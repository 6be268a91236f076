// ZelkoVuroCatalogue.exe as a maker runs it: output and exit status.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "installer_digest.h"
#include "product_keys.h"
#include "temp_files.h"
#include "unique_handle.h"

namespace {

struct CheckerRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;
};

std::string WindowsPath(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path.rfind('\\', 0) == 0 ? "Z:" + path : path;
}

CheckerRun RunChecker(const std::string& arguments) {
  CheckerRun run;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  zvu::UniqueHandle reader(readEnd);
  zvu::UniqueHandle writer(writeEnd);
  SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writer.get();
  startup.hStdError = writer.get();
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::string commandLine(1, '"');
  commandLine.append(WindowsPath(ZVU_TEST_CHECKER_EXE)).append("\" ").append(arguments);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &process)) {
    return run;
  }
  zvu::UniqueHandle processHandle(process.hProcess);
  zvu::UniqueHandle thread(process.hThread);
  writer.reset();  // the child holds the only write end now
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(reader.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    run.output.append(buffer, read);
  }
  if (WaitForSingleObject(processHandle.get(), 30000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(processHandle.get(), &run.exitCode);
  }
  return run;
}

TEST(CatalogueCheckerProgram, ExitStatusIsCleanWarningsOrErrors) {
  const std::string path = zvu::test::TempFilePath("zvu-checker.xml");
  const std::string good =
      "<c><updates><update><product>Alpha</product><major>1</major><minor>1</minor>"
      "<build>0</build><subbuild>0</subbuild><url>http://h/a.msi</url><size>9</size>"
      "<sha256>ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad</sha256>"
      "</update></updates></c>";

  ASSERT_TRUE(zvu::test::WriteBytes(path, good));
  CheckerRun run = RunChecker("check \"" + path + "\" --installed Alpha=1.0.0.0");
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_NE(run.output.find("installed: Alpha 1.0.0.0"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("offered to Alpha 1.0.0.0"), std::string::npos) << run.output;

  std::string warned = good;
  warned.replace(warned.find("<size>9</size>"), 14, "");
  ASSERT_TRUE(zvu::test::WriteBytes(path, warned));
  EXPECT_EQ(RunChecker("check \"" + path + "\" --installed Alpha=1.0.0.0").exitCode, 1u);

  ASSERT_TRUE(zvu::test::WriteBytes(path, "<c><updates>"));
  EXPECT_EQ(RunChecker("check \"" + path + "\"").exitCode, 2u);

  // A command line it cannot use, a file it cannot read.
  EXPECT_EQ(RunChecker("check").exitCode, 2u);
  EXPECT_EQ(RunChecker("check \"" + path + "\" --installed Alpha").exitCode, 2u);
  EXPECT_EQ(RunChecker("frobnicate").exitCode, 2u);
  DeleteFileA(path.c_str());
  EXPECT_EQ(RunChecker("check \"" + path + "\"").exitCode, 2u);
}

// Without --installed the machine's products are read from both registry
// views: a 32-bit product's key sits in the 32-bit view only.
TEST(CatalogueCheckerProgram, MachineProductsOfBothRegistryViewsAreCheckedOnce) {
  zvu::test::ScopedProductKey wow("Zvu Test Checker Wow", {1, 0, 0, 0}, KEY_WOW64_32KEY);
  zvu::test::ScopedProductKey both64("Zvu Test Checker Both", {2, 0, 0, 0});
  zvu::test::ScopedProductKey both32("Zvu Test Checker Both", {1, 0, 0, 0}, KEY_WOW64_32KEY);
  const std::string path = zvu::test::TempFilePath("zvu-checker-views.xml");
  auto update = [](const std::string& product, int major) {
    return "<update><product>" + product + "</product><major>" + std::to_string(major) +
           "</major><minor>1</minor><build>0</build><subbuild>0</subbuild>"
           "<url>http://h/a.msi</url><size>9</size></update>";
  };
  ASSERT_TRUE(zvu::test::WriteBytes(
      path, "<c><updates>" + update("Zvu Test Checker Wow", 1) +
                update("Zvu Test Checker Both", 2) + "</updates></c>"));

  const CheckerRun run = RunChecker("check \"" + path + "\"");
  DeleteFileA(path.c_str());
  auto count = [&](const std::string& text) {
    size_t n = 0;
    for (size_t at = run.output.find(text); at != std::string::npos;
         at = run.output.find(text, at + 1)) {
      ++n;
    }
    return n;
  };
  EXPECT_EQ(count("installed: Zvu Test Checker Wow 1.0.0.0 (this machine)"), 1u) << run.output;
  EXPECT_EQ(count("installed: Zvu Test Checker Both "), 1u) << run.output;
  EXPECT_EQ(count("installed: Zvu Test Checker Both 2.0.0.0 (this machine)"), 1u) << run.output;
  EXPECT_EQ(count("  offered to Zvu Test Checker Wow 1.0.0.0"), 1u) << run.output;
  EXPECT_EQ(count("  offered to Zvu Test Checker Both 2.0.0.0"), 1u) << run.output;
  EXPECT_EQ(count("Zvu Test Checker Both 1.0.0.0"), 0u) << run.output;
}

TEST(CatalogueCheckerProgram, HashPrintsTheDigestsToPaste) {
  const std::string first = zvu::test::TempFilePath("zvu-hash-1.msi");
  const std::string second = zvu::test::TempFilePath("zvu-hash-2.msi");
  ASSERT_TRUE(zvu::test::WriteBytes(first, "abc"));
  ASSERT_TRUE(zvu::test::WriteBytes(second, std::string(100000, 'z')));
  std::string secondDigest;
  ASSERT_TRUE(zvu::ComputeFileSha256(second, secondDigest));

  CheckerRun run = RunChecker("hash \"" + first + "\" \"" + second + "\"");
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_NE(run.output.find("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad  " +
                            first),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find(secondDigest + "  " + second), std::string::npos) << run.output;

  DeleteFileA(second.c_str());
  run = RunChecker("hash \"" + first + "\" \"" + second + "\"");
  EXPECT_EQ(run.exitCode, 2u);
  EXPECT_NE(run.output.find("cannot be read"), std::string::npos) << run.output;
  DeleteFileA(first.c_str());
}

}  // namespace
