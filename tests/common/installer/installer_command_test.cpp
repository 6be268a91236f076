#include "installer_command.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "installer_version.h"

namespace {

using zvu::BuildInstallerCommand;
using zvu::InstallerCommandError;
using zvu::InstallerCommandRequest;

constexpr const char* kLog = "C:\\users\\me\\LOCALA~1\\Zelko\\VURUPD~1\\a.log";

InstallerCommandRequest Request(const std::string& installer, const std::string& options = "",
                                const std::string& issfile = "", int version = 5) {
  InstallerCommandRequest request;
  request.installerPath = installer;
  request.folder = "C:\\Temp\\ZELKO UPDATES";
  request.options = options;
  request.issfile = issfile;
  request.logPath = kLog;
  request.installerMajorVersion = version;
  return request;
}

std::string Line(const InstallerCommandRequest& request) {
  const auto command = BuildInstallerCommand(request);
  EXPECT_EQ(command.error, InstallerCommandError::kNone);
  return command.commandLine;
}

TEST(InstallerCommand, PackageWithoutOptionsRunsQuietlyWithLog) {
  EXPECT_EQ(Line(Request("C:\\Temp\\ZELKO UPDATES\\alpha.msi")),
            std::string("msiexec /i \"C:\\Temp\\ZELKO UPDATES\\alpha.msi\" /qn /norestart /log ") +
                kLog + " ");
  EXPECT_EQ(Line(Request("C:\\Temp\\alpha.msi")),
            std::string("msiexec /i C:\\Temp\\alpha.msi /qn /norestart /log ") + kLog + " ");
}

TEST(InstallerCommand, SetupProgramWithoutOptionsWrapsItsPackage) {
  EXPECT_EQ(Line(Request("C:\\Temp\\ZELKO UPDATES\\setup.exe")),
            std::string("\"C:\\Temp\\ZELKO UPDATES\\setup.exe\" /s /sms /v\"/qn /norestart /log ") +
                kLog + " \"");
}

TEST(InstallerCommand, OptionsReplaceTheSilentSwitchesAndNameTheLog) {
  EXPECT_EQ(Line(Request("C:\\Temp\\ZELKO UPDATES\\alpha.msi", "/qn /log <log_file_name>")),
            std::string("msiexec /i \"C:\\Temp\\ZELKO UPDATES\\alpha.msi\" /qn /log ") + kLog);
  EXPECT_EQ(Line(Request("C:\\Temp\\setup.exe", "/quiet")), "C:\\Temp\\setup.exe /quiet");
  // Every placeholder is replaced, once each.
  EXPECT_EQ(Line(Request("C:\\Temp\\setup.exe", "/a <log_file_name> /b <log_file_name>")),
            std::string("C:\\Temp\\setup.exe /a ") + kLog + " /b " + kLog);
}

TEST(InstallerCommand, OptionsWithQuotesAndAmpersandsPassVerbatim) {
  // CreateProcess runs no shell, so "&" carries no meaning and nothing is escaped.
  const std::string options = "NAME=\"Tom & Jerry\" /x \"a\"\"b\" & del *";
  EXPECT_EQ(Line(Request("C:\\Temp\\setup.exe", options)), "C:\\Temp\\setup.exe " + options);
}

TEST(InstallerCommand, IssfileSelectsRecordedResponseMode) {
  const auto command =
      BuildInstallerCommand(Request("C:\\Temp\\ZELKO UPDATES\\setup.exe", "", "[InstallShield]"));
  EXPECT_EQ(command.responseFilePath, "C:\\Temp\\ZELKO UPDATES\\setup.iss");
  EXPECT_EQ(command.commandLine,
            std::string("\"C:\\Temp\\ZELKO UPDATES\\setup.exe\" /s /f1\"C:\\Temp\\ZELKO "
                        "UPDATES\\setup.iss\" /f2\"") +
                kLog + "\"");
  // Packages too: the response-file form is chosen by the issfile text alone.
  EXPECT_EQ(BuildInstallerCommand(Request("C:\\Temp\\a.msi", "", "x")).commandLine.rfind(
                "C:\\Temp\\a.msi /s /f1", 0),
            0u);
}

TEST(InstallerCommand, OptionsWinOverIssfile) {
  const auto command = BuildInstallerCommand(Request("C:\\Temp\\setup.exe", "/quiet", "text"));
  EXPECT_EQ(command.commandLine, "C:\\Temp\\setup.exe /quiet");
  EXPECT_TRUE(command.responseFilePath.empty());
}

TEST(InstallerCommand, OldWindowsInstallerGetsLStarAndNoNorestart) {
  EXPECT_EQ(Line(Request("C:\\Temp\\setup.exe", "", "", 2)),
            std::string("C:\\Temp\\setup.exe /s /sms /v\"/qn  /l* ") + kLog + " \"");
  EXPECT_EQ(Line(Request("C:\\Temp\\a.msi", "", "", 2)),
            std::string("msiexec /i C:\\Temp\\a.msi /qn  /l* ") + kLog + " ");
  // The options are rewritten as well.
  EXPECT_EQ(Line(Request("C:\\Temp\\a.msi", "/norestart /qb /log <log_file_name>", "", 2)),
            std::string("msiexec /i C:\\Temp\\a.msi  /qb /l* ") + kLog);
  // Version 3 and later keep both switches.
  EXPECT_EQ(Line(Request("C:\\Temp\\a.msi", "", "", 3)),
            std::string("msiexec /i C:\\Temp\\a.msi /qn /norestart /log ") + kLog + " ");
}

TEST(InstallerCommand, PackageIsRecognisedByItsEndingInAnyCaseDespiteTrailingSpace) {
  EXPECT_EQ(Line(Request("C:\\Temp\\ALPHA.MSI ")),
            std::string("msiexec /i C:\\Temp\\ALPHA.MSI /qn /norestart /log ") + kLog + " ");
  EXPECT_TRUE(zvu::IsWindowsInstallerPackage("x.MsI \t\r\n"));
  EXPECT_FALSE(zvu::IsWindowsInstallerPackage("x.msix"));
  EXPECT_FALSE(zvu::IsWindowsInstallerPackage("x.msi.exe"));
  EXPECT_FALSE(zvu::IsWindowsInstallerPackage("msi"));
  EXPECT_FALSE(zvu::IsWindowsInstallerPackage(""));
}

TEST(InstallerCommand, LogPathWithSpacesIsQuotedOncePerForm) {
  // Where the volume has no short names the log path keeps its spaces.
  auto request = Request("C:\\Temp\\a.msi");
  request.logPath = "C:\\Users\\Jo Doe\\a.log";
  EXPECT_EQ(Line(request), "msiexec /i C:\\Temp\\a.msi /qn /norestart /log \"C:\\Users\\Jo Doe\\a.log\" ");
  request.options = "/l*v <log_file_name>";
  EXPECT_EQ(Line(request), "msiexec /i C:\\Temp\\a.msi /l*v \"C:\\Users\\Jo Doe\\a.log\"");

  request = Request("C:\\Temp\\setup.exe", "", "iss");
  request.logPath = "C:\\Users\\Jo Doe\\a.log";
  EXPECT_EQ(Line(request).substr(Line(request).find("/f2")), "/f2\"C:\\Users\\Jo Doe\\a.log\"");

  request.issfile.clear();
  EXPECT_EQ(Line(request),
            "C:\\Temp\\setup.exe /s /sms /v\"/qn /norestart /log \\\"C:\\Users\\Jo Doe\\a.log\\\" \"");
}

TEST(InstallerCommand, UnusableInstallerPathsAreRefused) {
  const std::string folder = "C:\\Temp\\";
  const std::string longest = folder + std::string(MAX_PATH - 1 - folder.size() - 4, 'a') + ".exe";
  ASSERT_EQ(longest.size(), static_cast<size_t>(MAX_PATH - 1));
  EXPECT_EQ(BuildInstallerCommand(Request(longest)).error, InstallerCommandError::kNone);

  const auto tooLong = BuildInstallerCommand(Request(folder + std::string(300, 'a') + ".exe"));
  EXPECT_EQ(tooLong.error, InstallerCommandError::kInstallerPathTooLong);
  EXPECT_TRUE(tooLong.commandLine.empty());
  EXPECT_EQ(BuildInstallerCommand(Request("a" + longest)).error,
            InstallerCommandError::kInstallerPathTooLong);

  EXPECT_EQ(BuildInstallerCommand(Request("")).error, InstallerCommandError::kEmptyInstallerPath);
  EXPECT_EQ(BuildInstallerCommand(Request(" \t ")).error,
            InstallerCommandError::kEmptyInstallerPath);
}

TEST(InstallerVersion, LeadingDecimalNumberOfVersionText) {
  EXPECT_EQ(zvu::LeadingDecimalNumber("5.0.7601.17514"), 5);
  EXPECT_EQ(zvu::LeadingDecimalNumber(" \t 3.1"), 3);
  EXPECT_EQ(zvu::LeadingDecimalNumber("12"), 12);
  EXPECT_EQ(zvu::LeadingDecimalNumber(""), 0);
  EXPECT_EQ(zvu::LeadingDecimalNumber("v4.5"), 0);
  EXPECT_EQ(zvu::LeadingDecimalNumber("-2.0"), 0);
  EXPECT_EQ(zvu::LeadingDecimalNumber("99999999999999999999.1"), INT_MAX);
}

}  // namespace
