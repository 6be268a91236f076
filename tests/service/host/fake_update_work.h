#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "update_work.h"

namespace zvu::test {

// Scripted check and hand-off results, recording what the cycle asked for.
class FakeUpdateWork : public UpdateWork {
 public:
  // Each check pops the next result; S_OK results hand out `checkText`.
  std::vector<HRESULT> checkResults;
  std::string checkText = "<catalogue/>";
  // Each send pops the next result; when empty, sends fail.
  std::vector<HRESULT> sendResults;
  // Runs inside a send before its result is returned (e.g. to wait for the stop event).
  std::function<void(HANDLE stopEvent)> duringSend;

  std::atomic<int> registrationStarts{0};
  std::atomic<int> registrationStops{0};
  std::atomic<int> checks{0};
  std::vector<std::string> sentTexts;
  HANDLE lastStopEvent = nullptr;

  HRESULT StartRegistrationThread() override {
    ++registrationStarts;
    return S_OK;
  }

  void StopRegistrationThread() override { ++registrationStops; }

  HRESULT CheckForUpdates(std::string& updateXml, HANDLE stopEvent) override {
    ++checks;
    lastStopEvent = stopEvent;
    const HRESULT result = Pop(checkResults, E_FAIL);
    // A failing check may have scribbled on its output; the cycle must not use it.
    updateXml = result == S_OK ? checkText : "garbage of a failed check";
    return result;
  }

  HRESULT SendCatalogue(const std::string& text, HANDLE stopEvent) override {
    sentTexts.push_back(text);
    lastStopEvent = stopEvent;
    if (duringSend) duringSend(stopEvent);
    return Pop(sendResults, E_FAIL);
  }

 private:
  static HRESULT Pop(std::vector<HRESULT>& results, HRESULT otherwise) {
    if (results.empty()) return otherwise;
    const HRESULT result = results.front();
    results.erase(results.begin());
    return result;
  }
};

}  // namespace zvu::test
