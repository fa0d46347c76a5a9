// e2e-iconhook.dll: loaded into the program under test by the driver's WH_CALLWNDPROC hook. Asked
// about a message box, it compares the box's icon with the system icons in the box's own process
// (icon handles can't be compared from outside) and answers in a window property of the box.
#include <windows.h>

#include "transcript.h"

namespace {

constexpr int kIconStaticId = 1088;

int IconKindOf(HWND box) {
  HICON icon = reinterpret_cast<HICON>(SendDlgItemMessageA(box, kIconStaticId, STM_GETICON, 0, 0));
  if (icon == nullptr) return e2e::kIconNone;
  struct Known {
    LPCSTR id;
    int kind;
  };
  const Known known[] = {
      {IDI_HAND, e2e::kIconError},
      {IDI_QUESTION, e2e::kIconQuestion},
      {IDI_EXCLAMATION, e2e::kIconWarning},
      {IDI_ASTERISK, e2e::kIconInformation},
  };
  for (const Known& k : known) {
    if (LoadIconA(nullptr, k.id) == icon) return k.kind;
  }
  return e2e::kIconOther;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK IconQueryHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    const CWPSTRUCT* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (message->message == RegisterWindowMessageA(e2e::kIconQueryMessage)) {
      SetPropA(message->hwnd, e2e::kIconProperty,
               reinterpret_cast<HANDLE>(static_cast<INT_PTR>(IconKindOf(message->hwnd))));
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
