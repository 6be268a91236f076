#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "open_link.h"

namespace zvu::test {

// A link launcher that starts nothing: it records what it is asked and
// answers as the test sets it up. Each shell "open" takes the next answer
// of shellAnswers (failure once they run out); the command line answers
// with commandAnswer.
class RecordingLinkLauncher : public LinkLauncher {
 public:
  struct Call {
    std::string what;        // "shell", "command" or "told"
    std::string file;        // shell: the file; command: the command line; told: the text
    std::string parameters;  // shell: its parameters; told: the caption
    HWND owner = nullptr;
  };

  INT_PTR ShellOpen(HWND owner, const char* file, const char* parameters,
                    int) const override {
    calls.push_back({"shell", file != nullptr ? file : "", parameters != nullptr ? parameters : "",
                     owner});
    const size_t shellCalls = Count("shell");
    return shellCalls <= shellAnswers.size() ? shellAnswers[shellCalls - 1] : SE_ERR_NOASSOC;
  }
  UINT RunCommandLine(const char* commandLine, int) const override {
    calls.push_back({"command", commandLine, "", nullptr});
    return commandAnswer;
  }
  void TellNotOpened(HWND owner, const char* text, const char* caption) const override {
    calls.push_back({"told", text, caption != nullptr ? caption : "", owner});
  }

  size_t Count(const std::string& what) const {
    size_t count = 0;
    for (const Call& call : calls) count += call.what == what ? 1 : 0;
    return count;
  }
  // The shell calls' files, in order.
  std::vector<std::string> ShellFiles() const {
    std::vector<std::string> files;
    for (const Call& call : calls) {
      if (call.what == "shell") files.push_back(call.file);
    }
    return files;
  }

  std::vector<INT_PTR> shellAnswers;
  UINT commandAnswer = ERROR_FILE_NOT_FOUND;
  mutable std::vector<Call> calls;
};

// Shell answers.
inline constexpr INT_PTR kShellOpened = 42;
inline constexpr INT_PTR kShellNoHandler = SE_ERR_NOASSOC;
inline constexpr INT_PTR kShellNotFound = SE_ERR_FNF;

}  // namespace zvu::test
