#include "registered_messages.h"

namespace zvu {

UINT UpdatesFoundMessage() {
  static const UINT message = RegisterWindowMessageA("UWM_UPDATES_FOUND");
  return message;
}

UINT RegisterAgainMessage() {
  static const UINT message = RegisterWindowMessageA("UWM_VUROUPDATE_REGISTER_AGAIN");
  return message;
}

const UINT UWM_UPDATES_FOUND = UpdatesFoundMessage();
const UINT UWM_REGISTER_AGAIN = RegisterAgainMessage();
const UINT UWM_HTTPCLIENT_CALLBACK_NOTIFY = RegisterWindowMessageA("UWM_HTTPCLIENT_CALLBACK_NOTIFY");
// WM_XCHECKTREECTRL_TVN_SELECTION is defined with the check tree that sends it
// (client/controls/check_tree.cpp): one definition for the program.
const UINT WM_TASKBARCREATED = RegisterWindowMessageA("TaskbarCreated");

}  // namespace zvu
