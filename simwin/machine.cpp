#include "machine.h"

#include <algorithm>
#include <cctype>

namespace sim::detail {

Machine &M() {
  static Machine machine;
  return machine;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string PathKey(const std::string &path) {
  std::string key = Lower(path);
  std::replace(key.begin(), key.end(), '/', '\\');
  while (!key.empty() && key.back() == '\\') key.pop_back();
  return key;
}

std::string ParentKey(const std::string &pathKey) {
  const std::size_t slash = pathKey.rfind('\\');
  return slash == std::string::npos ? std::string() : pathKey.substr(0, slash);
}

std::string NameOf(const std::string &path) {
  std::string trimmed = path;
  while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
  const std::size_t slash = trimmed.rfind('\\');
  return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

std::uintptr_t NewHandle(HandleObject object) {
  const std::uintptr_t id = M().nextHandle;
  M().nextHandle += 4;
  M().handles.emplace(id, std::move(object));
  return id;
}

HandleObject *FindHandle(const void *handle, HandleKind kind) {
  const auto found = M().handles.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == M().handles.end() || found->second.kind != kind) return nullptr;
  return &found->second;
}

void CloseOwnHandle(const void *handle) { M().handles.erase(reinterpret_cast<std::uintptr_t>(handle)); }

void RecordEvent(const std::string &what) { M().events.push_back({M().now, what}); }

void AdvanceClockTo(DWORD when) {
  if (when < M().now) return;
  // Processes end in the order of their end times, each noted at the moment it ended.
  for (;;) {
    Process *next = nullptr;
    for (Process &process : M().processes)
      if (!process.endRecorded && process.endsAt <= when && (!next || process.endsAt < next->endsAt))
        next = &process;
    if (!next) break;
    M().now = std::max(M().now, next->endsAt);
    next->endRecorded = true;
    RecordEvent("end " + next->file);
  }
  M().now = when;
}

}  // namespace sim::detail

namespace sim {

using namespace detail;

Bytes ToBytes(const std::string &text) { return Bytes(text.begin(), text.end()); }

void Reset() { M() = Machine(); }

void AnswerDialogs(const std::vector<int> &answers) {
  M().answers = answers;
  M().nextAnswer = 0;
}
const std::vector<Dialog> &Dialogs() { return M().dialogs; }

DWORD Now() { return M().now; }
const std::vector<Event> &Events() { return M().events; }

std::size_t OpenHandleCount() { return M().handles.size(); }

}  // namespace sim

extern "C" {

DWORD WINAPI GetLastError() { return sim::detail::M().lastError; }
void WINAPI SetLastError(DWORD error) { sim::detail::M().lastError = error; }

void WINAPI Sleep(DWORD milliseconds) {
  sim::detail::AdvanceClockTo(sim::detail::M().now + milliseconds);
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  using sim::detail::M;
  M().dialogs.push_back({owner, caption ? caption : "", text ? text : "", type});
  if (M().nextAnswer >= M().answers.size()) return 0;
  return M().answers[M().nextAnswer++];
}

}  // extern "C"
