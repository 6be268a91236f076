#pragma once

#include <windows.h>

#include <chrono>
#include <functional>

namespace zvu::test {

// Polls done() until it holds or the time is up, and returns done(). Messages
// sent or posted to the calling thread are dispatched meanwhile, so a
// condition that needs this thread's windows can come true.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(15));
inline bool WaitUntil(const std::function<bool()>& done, DWORD limitMs) {
  return WaitUntil(done, std::chrono::milliseconds(limitMs));
}

// Dispatches the calling thread's messages until everything posted to it
// before the call has been handled (posted messages come in order; paint and
// input only once none is waiting), and whatever that posted in turn that is
// waiting by then. False when the time ran out first.
bool DispatchPostedMessages(std::chrono::milliseconds limit = std::chrono::seconds(5));

}  // namespace zvu::test
