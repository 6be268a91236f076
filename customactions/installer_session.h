#pragma once

#include <windows.h>
#include <msi.h>

#include <string>

namespace zvu::hooks {

// Results the installer engine understands.
constexpr UINT kActionSuccess = ERROR_SUCCESS;            // 0
constexpr UINT kActionUserCancelled = ERROR_INSTALL_USEREXIT;  // 1602
constexpr UINT kActionFailed = ERROR_INSTALL_FAILURE;     // 1603

// The engine's answer to a message that asks it to stop.
constexpr int kEngineCancel = IDCANCEL;  // 2

// Shows a line of text in the installer's progress dialog (an action-start
// message; the engine's answer is not used).
void ShowActionText(MSIHANDLE session, const std::wstring& text);

// A folder property of the session ("TARGETDIR", "SystemFolder"). Folder
// properties end in a backslash, so file names are appended directly.
// An action that runs deferred (scheduled, rollback or commit) reads the
// folder from its CustomActionData instead (see custom_action_data.h), where
// an empty or missing folder is logged; a folder named twice there is
// unreadable.
struct FolderProperty {
  bool readable = false;  // false: the action fails (1603)
  std::wstring value;     // empty: the action has nothing to do (0)
};
FolderProperty ReadFolderProperty(MSIHANDLE session, const wchar_t* name);

// Whether the action runs from the installation script (deferred, rollback
// or commit) rather than immediately.
bool RunsDeferred(MSIHANDLE session);

// One progress message with three integer fields; returns the engine's answer.
int SendProgress(MSIHANDLE session, MSIHANDLE record, int field1, int field2, int field3);

}  // namespace zvu::hooks
