// Finding a program's message box from outside the program: shared by the end-to-end driver, the
// screenshot driver and the benchmark timer.
#pragma once

#include <windows.h>

#include <cstring>

namespace e2e {

namespace shown_box_detail {

struct Search {
  DWORD pid;
  HWND box;
};

inline BOOL CALLBACK TakeShownBox(HWND window, LPARAM param) {
  Search* search = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != search->pid) return TRUE;
  char className[16] = {};
  if (GetClassNameA(window, className, sizeof className) == 0 || std::strcmp(className, "#32770") != 0) {
    return TRUE;
  }
  // A box is only finished once it is shown: before that it may lack its caption and controls.
  if ((GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) == 0) return TRUE;
  search->box = window;
  return FALSE;
}

}  // namespace shown_box_detail

// The visible message box (a "#32770" dialog) of the process, null when it has none.
inline HWND ShownBoxOf(DWORD pid) {
  shown_box_detail::Search search = {pid, nullptr};
  EnumWindows(shown_box_detail::TakeShownBox, reinterpret_cast<LPARAM>(&search));
  return search.box;
}

}  // namespace e2e
