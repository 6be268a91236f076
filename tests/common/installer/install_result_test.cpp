#include "install_result.h"

#include <gtest/gtest.h>

#include <string>

#include "ansi_text.h"
#include "installer_test_support.h"

namespace {

using zvu::InstallerLogReportsSuccess;
using zvu::ReadInstallResultFile;
using zvu::SetupResultReportsSuccess;
using zvu::test::Utf16;

const std::string kLogHead =
    "=== Verbose logging started: 7/12/2026  10:00:00 ===\r\n"
    "MSI (s) (A8:3C) [10:00:01:002]: Note: 1: 2205 2:  3: Error \r\n";

TEST(InstallerLogResult, Utf16CompletionLinesWithOrWithoutByteOrderMark) {
  for (bool mark : {true, false}) {
    EXPECT_TRUE(InstallerLogReportsSuccess(
        Utf16(kLogHead + "MSI (s): Product: Alpha -- Installation completed successfully.\r\n", mark)));
    EXPECT_TRUE(InstallerLogReportsSuccess(
        Utf16(kLogHead + "MSI (s): Product: Alpha -- Configuration completed successfully.\r\n", mark)));
    EXPECT_FALSE(InstallerLogReportsSuccess(
        Utf16(kLogHead + "MSI (s): Product: Alpha -- Installation operation failed.\r\n", mark)));
  }
}

TEST(InstallerLogResult, OnlyTheExactUtf16WordsCount) {
  // Wine's msiexec writes ANSI: the same words never match.
  EXPECT_FALSE(InstallerLogReportsSuccess("Installation completed successfully.\r\n"));
  EXPECT_FALSE(InstallerLogReportsSuccess(Utf16("installation completed successfully", true)));
  EXPECT_FALSE(InstallerLogReportsSuccess(Utf16("Installation completed", true)));
  EXPECT_FALSE(InstallerLogReportsSuccess(""));
  // Shifted by one byte the units no longer line up.
  std::string shifted = "x";
  shifted += Utf16("Installation completed successfully", false);
  EXPECT_FALSE(InstallerLogReportsSuccess(shifted));
  // A dangling last byte does no harm.
  EXPECT_TRUE(InstallerLogReportsSuccess(Utf16("Installation completed successfully", true) + "z"));
}

TEST(SetupResult, ResultCodeZeroIsSuccessAsAWholeValue) {
  const std::string head = "[InstallShield Silent]\r\nVersion=v7.00\r\n[ResponseResult]\r\n";
  EXPECT_TRUE(SetupResultReportsSuccess(head + "ResultCode=0\r\n"));
  EXPECT_TRUE(SetupResultReportsSuccess(head + "ResultCode=0"));
  EXPECT_TRUE(SetupResultReportsSuccess(head + "ResultCode=0 \n[Application]\n"));
  EXPECT_FALSE(SetupResultReportsSuccess(head + "ResultCode=-3\r\n"));
  EXPECT_FALSE(SetupResultReportsSuccess(head + "ResultCode=01\r\n"));
  EXPECT_FALSE(SetupResultReportsSuccess(head + "ResultCode=0x80004005\r\n"));
  EXPECT_FALSE(SetupResultReportsSuccess(head));
  EXPECT_FALSE(SetupResultReportsSuccess(""));
  // A later whole "ResultCode=0" still counts after a near miss.
  EXPECT_TRUE(SetupResultReportsSuccess("ResultCode=01\r\nResultCode=0\r\n"));
}

TEST(SetupResult, SearchStepsOverDoubleByteCharacters) {
  // In code page 932, 0x83 0x52 is one character whose second byte is 'R'.
  const std::string text = "\x83ResultCode=0\r\n";
  EXPECT_FALSE(SetupResultReportsSuccess(text, 932));
  EXPECT_TRUE(SetupResultReportsSuccess(text, 1252));
  EXPECT_TRUE(SetupResultReportsSuccess("\x83\x52ResultCode=0", 932));
  EXPECT_EQ(zvu::TrimTrailingWhiteSpace("C:\\\x83\x52.msi \t", 932), "C:\\\x83\x52.msi");
  EXPECT_EQ(zvu::TrimTrailingWhiteSpace("   "), "");
}

class InstallResultFile : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = zvu::test::FreshTempFolder("zvu result files"); }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = folder_ + "\\" + name;
    EXPECT_TRUE(zvu::test::WriteBytes(path, bytes));
    return path;
  }
  std::string folder_;
};

TEST_F(InstallResultFile, ReadsEitherKindAndReportsWhatItFound) {
  bool success = false;
  const std::string msiLog = Write("ok.log", Utf16("Installation completed successfully.", true));
  EXPECT_EQ(ReadInstallResultFile(msiLog, false, success), 0);
  EXPECT_TRUE(success);
  // Read as a setup result file the same log is no success.
  EXPECT_EQ(ReadInstallResultFile(msiLog, true, success), 0);
  EXPECT_FALSE(success);

  const std::string setupOk = Write("setup ok.log", "[ResponseResult]\r\nResultCode=0\r\n");
  EXPECT_EQ(ReadInstallResultFile("\"" + setupOk + "\"", true, success), 0);
  EXPECT_TRUE(success);
  const std::string setupFailed = Write("failed.log", "[ResponseResult]\r\nResultCode=-3\r\n");
  EXPECT_EQ(ReadInstallResultFile(setupFailed, true, success), 0);
  EXPECT_FALSE(success);

  const std::string ansi = Write("ansi.log", "Installation completed successfully.\r\n");
  EXPECT_EQ(ReadInstallResultFile(ansi, false, success), 0);
  EXPECT_FALSE(success);
}

TEST_F(InstallResultFile, EmptyLogIsReadAsFailureAndMissingLogIsUnreadable) {
  bool success = true;
  EXPECT_EQ(ReadInstallResultFile(Write("empty.log", ""), false, success), 0);
  EXPECT_FALSE(success);
  success = true;
  EXPECT_EQ(ReadInstallResultFile(Write("empty2.log", ""), true, success), 0);
  EXPECT_FALSE(success);

  success = true;
  EXPECT_EQ(ReadInstallResultFile(folder_ + "\\missing.log", false, success), -1);
  EXPECT_FALSE(success);
  EXPECT_EQ(ReadInstallResultFile(folder_ + "\\missing.log", true, success), -1);
  EXPECT_EQ(ReadInstallResultFile("", false, success), -1);
  EXPECT_EQ(ReadInstallResultFile(folder_, false, success), -1);
}

TEST_F(InstallResultFile, LargeLogIsReadToItsEnd) {
  std::string body;
  for (int i = 0; i < 60000; ++i) body += "MSI (s) (A8:3C) [10:00:01:002]: Doing action: Something\r\n";
  const std::string path =
      Write("large.log", Utf16(body + "Product: Alpha -- Installation completed successfully.\r\n", true));
  bool success = false;
  EXPECT_EQ(ReadInstallResultFile(path, false, success), 0);
  EXPECT_TRUE(success);
}

}  // namespace
