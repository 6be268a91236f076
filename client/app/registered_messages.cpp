#include "registered_messages.h"

namespace zvu {

UINT UpdatesFoundMessage() {
  static const UINT message = RegisterWindowMessageA("UWM_UPDATES_FOUND");
  return message;
}

const UINT UWM_UPDATES_FOUND = UpdatesFoundMessage();
const UINT UWM_HTTPCLIENT_CALLBACK_NOTIFY = RegisterWindowMessageA("UWM_HTTPCLIENT_CALLBACK_NOTIFY");
const UINT WM_XCHECKTREECTRL_TVN_SELECTION = RegisterWindowMessageA("WM_XCHECKTREECTRL_TVN_SELECTION");
const UINT WM_TASKBARCREATED = RegisterWindowMessageA("TaskbarCreated");

}  // namespace zvu
