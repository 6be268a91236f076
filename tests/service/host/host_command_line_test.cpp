#include "host_command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zvu::HostCommand;
using zvu::ParseHostCommand;

struct Case {
  const char* arguments;
  HostCommand expected;
};

TEST(HostCommandLine, PicksTheCommandFromTheArguments) {
  const std::string withNul("/Service\0x", 10);
  const Case cases[] = {
      {"", HostCommand::Start},
      {"   \t ", HostCommand::Start},
      {"/Service", HostCommand::Service},
      {"-Service", HostCommand::Service},
      {"/service", HostCommand::Service},
      {"-SERVICE", HostCommand::Service},
      {"/sErViCe", HostCommand::Service},
      {"/RegServer", HostCommand::RegServer},
      {"-regserver", HostCommand::RegServer},
      {"/UnregServer", HostCommand::UnregServer},
      {"-UNREGSERVER", HostCommand::UnregServer},
      // A word that only begins with a switch name is no switch.
      {"/Services", HostCommand::Start},
      {"/ServiceX /RegServerY", HostCommand::Start},
      {"/Service-", HostCommand::Start},
      {"/Service/", HostCommand::Start},
      // The first pass (UnregServer, RegServer) decides before "Service" is looked for.
      {"/RegServer /Service", HostCommand::RegServer},
      {"/Service /RegServer", HostCommand::RegServer},
      {"/Service -UnregServer", HostCommand::UnregServer},
      {"/UnregServer /RegServer", HostCommand::UnregServer},
      {"/RegServer /UnregServer", HostCommand::RegServer},
      // Words matching neither are skipped.
      {"/foo -bar /Service", HostCommand::Service},
      {"/x/y -RegServer", HostCommand::RegServer},
      // Words end at a tab or the end as well as at a space.
      {"/Service\t/x", HostCommand::Service},
      {"\t-RegServer\t", HostCommand::RegServer},
      // Switch marks without a word, and garbage.
      {"/", HostCommand::Start},
      {"- / -- //", HostCommand::Start},
      {"Service RegServer UnregServer", HostCommand::Start},
      {"//Service", HostCommand::Service},
      {"/-RegServer", HostCommand::RegServer},
      {"\xff\xfe/\x80Service", HostCommand::Start},
      {"/Service\r\n", HostCommand::Start},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseHostCommand(c.arguments), c.expected) << "arguments: [" << c.arguments << "]";
  }
  // A NUL is neither a blank nor the end of the word.
  EXPECT_EQ(ParseHostCommand(withNul), HostCommand::Start);
  EXPECT_EQ(ParseHostCommand(std::string(10000, '/')), HostCommand::Start);
}

TEST(HostCommandLine, SkipsTheProgramNameBeforeLookingForSwitches) {
  using zvu::CommandLineArguments;
  EXPECT_EQ(CommandLineArguments("ZelkoVuroUpdate.exe /Service"), "/Service");
  EXPECT_EQ(CommandLineArguments("\"C:\\Program Files\\-Service\\ZelkoVuroUpdate.exe\"  \t-RegServer"),
            "-RegServer");
  EXPECT_EQ(CommandLineArguments("\"C:\\-Service\\ZelkoVuroUpdate.exe\""), "");
  EXPECT_EQ(CommandLineArguments("C:\\x\\-Service"), "");
  EXPECT_EQ(CommandLineArguments("\"unterminated /Service"), "");
  EXPECT_EQ(CommandLineArguments(""), "");
  EXPECT_EQ(ParseHostCommand(CommandLineArguments("\"C:\\-Service\\a.exe\" x")), HostCommand::Start);
}

}  // namespace
