#include "cursor.h"

#include "wait_until.h"

namespace zvu::test {

bool MoveCursorTo(HWND window, POINT clientPoint) {
  int steady = 0;  // polls in a row that found the cursor there
  ULONGLONG setAt = 0;
  return WaitUntil([&] {
    POINT screen = clientPoint, now = {};
    ClientToScreen(window, &screen);
    if (steady == 0 && GetTickCount64() - setAt >= 100) {
      SetCursorPos(screen.x, screen.y);
      setAt = GetTickCount64();
    }
    steady = (GetCursorPos(&now) && now.x == screen.x && now.y == screen.y) ? steady + 1 : 0;
    return steady >= 3;
  }, 5000);
}

}  // namespace zvu::test
