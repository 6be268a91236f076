#include "registry_script.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "appid_registry.h"
#include "registry_test_root.h"

namespace {

using zvu::ParseRegistryScript;
using zvu::RegistryScript;
using zvu::RegistryScriptError;

TEST(RegistryScript, ParsesKeysValuesAndReplacements) {
  const char* text =
      "; comment\r\n"
      "# another comment\n"
      "\n"
      "key AppID keep\r\n"
      "key  AppID\\%APPID%   \n"
      "value @ = The  Service \n"
      "value Named=%APPID%-%%-x\n"
      "key Other\\Deep\\Key\n";
  RegistryScript script;
  RegistryScriptError error;
  ASSERT_TRUE(ParseRegistryScript(text, {{"APPID", "{A B}"}}, script, error)) << error.reason;
  ASSERT_EQ(script.keys.size(), 3u);
  EXPECT_EQ(script.keys[0].path, "AppID");
  EXPECT_TRUE(script.keys[0].keep);
  EXPECT_EQ(script.keys[1].path, "AppID\\{A B}");
  EXPECT_FALSE(script.keys[1].keep);
  ASSERT_EQ(script.keys[1].values.size(), 2u);
  EXPECT_EQ(script.keys[1].values[0].name, "");
  EXPECT_EQ(script.keys[1].values[0].data, "The  Service");
  EXPECT_EQ(script.keys[1].values[1].name, "Named");
  EXPECT_EQ(script.keys[1].values[1].data, "{A B}-%-x");
  EXPECT_EQ(script.keys[2].path, "Other\\Deep\\Key");
  EXPECT_TRUE(script.keys[2].values.empty());
}

TEST(RegistryScript, RejectsMalformedLinesWithTheirLineNumber) {
  struct Bad {
    std::string_view text;
    int line;
  };
  using namespace std::string_view_literals;
  const Bad cases[] = {
      {"value x = 1\n"sv, 1},                // value before any key
      {"key A\nvalue x 1\n"sv, 2},           // no '='
      {"key A\nvalue = 1\n"sv, 2},           // no name
      {"key A\nvalue a b = 1\n"sv, 2},       // blank inside the name
      {"key A\nkey\n"sv, 2},                 // no path
      {"key \\A\n"sv, 1},                    // leading backslash
      {"key A\\\n"sv, 1},                    // trailing backslash
      {"key A\\\\B\n"sv, 1},                 // empty path part
      {"key A remove\n"sv, 1},               // unknown flag
      {"key A keep more\n"sv, 1},            // trailing text
      {"key %UNKNOWN%\n"sv, 1},              // unknown placeholder
      {"key A\nvalue v = 50%\n"sv, 2},       // unpaired '%'
      {"keys A\n"sv, 1},                     // unknown directive
      {"key A\n\n; c\nvalue v = x\nbogus\n"sv, 5},
      {"key A\nvalue v = a\0b\n"sv, 2},      // NUL inside a line
  };
  for (const Bad& bad : cases) {
    const std::string text(bad.text);
    RegistryScript script;
    RegistryScriptError error;
    EXPECT_FALSE(ParseRegistryScript(text, {{"APPID", "x"}}, script, error)) << bad.text;
    EXPECT_EQ(error.line, bad.line) << bad.text;
    EXPECT_FALSE(error.reason.empty());
    EXPECT_TRUE(script.keys.empty());
  }
}

class RegistryScriptApply : public zvu::test::RegistryTestRoot {};

TEST_F(RegistryScriptApply, WritesThenRemovesAllButKeptKeys) {
  RegistryScript script;
  RegistryScriptError error;
  ASSERT_TRUE(ParseRegistryScript("key Kept keep\nvalue KeptValue = k\n"
                                  "key Kept\\Gone\nvalue @ = d\nvalue v = %X%\n"
                                  "key Kept\\Gone\\Sub\n",
                                  {{"X", "ex"}}, script, error));
  ASSERT_EQ(zvu::WriteRegistryScript(Root(), script), ERROR_SUCCESS);
  EXPECT_EQ(ReadText("Kept", "KeptValue"), "k");
  EXPECT_EQ(ReadText("Kept\\Gone", nullptr), "d");
  EXPECT_EQ(ReadText("Kept\\Gone", "v"), "ex");
  EXPECT_TRUE(KeyExists("Kept\\Gone\\Sub"));

  // Something else that lives under the kept key stays.
  WriteText("Kept\\Neighbour", "n", "stays");
  // An extra value and subkey inside a removable key go with it.
  WriteText("Kept\\Gone\\Sub\\Extra", "e", "goes");

  ASSERT_EQ(zvu::RemoveRegistryScript(Root(), script), ERROR_SUCCESS);
  EXPECT_TRUE(KeyExists("Kept"));
  EXPECT_EQ(ReadText("Kept", "KeptValue"), std::nullopt);
  EXPECT_FALSE(KeyExists("Kept\\Gone"));
  EXPECT_EQ(ReadText("Kept\\Neighbour", "n"), "stays");

  // Removing what is already gone succeeds.
  EXPECT_EQ(zvu::RemoveRegistryScript(Root(), script), ERROR_SUCCESS);
}

// The script shipped in the program's resources produces exactly the AppID
// entries the service needs.
TEST_F(RegistryScriptApply, ShippedScriptWritesAndRemovesTheAppIdEntries) {
  const auto shipped = zvu::LoadRegistryScriptResource(GetModuleHandleA(nullptr),
                                                       zvu::kRegistryScriptResourceId);
  ASSERT_TRUE(shipped.has_value());
  EXPECT_FALSE(zvu::LoadRegistryScriptResource(GetModuleHandleA(nullptr), 4711).has_value());

  const std::string appIdKey = std::string("AppID\\") + zvu::kServiceAppId;
  WriteText(appIdKey, "LocalService", "left over");
  ASSERT_EQ(zvu::WriteAppIdEntries(Root(), *shipped), ERROR_SUCCESS);
  EXPECT_EQ(ReadText(appIdKey, nullptr), "ZelkoVuroUpdate");
  EXPECT_EQ(ReadText(appIdKey, "LocalService"), std::nullopt);  // writing starts without it
  EXPECT_EQ(ReadText("AppID\\ZelkoVuroUpdate.EXE", "AppID"), zvu::kServiceAppId);
  EXPECT_EQ(ValueCount(appIdKey), 1u);
  EXPECT_EQ(ValueCount("AppID\\ZelkoVuroUpdate.EXE"), 1u);

  bool localService = true;
  ASSERT_EQ(zvu::ReadLocalServiceFlag(Root(), localService), ERROR_SUCCESS);
  EXPECT_FALSE(localService);
  ASSERT_EQ(zvu::WriteLocalServiceValue(Root(), "ZelkoVuroUpdate"), ERROR_SUCCESS);
  EXPECT_EQ(ReadText(appIdKey, "LocalService"), "ZelkoVuroUpdate");
  ASSERT_EQ(zvu::ReadLocalServiceFlag(Root(), localService), ERROR_SUCCESS);
  EXPECT_TRUE(localService);

  WriteText("AppID\\{SomeoneElse}", nullptr, "other program");
  ASSERT_EQ(zvu::RemoveAppIdEntries(Root(), *shipped), ERROR_SUCCESS);
  EXPECT_TRUE(KeyExists("AppID"));
  EXPECT_FALSE(KeyExists(appIdKey));
  EXPECT_FALSE(KeyExists("AppID\\ZelkoVuroUpdate.EXE"));
  EXPECT_EQ(ReadText("AppID\\{SomeoneElse}", nullptr), "other program");

  // Unregistering again, with nothing left to remove, still succeeds.
  EXPECT_EQ(zvu::RemoveAppIdEntries(Root(), *shipped), ERROR_SUCCESS);
  EXPECT_EQ(zvu::ReadLocalServiceFlag(Root(), localService), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(localService);
}

TEST_F(RegistryScriptApply, AppIdOperationsReportFaults) {
  bool localService = true;
  EXPECT_EQ(zvu::ReadLocalServiceFlag(Root(), localService), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(localService);
  EXPECT_EQ(zvu::WriteAppIdEntries(Root(), "garbage line\n"), ERROR_INVALID_DATA);
  EXPECT_EQ(zvu::RemoveAppIdEntries(Root(), "garbage line\n"), ERROR_INVALID_DATA);
  EXPECT_FALSE(KeyExists("AppID"));

  // A value longer than the 260-byte read buffer does not mark a service.
  ASSERT_EQ(zvu::WriteLocalServiceValue(Root(), std::string(300, 'n')), ERROR_SUCCESS);
  EXPECT_EQ(zvu::ReadLocalServiceFlag(Root(), localService), ERROR_SUCCESS);
  EXPECT_FALSE(localService);
}

}  // namespace
