#include "win/shell.h"

#include <utility>

namespace perchkin {

void FakeShell::pump(EventRecords& records) {
  records.display_changed = records.display_changed || queued.display_changed;
  records.quit = records.quit || queued.quit;
  auto move_all = [](auto& from, auto& to) {
    to.insert(to.end(), from.begin(), from.end());
    from.clear();
  };
  move_all(queued.shell_events, records.shell_events);
  move_all(queued.grab, records.grab);
  move_all(queued.selection, records.selection);
  move_all(queued.menu, records.menu);
  queued.display_changed = false;
  queued.quit = false;
}

void FakeShell::place(ShellWindow window, const PixelRect& rect) {
  const int i = static_cast<int>(window);
  placed[i].push_back(rect);
  shown[i] = true;
}

}  // namespace perchkin
