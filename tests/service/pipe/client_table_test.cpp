#include "client_table.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

HANDLE NewEvent() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }

TEST(ClientTable, ReplacingAClientsHandleClosesOnlyTheOldOne) {
  zvu::ClientTable table;
  HANDLE first = NewEvent();
  HANDLE second = NewEvent();
  table.InsertOrReplace(10, first);
  table.InsertOrReplace(20, NewEvent());
  table.InsertOrReplace(10, second);

  HANDLE held = nullptr;
  ASSERT_TRUE(table.Lookup(10, &held));
  EXPECT_EQ(held, second);
  EXPECT_FALSE(IsOpen(first));
  EXPECT_TRUE(IsOpen(second));
  EXPECT_EQ(table.Count(), 2u);
  // First registration order is kept.
  EXPECT_EQ(table.Entries()[0].processId, 10u);

  // The same value registered again stays open.
  table.InsertOrReplace(10, second);
  EXPECT_TRUE(IsOpen(second));
  EXPECT_TRUE(table.HoldsHandle(second));
  EXPECT_FALSE(table.HoldsHandle(first));
}

TEST(ClientTable, RemoveClosesOnlyWhileTheEntryStillHoldsTheSeenHandle) {
  zvu::ClientTable table;
  HANDLE seen = NewEvent();
  HANDLE newer = NewEvent();
  table.InsertOrReplace(7, seen);
  table.InsertOrReplace(7, newer);  // a re-registration after the caller looked

  EXPECT_FALSE(table.RemoveAndClose(7, seen));
  EXPECT_TRUE(IsOpen(newer));
  EXPECT_EQ(table.Count(), 1u);

  EXPECT_TRUE(table.RemoveAndClose(7, newer));
  EXPECT_FALSE(IsOpen(newer));
  EXPECT_EQ(table.Count(), 0u);
  EXPECT_FALSE(table.Lookup(7, nullptr));
}

TEST(ClientTable, DuplicateForWriteOutlivesTheEntry) {
  zvu::ClientTable table;
  HANDLE event = NewEvent();
  table.InsertOrReplace(3, event);
  HANDLE other = NewEvent();
  EXPECT_EQ(table.DuplicateForWrite(3, other), nullptr);  // not the handle held
  CloseHandle(other);
  EXPECT_EQ(table.DuplicateForWrite(4, event), nullptr);       // not a client

  HANDLE copy = table.DuplicateForWrite(3, event);
  ASSERT_NE(copy, nullptr);
  ASSERT_TRUE(table.RemoveAndClose(3, event));
  EXPECT_TRUE(SetEvent(copy));
  // While lent out, the copy counts as the table's: no client may register it.
  EXPECT_TRUE(table.HoldsHandle(copy));
  HANDLE foreign = NewEvent();
  table.ReturnLent(foreign);  // not lent: left alone
  EXPECT_TRUE(IsOpen(foreign));
  CloseHandle(foreign);
  table.ReturnLent(copy);
  EXPECT_FALSE(table.HoldsHandle(copy));
}

TEST(ClientTable, DestructionClosesTheHandlesHeld) {
  HANDLE event = NewEvent();
  {
    zvu::ClientTable table;
    table.InsertOrReplace(1, event);
  }
  EXPECT_FALSE(IsOpen(event));
}

}  // namespace
