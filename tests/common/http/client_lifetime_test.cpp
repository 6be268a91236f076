// Cancel, a new transfer over a running one, notifications and destruction.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "http_client.h"
#include "http_test_support.h"
#include "test_env.h"
#include "unique_handle.h"

namespace {

using zvu::HttpState;
using zvu::XHttpClient;
using zvu::test::WaitForState;
using zvu::test::WaitUntil;

using zvu::test::kFinal;
using zvu::test::kHost;
using zvu::test::LogCapture;
using zvu::test::StartGet;
using zvu::test::WaitForRequestsClosed;
using zvu::test::WaitForWaitingSend;


TEST(ClientLifetime, CancelMidDownloadStopsAtClosingAndLateReadsDoNoHarm) {
  zvu::test::WriteServedFile("drip.bin", 200'000);
  const std::string path = zvu::test::TempFilePath("zvu_http_drip.bin");
  LogCapture log("zvu_http_cancel");
  XHttpClient client;
  ASSERT_EQ(StartGet(client, L"/fault/drip/drip.bin", path), 0u);
  ASSERT_TRUE(WaitUntil([&] { return client.ReceivedBytes() >= 2048; }));

  EXPECT_EQ(client.Cancel(), 0u);
  EXPECT_EQ(client.GetHttpState(), HttpState::Closing);
  const auto received = client.ReceivedBytes();
  // Reads that were under way complete or fail until the request is closed.
  ASSERT_TRUE(WaitForRequestsClosed(log, 1));
  EXPECT_EQ(client.GetHttpState(), HttpState::Closing);
  EXPECT_EQ(client.ReceivedBytes(), received);
  // A download that never got its whole body leaves no file (closed, so deleted).
  EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << "the part that arrived is left";
}

TEST(ClientLifetime, NewTransferIsNotTouchedByThePreviousOne) {
  zvu::test::WriteServedFile("slow-first.bin", 200'000);
  const std::string second = zvu::test::WriteServedFile("quick-second.bin", 50'000);
  const std::string firstPath = zvu::test::TempFilePath("zvu_http_first.bin");
  const std::string secondPath = zvu::test::TempFilePath("zvu_http_second.bin");
  LogCapture log("zvu_http_next_transfer");
  XHttpClient client;
  ASSERT_EQ(StartGet(client, L"/fault/drip/slow-first.bin", firstPath), 0u);
  ASSERT_TRUE(WaitUntil([&] { return client.ReceivedBytes() >= 1024; }));

  ASSERT_EQ(StartGet(client, L"/files/quick-second.bin", secondPath), 0u);
  ASSERT_TRUE(WaitForState(client, kFinal));
  EXPECT_EQ(client.GetHttpState(), HttpState::Complete);
  // The first transfer's reads keep arriving until its request is closed.
  ASSERT_TRUE(WaitForRequestsClosed(log, 1));
  EXPECT_EQ(client.GetHttpState(), HttpState::Complete);
  EXPECT_EQ(client.ReceivedBytes(), second.size());
  EXPECT_TRUE(zvu::test::ReadWholeFile(secondPath) == second);
  EXPECT_EQ(GetFileAttributesA(firstPath.c_str()), INVALID_FILE_ATTRIBUTES) << "the first, unfinished download's part is left";
  DeleteFileA(secondPath.c_str());
}

TEST(ClientLifetime, WindowHandlerMayStartTheNextDownloadFromItsNotification) {
  const std::string served = zvu::test::WriteServedFile("after-failure.bin", 30'000);
  const std::string path = zvu::test::TempFilePath("zvu_http_after_failure.bin");
  LogCapture log("zvu_http_restart");
  XHttpClient client;
  int failures = 0;
  int completions = 0;
  bool sawRead = false;
  bool rightClient = true;
  DWORD restart = 1;
  zvu::test::NotifyWindow window([&](XHttpClient* notified, DWORD status) {
    rightClient = rightClient && notified == &client;
    sawRead = sawRead || status == WINHTTP_CALLBACK_STATUS_READ_COMPLETE;
    // What the download page does: on failure go on with the next download,
    // on completion acknowledge.
    if (notified->GetHttpState() == HttpState::Failed && failures++ == 0) {
      restart = StartGet(*notified, L"/files/after-failure.bin", path);
    } else if (notified->GetHttpState() == HttpState::Complete) {
      ++completions;
      notified->SetHttpState(HttpState::Acknowledged);
    }
  });
  client.SetNotifyWindow(window.Handle());
  ASSERT_EQ(StartGet(client, L"/fault/404/none", path), 0u);

  ASSERT_TRUE(WaitUntil([&] { return completions > 0; }));
  EXPECT_EQ(restart, 0u);
  EXPECT_EQ(failures, 1);
  EXPECT_TRUE(rightClient);
  EXPECT_TRUE(sawRead);
  // Nothing of the failed transfer is left to arrive once its request is closed.
  ASSERT_TRUE(WaitForRequestsClosed(log, 1));
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(client.GetHttpState(), HttpState::Acknowledged);
  client.CloseHandles();
  ASSERT_TRUE(WaitForRequestsClosed(log, 2));
  EXPECT_EQ(completions, 1);
  EXPECT_TRUE(zvu::test::ReadWholeFile(path) == served);
  DeleteFileA(path.c_str());
}

TEST(ClientLifetime, NoNotificationAfterCancel) {
  zvu::test::WriteServedFile("drip-notify.bin", 100'000);
  const std::string path = zvu::test::TempFilePath("zvu_http_drip_notify.bin");
  LogCapture log("zvu_http_no_notification");
  bool cancelled = false;
  std::vector<HttpState> afterCancel;
  XHttpClient client;
  zvu::test::NotifyWindow window([&](XHttpClient* notified, DWORD) {
    if (cancelled) afterCancel.push_back(notified->GetHttpState());
  });
  client.SetNotifyWindow(window.Handle());
  ASSERT_EQ(StartGet(client, L"/fault/drip/drip-notify.bin", path), 0u);
  ASSERT_TRUE(WaitUntil([&] { return client.ReceivedBytes() >= 2048; }));
  client.Cancel();
  cancelled = true;
  ASSERT_TRUE(WaitForRequestsClosed(log, 1));
  // A notification already sent before Cancel may still be delivered; it
  // shows the closed transfer. Nothing is sent after Cancel.
  ASSERT_LE(afterCancel.size(), 1u);
  for (HttpState state : afterCancel) EXPECT_EQ(state, HttpState::Closing);
  DeleteFileA(path.c_str());
}

// The destructor runs on the notify window's thread while a worker waits in
// SendMessage for that thread: it must neither deadlock nor run into its bound.
TEST(ClientLifetime, DestructionOnTheWindowThreadWhileANotificationWaits) {
  zvu::test::WriteServedFile("drip-destroy.bin", 100'000);
  const std::string path = zvu::test::TempFilePath("zvu_http_drip_destroy.bin");
  auto client = std::make_unique<XHttpClient>();
  bool destroying = false;
  int handledDuringDestruction = 0;
  zvu::test::NotifyWindow window([&](XHttpClient*, DWORD) {
    if (destroying) ++handledDuringDestruction;
  });
  client->SetNotifyWindow(window.Handle());
  ASSERT_EQ(StartGet(*client, L"/fault/drip/drip-destroy.bin", path), 0u);
  // No messages dispatched: a notification comes to wait for this thread.
  ASSERT_TRUE(WaitForWaitingSend());

  const auto start = std::chrono::steady_clock::now();
  destroying = true;
  client.reset();
  const auto took = std::chrono::steady_clock::now() - start;
  // Well below the 5 s bound for closing transfers, even on a loaded machine.
  EXPECT_LT(took, std::chrono::milliseconds(4000)) << "waited for its bound instead of the "
                                                      "closing notifications";
  // The waiting notification was dispatched by the destructor and dropped:
  // the client's address reaches no window once its destruction has begun.
  EXPECT_EQ(handledDuringDestruction, 0);
  EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << "the unfinished download is left";
}

// The notify window lives on a thread that stops pumping while a worker waits
// to send to it, until the client is gone (the destructor runs into its bound
// for closing transfers meanwhile). When it pumps again, the late
// notification must not carry the destroyed client's address.
TEST(ClientLifetime, LateNotificationToAnotherThreadsWindowIsDropped) {
  zvu::test::WriteServedFile("drip-late.bin", 100'000);
  const std::string path = zvu::test::TempFilePath("zvu_http_drip_late.bin");
  auto client = std::make_unique<XHttpClient>();
  std::atomic<bool> destroying{false};
  std::atomic<bool> sendWaited{false};
  std::atomic<int> before{0}, after{0};
  std::atomic<DWORD> windowThreadId{0};
  zvu::UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  zvu::UniqueHandle blocked(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  zvu::UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  zvu::UniqueHandle pumped(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  constexpr UINT kBlock = WM_APP + 1;
  std::thread windowThread([&] {
    zvu::test::NotifyWindow window([&](XHttpClient* notified, DWORD) {
      if (destroying) {
        ++after;
        return;
      }
      notified->GetHttpState();
      ++before;
    });
    client->SetNotifyWindow(window.Handle());  // on the window's own thread
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    windowThreadId = GetCurrentThreadId();
    SetEvent(ready.get());
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (message.message != kBlock) {
        DispatchMessageW(&message);
        continue;
      }
      sendWaited = WaitForWaitingSend();
      SetEvent(blocked.get());
      WaitForSingleObject(release.get(), 60000);
      PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // delivers it
      SetEvent(pumped.get());
    }
  });
  // Ends the window thread on every way out of the test, failures included.
  struct EndWindowThread {
    std::thread& thread;
    HANDLE ready;
    HANDLE release;
    std::atomic<DWORD>& id;
    ~EndWindowThread() {
      WaitForSingleObject(ready, 60000);
      SetEvent(release);
      PostThreadMessageW(id, WM_QUIT, 0, 0);
      thread.join();
    }
  } end{windowThread, ready.get(), release.get(), windowThreadId};
  ASSERT_EQ(WaitForSingleObject(ready.get(), 10000), WAIT_OBJECT_0);
  ASSERT_EQ(StartGet(*client, L"/fault/drip/drip-late.bin", path), 0u);
  ASSERT_TRUE(WaitUntil([&] { return before.load() > 0 && client->ReceivedBytes() >= 2048; }));

  PostThreadMessageW(windowThreadId, kBlock, 0, 0);
  ASSERT_EQ(WaitForSingleObject(blocked.get(), 30000), WAIT_OBJECT_0);
  ASSERT_TRUE(sendWaited) << "no worker came to wait for the window's thread";
  destroying = true;
  client.reset();
  SetEvent(release.get());
  ASSERT_EQ(WaitForSingleObject(pumped.get(), 10000), WAIT_OBJECT_0);
  EXPECT_EQ(after.load(), 0);
  DeleteFileA(path.c_str());
}

TEST(ClientLifetime, DestructionInsideItsOwnNotification) {
  zvu::test::WriteServedFile("drip-own.bin", 100'000);
  const std::string path = zvu::test::TempFilePath("zvu_http_drip_own.bin");
  LogCapture log("zvu_http_destroy_own");
  auto client = std::make_unique<XHttpClient>();
  int afterDestruction = 0;
  std::chrono::steady_clock::duration took{};
  zvu::test::NotifyWindow window([&](XHttpClient* notified, DWORD) {
    if (!client) {
      ++afterDestruction;
      return;
    }
    if (notified->ReceivedBytes() == 0) return;
    const auto start = std::chrono::steady_clock::now();
    client.reset();
    took = std::chrono::steady_clock::now() - start;
  });
  client->SetNotifyWindow(window.Handle());
  ASSERT_EQ(StartGet(*client, L"/fault/drip/drip-own.bin", path), 0u);
  ASSERT_TRUE(WaitUntil([&] { return !client; }));
  ASSERT_TRUE(WaitForRequestsClosed(log, 1));
  EXPECT_LT(took, std::chrono::milliseconds(1000));
  EXPECT_EQ(afterDestruction, 0);
  EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << "the unfinished download is left";
}

TEST(ClientLifetime, DestructionWhileTransfersRunOnWorkerThreads) {
  zvu::test::WriteServedFile("many.bin", 64'000);
  for (int round = 0; round < 10; ++round) {
    XHttpClient client;
    ASSERT_EQ(client.Connect(kHost, false, true), 0u);
    client.SetObject(L"/files/many.bin");
    ASSERT_EQ(client.Get(), 0u);
    // Every other client is destroyed a little later, deeper in its transfer.
    if (round % 2) {
      WaitUntil([&] { return client.ReceivedBytes() > 0; }, static_cast<DWORD>(round * 3));
    }
  }
  // A reader on another thread polls while transfers start and end.
  XHttpClient client;
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    while (!stop) {
      client.GetHttpState();
      client.ReceivedBytes();
      client.ResponseText();
    }
  });
  for (int round = 0; round < 5; ++round) {
    ASSERT_EQ(client.Connect(kHost, false, true), 0u);
    client.SetObject(L"/files/many.bin");
    ASSERT_EQ(client.Get(), 0u);
    ASSERT_TRUE(WaitForState(client, kFinal));
    EXPECT_EQ(client.ResponseText().size(), 64'000u);
  }
  stop = true;
  reader.join();
}

}  // namespace

// A window that follows a download sees its progress a few dozen times a
// second, not once for every read, and every state that ends it.
TEST(ClientLifetime, BodyProgressIsNotifiedAtAMeasuredPace) {
  const std::string served = zvu::test::WriteServedFile("paced.bin", 4 * 1024 * 1024);
  const std::string path = zvu::test::TempFilePath("zvu_http_paced.bin");
  XHttpClient client;
  int progress = 0;
  int completions = 0;
  zvu::test::NotifyWindow window([&](XHttpClient* notified, DWORD status) {
    const HttpState state = notified->GetHttpState();
    if (state == HttpState::Reading || state == HttpState::Storing) {
      EXPECT_EQ(status, static_cast<DWORD>(WINHTTP_CALLBACK_STATUS_READ_COMPLETE));
      ++progress;
    } else if (state == HttpState::Complete) {
      ++completions;
      notified->SetHttpState(HttpState::Acknowledged);
    }
  });
  client.SetNotifyWindow(window.Handle());
  const ULONGLONG start = GetTickCount64();
  ASSERT_EQ(StartGet(client, L"/files/paced.bin", path), 0u);
  ASSERT_TRUE(WaitUntil([&] { return completions > 0; }));
  const ULONGLONG elapsed = GetTickCount64() - start;
  EXPECT_EQ(completions, 1);
  EXPECT_GE(progress, 1);
  // 512 reads; at most one notification per 30 ms, the first at once.
  EXPECT_LE(progress, static_cast<int>(elapsed / 30 + 1)) << elapsed << " ms";
  EXPECT_TRUE(zvu::test::ReadWholeFile(path) == served);
  DeleteFileA(path.c_str());
}
