#include "client_table.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// A pipe whose write end goes into the table. Whether the table closed that
// handle is seen from the read end (the pipe breaks), not from the handle
// value, which the system may hand out again once it is closed.
struct Watched {
  HANDLE write = nullptr;
  HANDLE read = nullptr;
  Watched() { CreatePipe(&read, &write, nullptr, 0); }
  ~Watched() { CloseHandle(read); }
  Watched(const Watched&) = delete;
  Watched& operator=(const Watched&) = delete;
  operator HANDLE() const { return write; }
  bool Closed() const {
    return !PeekNamedPipe(read, nullptr, 0, nullptr, nullptr, nullptr) &&
           GetLastError() == ERROR_BROKEN_PIPE;
  }
};

bool IsOpen(const Watched& handle) { return !handle.Closed(); }

TEST(ClientTable, ReplacingAClientsHandleClosesOnlyTheOldOne) {
  zvu::ClientTable table;
  Watched first, second, third;
  table.InsertOrReplace(10, first);
  table.InsertOrReplace(20, third);
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
  Watched seen, newer;
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
  Watched event;
  table.InsertOrReplace(3, event);
  Watched other;
  EXPECT_EQ(table.DuplicateForWrite(3, other), nullptr);  // not the handle held
  CloseHandle(other.write);
  EXPECT_EQ(table.DuplicateForWrite(4, event), nullptr);       // not a client

  HANDLE copy = table.DuplicateForWrite(3, event);
  ASSERT_NE(copy, nullptr);
  ASSERT_TRUE(table.RemoveAndClose(3, event));
  EXPECT_FALSE(event.Closed());  // the copy keeps the pipe writable
  // While lent out, the copy counts as the table's: no client may register it.
  EXPECT_TRUE(table.HoldsHandle(copy));
  Watched foreign;
  table.ReturnLent(foreign);  // not lent: left alone
  EXPECT_TRUE(IsOpen(foreign));
  CloseHandle(foreign.write);
  table.ReturnLent(copy);
  EXPECT_FALSE(table.HoldsHandle(copy));
  EXPECT_TRUE(event.Closed());
}

TEST(ClientTable, DestructionClosesTheHandlesHeld) {
  Watched event;
  {
    zvu::ClientTable table;
    table.InsertOrReplace(1, event);
  }
  EXPECT_FALSE(IsOpen(event));
}

}  // namespace
