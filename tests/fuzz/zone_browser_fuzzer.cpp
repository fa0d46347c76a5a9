// Fuzzes the two registry-driven stages at the end of the run: the zone stage (policies "1200" and
// "1405" of the Internet zone) and the completion stage (the htmlfile open command). Each input
// describes what the simulated registry holds: any type, size and bytes, a missing value, a missing
// key, keys that refuse writes, failing writes and the user's answer. The target checks the
// installer against oracles written here from the input alone, and aborts on the first difference.
//
// Input layout, read front to back (missing bytes read as 0):
//   flags         bit 0 zone key exists, bit 1 zone key refuses writes, bits 2-3 failing write
//                 (1 "1200", 2 "1405"), bit 4 command key exists, bit 5 command key refuses
//                 writes, bit 6 the home page text is empty
//   answer        to the zone question: < 0x80 Yes, < 0xFE No, 0xFE no answer (0), 0xFF Cancel
//   "1200", "1405" one value each: kind, length (1 byte), bytes
//   command       kind, head length (1 byte), head, fill count (2 bytes, little-endian), fill byte,
//                 tail length (1 byte), tail. The fill reaches values longer than any command line.
//   kind          0 missing value, 1..9 a type of kTypes, 0xFF a raw type in the next 4 bytes
//                 (little-endian), anything else kTypes[kind % 9]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "default_browser.h"
#include "expected_texts.h"
#include "sim.h"
#include "zone_settings.h"

namespace {

const std::string kZoneKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3";
const std::string kCommandKey = "htmlfile\\shell\\open\\command";
constexpr unsigned kHomePageId = 65340;
// The longest command line Windows starts: a longer value cannot be a browser's command.
constexpr std::size_t kLongestCommand = 32767;

// REG_DWORD_BIG_ENDIAN (5) and REG_LINK (6) by number: the simulated headers do not name them.
constexpr DWORD kTypes[] = {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, 5, 6, REG_MULTI_SZ,
                            REG_QWORD};

class Reader {
 public:
  Reader(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint32_t Le(int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint32_t>(Byte()) << (8 * i);
    return value;
  }
  sim::Bytes Bytes(std::size_t count) {
    const std::size_t n = count < size_ - at_ ? count : size_ - at_;
    sim::Bytes bytes(data_ + at_, data_ + at_ + n);
    at_ += n;
    return bytes;
  }

 private:
  const std::uint8_t *data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

using Stored = std::optional<sim::Value>;  // nullopt: no such value

struct Input {
  bool zoneKey = false;
  bool zoneWriteDenied = false;
  const char *failingWrite = nullptr;
  bool commandKey = false;
  bool commandWriteDenied = false;
  bool emptyHomePage = false;
  int answer = 0;
  Stored run, script, command;
};

std::optional<DWORD> Kind(Reader &in) {
  const std::uint8_t kind = in.Byte();
  if (kind == 0) return std::nullopt;
  if (kind == 0xFF) return in.Le(4);
  return kTypes[(kind - 1) % 9];
}

Stored ReadPolicy(Reader &in) {
  const std::optional<DWORD> type = Kind(in);
  if (!type) return std::nullopt;
  return sim::Value{*type, in.Bytes(in.Byte())};
}

Stored ReadCommand(Reader &in) {
  const std::optional<DWORD> type = Kind(in);
  if (!type) return std::nullopt;
  sim::Bytes data = in.Bytes(in.Byte());
  const std::uint32_t fill = in.Le(2);
  data.insert(data.end(), fill, in.Byte());
  const sim::Bytes tail = in.Bytes(in.Byte());
  data.insert(data.end(), tail.begin(), tail.end());
  return sim::Value{*type, data};
}

Input Parse(const std::uint8_t *data, std::size_t size) {
  Reader in(data, size);
  Input input;
  const std::uint8_t flags = in.Byte();
  input.zoneKey = flags & 0x01;
  input.zoneWriteDenied = input.zoneKey && (flags & 0x02);
  const int failing = (flags >> 2) & 3;
  input.failingWrite = failing == 1 ? "1200" : failing == 2 ? "1405" : nullptr;
  input.commandKey = flags & 0x10;
  input.commandWriteDenied = input.commandKey && (flags & 0x20);
  input.emptyHomePage = flags & 0x40;
  const std::uint8_t answer = in.Byte();
  input.answer = answer < 0x80 ? IDYES : answer < 0xFE ? IDNO : answer == 0xFE ? 0 : IDCANCEL;
  // Values live only in a key that exists.
  input.run = ReadPolicy(in);
  input.script = ReadPolicy(in);
  input.command = ReadCommand(in);
  if (!input.zoneKey) input.run = input.script = std::nullopt;
  if (!input.commandKey) input.command = std::nullopt;
  return input;
}

// --- Oracles ------------------------------------------------------------------------------------

bool Acceptable(const Stored &policy) {
  if (!policy || policy->type != REG_DWORD || policy->data.size() != 4) return false;
  const std::uint32_t value = policy->data[0] | policy->data[1] << 8 | policy->data[2] << 16 |
                              static_cast<std::uint32_t>(policy->data[3]) << 24;
  return value == 0 || value == 1;
}

std::string CommandText(const Stored &command) {
  if (!command || (command->type != REG_SZ && command->type != REG_EXPAND_SZ)) return {};
  if (command->data.size() > kLongestCommand) return {};
  std::string text(command->data.begin(), command->data.end());
  return text.substr(0, text.find('\0'));
}

bool NamesInternetExplorer(std::string text) {
  for (char &c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text.find("IEXPLORE.EXE") != std::string::npos;
}

// --- The machine ---------------------------------------------------------------------------------

// The installer's string table, read once from the compiled resource script.
std::map<unsigned, std::string> &StringTable() {
  static std::map<unsigned, std::string> table;
  return table;
}

void SetUpMachine(const Input &input) {
  sim::Reset();
  for (const auto &[id, text] : StringTable()) sim::SetString(id, text);
  if (input.emptyHomePage) sim::SetString(kHomePageId, "");
  if (input.zoneKey) sim::PutKey(HKEY_CURRENT_USER, kZoneKey);
  if (input.run) sim::PutValue(HKEY_CURRENT_USER, kZoneKey, "1200", input.run->type, input.run->data);
  if (input.script)
    sim::PutValue(HKEY_CURRENT_USER, kZoneKey, "1405", input.script->type, input.script->data);
  if (input.zoneWriteDenied) sim::DenyWriteAccess(HKEY_CURRENT_USER, kZoneKey);
  if (input.failingWrite) sim::FailSetValue(input.failingWrite);
  if (input.commandKey) sim::PutKey(HKEY_CLASSES_ROOT, kCommandKey);
  if (input.command)
    sim::PutValue(HKEY_CLASSES_ROOT, kCommandKey, "", input.command->type, input.command->data);
  if (input.commandWriteDenied) sim::DenyWriteAccess(HKEY_CLASSES_ROOT, kCommandKey);
}

std::string Describe(const Stored &value) {
  if (!value) return "missing";
  std::string text = "type " + std::to_string(value->type) + ", " + std::to_string(value->data.size()) + " bytes:";
  for (std::size_t i = 0; i < value->data.size() && i < 48; ++i) {
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02x", value->data[i]);
    text += hex;
  }
  if (value->data.size() > 48) text += " ...";
  return text;
}

const Input *g_input = nullptr;

[[noreturn]] void Fail(const char *what, const std::string &detail) {
  std::fprintf(stderr, "\n*** invariant broken: %s\n    %s\n", what, detail.c_str());
  if (g_input) {
    const Input &in = *g_input;
    std::fprintf(stderr,
                 "    zone key %d (writes refused %d, failing write %s), answer %d\n"
                 "    1200: %s\n    1405: %s\n"
                 "    command key %d (writes refused %d), home page empty %d\n    command: %s\n",
                 in.zoneKey, in.zoneWriteDenied, in.failingWrite ? in.failingWrite : "none", in.answer,
                 Describe(in.run).c_str(), Describe(in.script).c_str(), in.commandKey, in.commandWriteDenied,
                 in.emptyHomePage, Describe(in.command).c_str());
  }
  std::abort();
}

void Check(bool ok, const char *what, const std::string &detail = {}) {
  if (!ok) Fail(what, detail);
}

void CheckNoHandlesLeft(const char *after) {
  Check(sim::OpenHandleCount() == 0, "handles left open", std::string("after ") + after + ": " +
                                                               std::to_string(sim::OpenHandleCount()));
}

bool SameValue(const Stored &a, const Stored &b) {
  if (!a || !b) return !a && !b;
  return a->type == b->type && a->data == b->data;
}

void CheckValue(HKEY root, const std::string &key, const char *name, const Stored &expected, const char *when) {
  const Stored now = sim::GetValue(root, key, name);
  Check(SameValue(now, expected), "registry value differs from what it should be",
        std::string(when) + ", value \"" + name + "\": " + Describe(now) + ", expected " + Describe(expected));
}

std::string DialogText(const sim::Dialog &d) {
  char type[16];
  std::snprintf(type, sizeof type, "%08x", d.type);
  return "\"" + d.caption + "\" / \"" + d.text + "\" / " + type;
}

bool Is(const sim::Dialog &shown, const expected::Dialog &want) {
  return shown.owner == nullptr && shown.caption == want.caption && shown.text == want.text &&
         shown.type == want.type;
}

// --- The checks ----------------------------------------------------------------------------------

// The read operations alone, on a fresh machine: each answers as its oracle and leaves nothing open
// or changed.
void CheckReads(const Input &input) {
  SetUpMachine(input);
  const bool runAllowed = ActiveXRunAllowed();
  CheckNoHandlesLeft("ActiveXRunAllowed");
  Check(runAllowed == Acceptable(input.run), "ActiveXRunAllowed disagrees with the oracle",
        "got " + std::to_string(runAllowed));
  const bool scriptingAllowed = ActiveXScriptingAllowed();
  CheckNoHandlesLeft("ActiveXScriptingAllowed");
  Check(scriptingAllowed == Acceptable(input.script), "ActiveXScriptingAllowed disagrees with the oracle",
        "got " + std::to_string(scriptingAllowed));

  const RegistryText command = ReadDefaultBrowserCommand();
  CheckNoHandlesLeft("ReadDefaultBrowserCommand");
  const std::string expectedText = CommandText(input.command);
  Check(command.View() == expectedText, "ReadDefaultBrowserCommand disagrees with the oracle",
        "got " + std::to_string(command.Length()) + " characters, expected " + std::to_string(expectedText.size()));
  const bool ie = IsIEDefaultBrowser();
  CheckNoHandlesLeft("IsIEDefaultBrowser");
  Check(ie == NamesInternetExplorer(expectedText), "IsIEDefaultBrowser disagrees with the oracle",
        "got " + std::to_string(ie));

  CheckValue(HKEY_CURRENT_USER, kZoneKey, "1200", input.run, "after the reads");
  CheckValue(HKEY_CURRENT_USER, kZoneKey, "1405", input.script, "after the reads");
  CheckValue(HKEY_CLASSES_ROOT, kCommandKey, "", input.command, "after the reads");
  Check(sim::Dialogs().empty(), "a read showed a dialog");
}

// Both stages in order, as the run reaches them after a successful registration.
void CheckStages(const Input &input) {
  SetUpMachine(input);
  // More answers than the stages may ask for: a dialog too many shows up in the count.
  sim::AnswerDialogs({input.answer, IDOK, IDOK, IDOK});

  RunZoneSettingsStage();
  CheckNoHandlesLeft("the zone stage");
  const bool runOk = Acceptable(input.run);
  const bool asks = !runOk || !Acceptable(input.script);
  const std::vector<sim::Dialog> &shown = sim::Dialogs();
  Check(shown.size() == (asks ? 1u : 0u), "the zone stage showed the wrong number of dialogs",
        std::to_string(shown.size()) + " shown, " + (asks ? "1" : "0") + " expected");
  if (asks)
    Check(Is(shown[0], expected::kZoneSettingsDialog), "the zone stage showed another dialog",
          DialogText(shown[0]));

  const std::vector<std::string> &queried = sim::QueriedValues();
  // A key that does not open has no values to read.
  Check(std::count(queried.begin(), queried.end(), "1200") == (input.zoneKey ? 1 : 0),
        "\"1200\" must be read once, when its key exists");
  Check(std::count(queried.begin(), queried.end(), "1405") == (runOk ? 1 : 0),
        "\"1405\" must be read exactly when \"1200\" is acceptable");

  // Yes writes "1200" then "1405" as REG_DWORD 0; a refused key writes neither, a failed "1200"
  // stops before "1405".
  Stored runAfter = input.run, scriptAfter = input.script;
  bool keyAfter = input.zoneKey;
  if (asks && input.answer == IDYES && !input.zoneWriteDenied) {
    keyAfter = true;
    const sim::Value zero{REG_DWORD, sim::Bytes(4, 0)};
    const bool runWritten = !(input.failingWrite && std::strcmp(input.failingWrite, "1200") == 0);
    if (runWritten) runAfter = zero;
    if (runWritten && !(input.failingWrite && std::strcmp(input.failingWrite, "1405") == 0)) scriptAfter = zero;
  }
  Check(sim::KeyExists(HKEY_CURRENT_USER, kZoneKey) == keyAfter, "the zone key's existence is wrong after the stage");
  CheckValue(HKEY_CURRENT_USER, kZoneKey, "1200", runAfter, "after the zone stage");
  CheckValue(HKEY_CURRENT_USER, kZoneKey, "1405", scriptAfter, "after the zone stage");

  const std::size_t zoneDialogs = shown.size();
  RunCompletionStage();
  CheckNoHandlesLeft("the completion stage");
  const bool ie = NamesInternetExplorer(CommandText(input.command));
  const std::vector<sim::Dialog> &all = sim::Dialogs();
  const std::size_t expectedCount = zoneDialogs + (ie ? 1 : 2);
  Check(all.size() == expectedCount, "the completion stage showed the wrong number of dialogs",
        std::to_string(all.size()) + " in all, " + std::to_string(expectedCount) + " expected");
  Check(all.size() <= 3, "more than three dialogs from the two stages");
  Check(Is(all.back(), expected::kSuccessDialog), "the success dialog is not the last one", DialogText(all.back()));
  if (!ie)
    Check(Is(all[zoneDialogs], expected::kBrowserWarningDialog), "the browser warning is missing",
          DialogText(all[zoneDialogs]));

  const std::vector<sim::ShellOpen> &opens = sim::ShellOpens();
  const bool opensPage = ie && !input.emptyHomePage;
  Check(opens.size() == (opensPage ? 1u : 0u), "wrong number of pages opened", std::to_string(opens.size()));
  if (opensPage) {
    const sim::ShellOpen &open = opens[0];
    Check(open.hwnd == nullptr && open.operation == std::string("open") &&
              open.file == StringTable()[kHomePageId] && !open.parameters && !open.directory &&
              open.show == SW_SHOWNORMAL,
          "the home page was opened the wrong way", open.file.value_or("(no file)"));
  }
  Check(sim::Launches().empty(), "the stages started a process");
  CheckValue(HKEY_CLASSES_ROOT, kCommandKey, "", input.command, "after the completion stage");
  CheckValue(HKEY_CURRENT_USER, kZoneKey, "1200", runAfter, "after the completion stage");
  CheckValue(HKEY_CURRENT_USER, kZoneKey, "1405", scriptAfter, "after the completion stage");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  sim::Reset();
  sim::LoadResourceFile(QUILLMARSH_TEXTS_RES);
  // Every entry the installer uses, as the compiled resource script holds it, read once: the
  // machine is reset for every input.
  for (const auto &[id, text] : expected::StringTable()) {
    char buffer[1024];
    const int length = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof buffer);
    StringTable()[id] = std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
    // The home page is a build setting; every other entry is fixed.
    if (id != kHomePageId && StringTable()[id] != text) {
      std::fprintf(stderr, "the string table's entry %u is not the installer's text\n", id);
      std::abort();
    }
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const Input input = Parse(data, size);
  g_input = &input;
  CheckReads(input);
  CheckStages(input);
  g_input = nullptr;
  return 0;
}
