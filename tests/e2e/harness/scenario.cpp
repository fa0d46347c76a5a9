#include "scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "transcript.h"

namespace e2e {
namespace {

std::string Hex8(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

std::string ResultName(unsigned result) {
  const char* name = ButtonNameOf(static_cast<int>(result));
  if (name != nullptr) return name;
  return result == 0 ? "0 (the box failed)" : "0x" + Hex8(result);
}

bool HasButton(const Dialog& dialog, const std::string& name) {
  std::istringstream words(dialog.buttons);
  std::string word;
  while (words >> word) {
    if (word == name) return true;
  }
  return false;
}

std::string DescribeFile(const Prefix& prefix, const std::string& path) {
  if (!prefix.Exists(path)) return "absent";
  if (prefix.IsFolder(path)) return "a folder";
  return "a file of " + std::to_string(prefix.ReadFile(path).size()) + " bytes";
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The driver's stderr without the relay trace's bulk, for the failure report.
std::string InterestingStderr(const std::string& err) {
  static const std::regex relay("^[0-9a-f]{4}:(Call|Ret|trace:relay|Starting thread proc)");
  std::istringstream lines(err);
  std::string line, kept;
  while (std::getline(lines, line)) {
    if (line.find("MessageBoxA(") != std::string::npos || !std::regex_search(line, relay)) kept += line + "\n";
  }
  return kept;
}

constexpr int kPollMs = 50;

bool EndsWithIgnoringCase(const std::string& text, const std::string& end) {
  if (end.size() > text.size()) return false;
  for (size_t i = 0; i < end.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[text.size() - end.size() + i])) !=
        std::tolower(static_cast<unsigned char>(end[i]))) {
      return false;
    }
  }
  return true;
}

// From Wine's +loaddll trace, "0104:trace:loaddll:build_module Loaded L"C:\\e2e\\x.exe" at ...: native":
// the thread that loaded the program is its main thread, and each later line of that thread that
// loads the library gives the path and the kind.
std::vector<std::string> LoadsOnMainThread(const std::string& trace, const std::string& program,
                                           const std::string& library) {
  static const std::regex loaded("^(?:[0-9.]+:)?([0-9a-f]{4}):trace:loaddll:build_module Loaded L\"(.*)\" at [0-9A-Fa-f]+: (\\w+)");
  std::vector<std::string> loads;
  std::string thread;
  std::istringstream lines(trace);
  std::string line;
  while (std::getline(lines, line)) {
    std::smatch m;
    if (!std::regex_search(line, m, loaded)) continue;
    std::string path = std::regex_replace(m[2].str(), std::regex(R"(\\\\)"), "\\");
    if (thread.empty()) {
      if (path == program) thread = m[1].str();
      continue;
    }
    if (m[1].str() == thread && EndsWithIgnoringCase(path, "\\" + library)) {
      loads.push_back(path + " (" + m[3].str() + ")");
    }
  }
  return loads;
}

}  // namespace

Content BuiltFile(const std::string& relative) {
  return {relative, [relative](const Prefix& prefix) {
            std::ifstream in(prefix.Binary(relative), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            return bytes.str();
          }};
}

Content Text(const std::string& label, const std::string& bytes) {
  return {label, [bytes](const Prefix&) { return bytes; }};
}

Step MakeFolder(const std::string& windowsPath) {
  return {"make folder " + windowsPath, [windowsPath](Prefix& prefix) { prefix.MakeFolder(windowsPath); }};
}

Step PutFile(const std::string& windowsPath, const Content& content) {
  return {"put " + content.label + " at " + windowsPath,
          [windowsPath, content](Prefix& prefix) { prefix.WriteFile(windowsPath, content.bytes(prefix)); }};
}

Step MountTmpfs(const std::string& windowsFolder, unsigned long sizeBytes) {
  return {"mount a " + std::to_string(sizeBytes / 1024) + " KiB tmpfs over " + windowsFolder,
          [windowsFolder, sizeBytes](Prefix& prefix) { prefix.MountTmpfs(windowsFolder, sizeBytes); }};
}

Step MountReadOnly(const std::string& windowsFolder) {
  return {"make " + windowsFolder + " read-only (bind mount)",
          [windowsFolder](Prefix& prefix) { prefix.MountReadOnly(windowsFolder); }};
}

Step HoldOpen(const std::string& windowsFile) {
  return {"another process holds " + windowsFile + " open with share mode 0",
          [windowsFile](Prefix& prefix) { prefix.HoldOpen(windowsFile); }};
}

Step RegAdd(const std::string& key, const std::string& name, const std::string& type, const std::string& data) {
  return {"reg add " + key + " /v " + name + " /t " + type + " /d " + Quote(data),
          [=](Prefix& prefix) { prefix.RegAdd(key, name, type, data); }};
}

Step RegDeleteKey(const std::string& key) {
  return {"reg delete " + key, [key](Prefix& prefix) { prefix.RegDelete(key, nullptr); }};
}

Step PutInSystemFolder(const std::string& fileName, const Content& content) {
  return {"put " + content.label + " in the system folder as " + fileName, [fileName, content](Prefix& prefix) {
            prefix.WriteFile(prefix.arch().systemFolder + "\\" + fileName, content.bytes(prefix));
          }};
}

Step RememberSubkeys(const std::string& key) {
  return {"note the keys below " + key,
          [key](Prefix& prefix) { prefix.Remember("subkeys of " + key, prefix.RegSubkeys(key)); }};
}

Check Absent(const std::string& windowsPath) {
  return {[windowsPath](const Prefix&) { return windowsPath + ": absent"; },
          [windowsPath](const Prefix& prefix) { return windowsPath + ": " + DescribeFile(prefix, windowsPath); }};
}

Check Holds(const std::string& windowsPath, const Content& content) {
  std::string expected = windowsPath + ": the bytes of " + content.label;
  return {[expected](const Prefix&) { return expected; },
          [windowsPath, content, expected](const Prefix& prefix) {
            if (!prefix.Exists(windowsPath) || prefix.IsFolder(windowsPath)) {
              return windowsPath + ": " + DescribeFile(prefix, windowsPath);
            }
            std::string got = prefix.ReadFile(windowsPath);
            std::string want = content.bytes(prefix);
            if (got == want) return expected;
            size_t common = std::min(got.size(), want.size());
            size_t at = std::mismatch(got.begin(), got.begin() + common, want.begin()).first - got.begin();
            return windowsPath + ": " + std::to_string(got.size()) + " bytes, not those of " + content.label + " (" +
                   std::to_string(want.size()) + " bytes; first difference at offset " + std::to_string(at) + ")";
          }};
}

Check FolderHolds(const std::string& windowsFolder, std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  auto render = [windowsFolder](const std::vector<std::string>& list) {
    return windowsFolder + " holds: " + (list.empty() ? std::string("(nothing)") : Join(list, ", "));
  };
  return {[render, names](const Prefix&) { return render(names); },
          [render, windowsFolder](const Prefix& prefix) {
            if (!prefix.IsFolder(windowsFolder)) return windowsFolder + ": " + DescribeFile(prefix, windowsFolder);
            return render(prefix.List(windowsFolder));
          }};
}

Check RegistryValue(const std::string& key, const std::string& name, const std::string& typeAndData) {
  std::string line = key + " " + (name.empty() ? std::string("(Default)") : name) + " = ";
  return {[line, typeAndData](const Prefix&) { return line + typeAndData; },
          [line, key, name](const Prefix& prefix) {
            std::string data, type;
            return line + (prefix.TryRegQuery(key, name, &data, &type) ? type + " " + data : std::string("(missing)"));
          }};
}

Check RegistryTree(const std::string& key, std::vector<std::string> lines) {
  auto render = [key](const std::vector<std::string>& tree) {
    return "reg query " + key + " /s:\n" + (tree.empty() ? std::string("  (missing)") : "  " + Join(tree, "\n  "));
  };
  return {[render, lines](const Prefix&) { return render(lines); },
          [render, key](const Prefix& prefix) { return render(prefix.RegTree(key)); }};
}

Check NewSubkeys(const std::string& key, std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  auto render = [key](const std::vector<std::string>& list) {
    return "keys the run added below " + key + ": " + (list.empty() ? std::string("(none)") : Join(list, ", "));
  };
  return {[render, names](const Prefix&) { return render(names); },
          [render, key](const Prefix& prefix) {
            const std::vector<std::string>& before = prefix.Remembered("subkeys of " + key);
            std::vector<std::string> after = prefix.RegSubkeys(key), added;
            std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
            std::vector<std::string> gone;
            std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(gone));
            std::string text = render(added);
            if (!gone.empty()) text += "; and it removed: " + Join(gone, ", ");
            return text;
          }};
}

Check ScriptExits(const std::string& windowsScript, const std::vector<std::string>& arguments, int exitCode) {
  std::vector<std::string> command = {"cscript", windowsScript};
  command.insert(command.end(), arguments.begin(), arguments.end());
  std::string line = Join(command) + ": exit code ";
  return {[line, exitCode](const Prefix&) { return line + std::to_string(exitCode); },
          [line, command, exitCode](const Prefix& prefix) {
            Outcome outcome = prefix.Wine(command);
            if (outcome.timedOut) return line + "(timed out)";
            std::string text = line + std::to_string(outcome.exitStatus);
            // The script says which of its checks failed.
            if (outcome.exitStatus != exitCode && !outcome.out.empty()) text += ", saying: " + Quote(outcome.out);
            return text;
          }};
}

Check HoldsWithin(const std::string& windowsPath, const Content& content, int waitMs) {
  Check holds = Holds(windowsPath, content);
  return {holds.expected, [holds, waitMs](const Prefix& prefix) {
            std::string expected = holds.expected(prefix), got;
            for (int waited = 0;; waited += kPollMs) {
              got = holds.actual(prefix);
              if (got == expected || waited >= waitMs) break;
              std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
            }
            return got;
          }};
}

Check StaysAbsent(const std::string& windowsPath, int waitMs) {
  Check absent = Absent(windowsPath);
  return {[absent, waitMs](const Prefix& prefix) {
            return absent.expected(prefix) + " (after " + std::to_string(waitMs) + " ms)";
          },
          [absent, waitMs](const Prefix& prefix) {
            std::string expected = absent.expected(prefix), got;
            for (int waited = 0;; waited += kPollMs) {
              got = absent.actual(prefix);
              if (got != expected || waited >= waitMs) break;
              std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
            }
            return got + " (after " + std::to_string(waitMs) + " ms)";
          }};
}

Check LoadedBy(const std::string& windowsProgram, const std::string& library, std::vector<std::string> loads) {
  std::string line = windowsProgram + " loaded " + library + " from: ";
  auto render = [line](const std::vector<std::string>& list) {
    return line + (list.empty() ? std::string("(nowhere)") : Join(list, "; "));
  };
  return {[render, loads](const Prefix&) { return render(loads); },
          [render, windowsProgram, library](const Prefix& prefix) {
            return render(LoadsOnMainThread(prefix.LastRun().outcome.err, windowsProgram, library));
          }};
}

std::string ExpectedTranscript(const Scenario& row) {
  std::string text;
  for (size_t i = 0; i < row.dialogs.size(); ++i) {
    const Dialog& d = row.dialogs[i];
    text += "dialog " + std::to_string(i + 1) + "\n";
    text += "  caption: " + Quote(d.caption) + "\n";
    text += "  text: " + Quote(d.text) + "\n";
    text += "  buttons: " + d.buttons + "\n";
    text += "  default: " + d.defaultButton + "\n";
    text += "  icon: " + d.icon + "\n";
    text += "  uType: " + Hex8(d.uType) + "\n";
    // The driver clicks only a button the box has; MessageBoxA then returns that button's id.
    if (i < row.answers.size() && HasButton(d, row.answers[i])) {
      text += "  answer: " + row.answers[i] + "\n";
      text += "  returned: " + row.answers[i] + "\n";
    }
  }
  text += "exit code: " + row.exitCode + "\n";
  if (!row.failure.empty()) text += "failure: " + row.failure + "\n";
  return text;
}

std::string MergedTranscript(const DriverRun& run) {
  const std::vector<MessageBoxCall>& calls = run.calls;
  std::string text;
  std::string returned;  // the current dialog's result line, placed after its answer
  size_t dialogs = 0;
  bool unmatchedShown = false;
  auto flushReturned = [&] {
    text += returned;
    returned.clear();
  };
  auto showUnmatched = [&] {
    if (unmatchedShown) return;
    unmatchedShown = true;
    for (size_t i = dialogs; i < calls.size(); ++i) {
      text += "MessageBoxA call with no dialog seen: uType " + Hex8(calls[i].uType) + "\n";
    }
  };
  std::istringstream lines(run.outcome.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (StartsWith(line, "dialog ")) {
      flushReturned();
      ++dialogs;
      text += line + "\n";
    } else if (StartsWith(line, "  icon: ")) {
      text += line + "\n";
      if (dialogs <= calls.size()) {
        const MessageBoxCall& call = calls[dialogs - 1];
        text += "  uType: " + Hex8(call.uType) + "\n";
        if (call.returned) returned = "  returned: " + ResultName(call.result) + "\n";
      } else {
        text += "  uType: (no MessageBoxA call traced)\n";
      }
    } else if (StartsWith(line, "  answer: ")) {
      text += line + "\n";
      flushReturned();
    } else {
      flushReturned();
      if (StartsWith(line, "exit code: ")) showUnmatched();
      text += line + "\n";
    }
  }
  flushReturned();
  showUnmatched();
  const Outcome& driver = run.outcome;
  if (driver.timedOut || (driver.exitStatus != 0 && driver.exitStatus != 1)) {
    text += driver.timedOut ? std::string("driver: timed out\n")
                            : "driver: exit status " + std::to_string(driver.exitStatus) + "\n";
  }
  return text;
}

void RunScenario(const WineArch& arch, const std::string& templatePrefix, const Scenario& row) {
  Prefix prefix(arch, templatePrefix);
  std::string setup;
  try {
    for (const Step& step : row.setup) {
      setup += "  " + step.label + "\n";
      step.run(prefix);
    }
  } catch (const Skip& skip) {
    GTEST_SKIP() << skip.what();
  }
  std::string fileName = std::filesystem::path(row.program.binary).filename().string();
  std::string programPath = "C:\\e2e\\" + fileName;
  prefix.CopyIn(prefix.Binary(row.program.binary), programPath);
  std::vector<std::string> command = {programPath};
  command.insert(command.end(), row.program.arguments.begin(), row.program.arguments.end());

  const DriverRun& run =
      prefix.RunDriver(command, row.answers, row.dialogTimeoutMs, row.exitTimeoutMs, row.environment, row.debug);

  std::string transcript = MergedTranscript(run);
  std::string report = "scenario " + arch.name + "." + row.name + "\nsetup:\n" +
                       (setup.empty() ? std::string("  (none)\n") : setup) +
                       "program: " + Join(command) + "\nanswers: " + Join(row.answers, ",") +
                       (row.environment.empty() ? std::string() : "\nenvironment: " + Join(row.environment)) +
                       "\n\ntranscript:\n" +
                       transcript + "\ndriver's stderr (relay trace of MessageBoxA only):\n" +
                       InterestingStderr(run.outcome.err);
  EXPECT_EQ(ExpectedTranscript(row), transcript) << report;

  std::string expectedState, actualState;
  for (const Check& check : row.afterwards) {
    expectedState += check.expected(prefix) + "\n";
    actualState += check.actual(prefix) + "\n";
  }
  EXPECT_EQ(expectedState, actualState) << report;
}

}  // namespace e2e
