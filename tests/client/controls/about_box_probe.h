#pragma once

#include <string>

#include "open_link.h"

namespace zvu::test {

// What the About box showed while it was open.
struct AboutBoxSeen {
  bool opened = false;
  std::string caption;
  std::string versionLine;    // static 1054
  std::string copyrightLine;  // static 1055
  std::string linkText;       // static 1056
  bool linkIsHyperlink = false;
  bool linkHasNotifyStyle = false;
  int widthPixels = 0, heightPixels = 0;  // client area
  int backgroundWidth = 0, backgroundHeight = 0;  // the picture control
};

// Runs AboutDialog, reads the open box from a timer on this thread, closes it
// with OK and returns what it saw. When `screenshotPath` is not empty the box
// is also saved there as a bitmap file.
AboutBoxSeen OpenAndReadAboutBox(const std::string& screenshotPath = {});

// Runs AboutDialog with `launcher`, clicks its web-site link once the box is
// open (the label's clicked notification, as the label sends it), then
// closes it with OK. False when the box never opened.
bool OpenAboutBoxAndClickTheLink(const LinkLauncher& launcher);

}  // namespace zvu::test
