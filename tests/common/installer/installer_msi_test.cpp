// Runs with the msiexec stand-in in place of Wine's msiexec.exe in the system
// folder (run_with_standin.sh): package installs that work read as
// successful, as they do on Windows.
#include "installer_runner.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "installer_test_support.h"
#include "test_env.h"

namespace {

using zvu::InstallerRunner;
using zvu::test::InstallersDir;
using zvu::test::ProductDword;
using zvu::test::Utf16;

bool Contains(const std::string& bytes, const std::string& ascii) {
  return bytes.find(Utf16(ascii, false)) != std::string::npos;
}

class PackageInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    zvu::test::RemoveAlpha();
    folder_ = zvu::test::FreshTempFolder("zvu package tests");
    for (const char* name : {"alpha-1.0.msi", "alpha-1.1.msi", "broken.msi"}) {
      CopyFileA((InstallersDir() + "\\" + name).c_str(), (folder_ + "\\" + name).c_str(), FALSE);
    }
  }
  void TearDown() override { zvu::test::RemoveAlpha(); }
  std::string folder_;  // has a space in its name
};

TEST_F(PackageInstall, StandInInstallsThroughWinesEngineAndWritesAWindowsLog) {
  const std::string standIn = zvu::test::SystemMsiexec();
  const std::string log = folder_ + "\\standin.log";
  const auto exitCode = zvu::test::RunAndWait("\"" + standIn + "\" /i \"" + folder_ +
                                              "\\alpha-1.0.msi\" /qn ZVU_NOTE=forwarded /log \"" +
                                              log + "\"");
  ASSERT_TRUE(exitCode.has_value());
  EXPECT_EQ(*exitCode, 0u);
  EXPECT_EQ(ProductDword("Alpha", "Major"), 1u);
  EXPECT_EQ(ProductDword("Alpha", "Minor"), 0u);
  EXPECT_EQ(zvu::test::ProductString("Alpha", "Note"), "forwarded");

  const std::string written = zvu::test::ReadWholeFile(log);
  EXPECT_EQ(written.substr(0, 2), "\xFF\xFE");
  EXPECT_TRUE(Contains(written, "Action ended"));  // Wine's own log text, converted
  EXPECT_TRUE(Contains(written, "Installation completed successfully"));

  const auto brokenExit = zvu::test::RunAndWait("\"" + standIn + "\" /i \"" + folder_ +
                                                "\\broken.msi\" /qn /l*v \"" + log + "\"");
  ASSERT_TRUE(brokenExit.has_value());
  EXPECT_EQ(*brokenExit, 1603u);
  EXPECT_FALSE(ProductDword("Broken", "Major").has_value());
  EXPECT_FALSE(Contains(zvu::test::ReadWholeFile(log), "Installation completed successfully"));
}

TEST_F(PackageInstall, RunnerInstallsAndUpgradesAlpha) {
  InstallerRunner runner;
  EXPECT_TRUE(runner.RunInstaller(folder_ + "\\alpha-1.0.msi", folder_, "", "alpha-1.0.msi.log",
                                  "", nullptr));
  EXPECT_EQ(ProductDword("Alpha", "Minor"), 0u);
  EXPECT_TRUE(runner.RunInstaller(folder_ + "\\alpha-1.1.msi", folder_, "", "alpha-1.1.msi.log",
                                  "", nullptr));
  EXPECT_EQ(ProductDword("Alpha", "Major"), 1u);
  EXPECT_EQ(ProductDword("Alpha", "Minor"), 1u);
}

TEST_F(PackageInstall, RunnerPassesCatalogueOptionsToMsiexec) {
  InstallerRunner runner;
  EXPECT_TRUE(runner.RunInstaller(folder_ + "\\alpha-1.1.msi", folder_,
                                  "ZVU_NOTE=\"from options\" /qn /norestart /log <log_file_name>",
                                  "alpha-1.1.msi.log", "", nullptr));
  EXPECT_EQ(ProductDword("Alpha", "Minor"), 1u);
  EXPECT_EQ(zvu::test::ProductString("Alpha", "Note"), "from options");
}

TEST_F(PackageInstall, FailedPackageReportsFailure) {
  InstallerRunner runner;
  EXPECT_FALSE(runner.RunInstaller(folder_ + "\\broken.msi", folder_, "", "broken.msi.log", "",
                                   nullptr));
  EXPECT_FALSE(ProductDword("Broken", "Major").has_value());
}

}  // namespace
