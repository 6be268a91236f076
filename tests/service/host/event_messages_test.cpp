#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "event_reporter.h"
#include "event_source_registry.h"
#include "registry_test_root.h"
#include "service_texts.h"

namespace {

// The text the Event Viewer shows for an event of the service: the message of
// the event's id in the program's message table, with the event's one string
// inserted. The test program carries the program's resource scripts.
std::optional<std::string> EventText(DWORD eventId, const char* inserted) {
  const DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(inserted)};
  char text[512] = {};
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, GetModuleHandleA(nullptr),
      eventId, 0, text, sizeof(text), reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(arguments)));
  if (length == 0) return std::nullopt;
  return std::string(text, length);
}

TEST(EventMessagesTest, MessageTableShowsEveryReportedTextAsItIs) {
  EXPECT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(11)), nullptr)
      << "no message table";  // RT_MESSAGETABLE
  for (const char* text :
       {zvu::texts::kEventServiceStarted, zvu::texts::kEventServiceStopped,
        zvu::texts::kEventBadServiceRequest, zvu::texts::kEventHandlerNotInstalled,
        "Service log c:\\VuroUpdateService.log not opened Err:32, the service runs without it",
        zvu::texts::kBoxCannotOpenServiceManager, zvu::texts::kBoxCannotDeleteService,
        "100% of %1 and %2 stay as they are"}) {
    EXPECT_EQ(EventText(zvu::kEventId, text), std::string(text));
  }
}

class EventSourceRegistryTest : public zvu::test::RegistryTestRoot {};

TEST_F(EventSourceRegistryTest, WritesTheMessageFileAndTypesAndRemovesTheSourceKeyOnly) {
  const std::string path = zvu::EventSourceKeyPath("ZvuSource");
  EXPECT_EQ(path, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\ZvuSource");
  const std::string file = "C:\\Program Files\\Zelko Vuro Update\\ZelkoVuroUpdate.exe";
  ASSERT_EQ(zvu::WriteEventSourceEntry(Root(), "ZvuSource", file), ERROR_SUCCESS);
  // Written again (a second /Service): the same two values.
  ASSERT_EQ(zvu::WriteEventSourceEntry(Root(), "ZvuSource", file), ERROR_SUCCESS);

  char data[MAX_PATH] = {};
  DWORD size = sizeof(data);
  DWORD type = 0;
  ASSERT_EQ(RegGetValueA(Root(), path.c_str(), "EventMessageFile", RRF_RT_ANY | RRF_NOEXPAND,
                         &type, data, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(std::string(data), file);
  DWORD types = 0;
  size = sizeof(types);
  ASSERT_EQ(RegGetValueA(Root(), path.c_str(), "TypesSupported", RRF_RT_REG_DWORD, nullptr, &types,
                         &size),
            ERROR_SUCCESS);
  EXPECT_EQ(types, 7u);
  EXPECT_EQ(ValueCount(path), 2u);

  ASSERT_EQ(zvu::WriteEventSourceEntry(Root(), "ZvuOtherSource", file), ERROR_SUCCESS);
  EXPECT_EQ(zvu::RemoveEventSourceEntry(Root(), "ZvuSource"), ERROR_SUCCESS);
  EXPECT_FALSE(KeyExists(path));
  EXPECT_TRUE(KeyExists(zvu::EventSourceKeyPath("ZvuOtherSource")));
  EXPECT_EQ(zvu::RemoveEventSourceEntry(Root(), "ZvuSource"), ERROR_SUCCESS) << "already gone";
}

}  // namespace
