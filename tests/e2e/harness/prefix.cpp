#include "prefix.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace e2e {
namespace {

constexpr int kWineCommandMs = 60000;
constexpr int kWinebootMs = 180000;
constexpr int kServerShutdownMs = 30000;
constexpr int kHolderStartMs = 20000;
constexpr int kHolderStopMs = 5000;
// A holder lets go by itself after this long, should every other way of stopping it fail.
constexpr const char* kHolderLimitSeconds = "300";
// How long an unmount may stay busy after the prefix's processes were killed.
constexpr int kUnmountRetries = 40;
constexpr int kUnmountRetryMs = 50;

std::vector<std::string> WineEnvironment(const WineArch& arch, const std::string& prefix, const std::string& debug) {
  // Headless and reproducible: no display, no overrides from whoever runs the tests.
  std::vector<std::string> env = {"WINEPREFIX=" + prefix, "WINEDEBUG=" + debug, "DISPLAY", "WAYLAND_DISPLAY",
                                  "WINEDLLOVERRIDES", "WINELOADER", "WINESERVER"};
  env.insert(env.end(), arch.environment.begin(), arch.environment.end());
  return env;
}

// Runs args with the architecture's wine in the prefix; with viaArchWine false, args[0] is itself
// the loader to use (the 64-bit reg.exe in either architecture's prefix).
Outcome RunWine(const WineArch& arch, const std::string& prefix, const std::vector<std::string>& args,
                int timeoutMs, const std::string& debug = "-all", const std::vector<std::string>& extraEnv = {},
                bool viaArchWine = true) {
  Command command;
  if (viaArchWine) command.argv = arch.wine;
  command.argv.insert(command.argv.end(), args.begin(), args.end());
  command.environment = WineEnvironment(arch, prefix, debug);
  command.environment.insert(command.environment.end(), extraEnv.begin(), extraEnv.end());
  command.timeoutMs = timeoutMs;
  return Run(command);
}

Outcome RunWineserver(const WineArch& arch, const std::string& prefix, const char* option, int timeoutMs) {
  Command command;
  command.argv = arch.wineserver;
  command.argv.push_back(option);
  command.environment = WineEnvironment(arch, prefix, "-all");
  command.timeoutMs = timeoutMs;
  return Run(command);
}

// Ends every process of the prefix and waits for its server to be gone.
void EndWineserverOf(const WineArch& arch, const std::string& prefix) {
  RunWineserver(arch, prefix, "-k", kServerShutdownMs);
  RunWineserver(arch, prefix, "-w", kServerShutdownMs);
}

void Require(const Outcome& outcome, const std::string& what) {
  if (!outcome.ok()) throw std::runtime_error(what + ": " + outcome.Describe());
}

// Mount points at or below a folder, from the kernel's own list.
std::vector<std::string> MountsUnder(const std::string& folder) {
  std::vector<std::string> found;
  std::ifstream info("/proc/self/mountinfo");
  std::string line;
  while (std::getline(info, line)) {
    std::istringstream fields(line);
    std::string id, parent, device, root, point;
    fields >> id >> parent >> device >> root >> point;
    // The kernel writes a space in a path as \040.
    std::string decoded;
    for (size_t i = 0; i < point.size(); ++i) {
      if (point[i] == '\\' && i + 3 < point.size()) {
        decoded += static_cast<char>(std::strtol(point.substr(i + 1, 3).c_str(), nullptr, 8));
        i += 3;
      } else {
        decoded += point[i];
      }
    }
    if (decoded == folder || decoded.rfind(folder + "/", 0) == 0) found.push_back(decoded);
  }
  return found;
}

// Unmounts, waiting a little for a mount still busy; a lazy unmount is the last resort.
bool Unmount(const std::string& target) {
  for (int i = 0; i < kUnmountRetries; ++i) {
    if (umount2(target.c_str(), 0) == 0 || errno == EINVAL || errno == ENOENT) return true;
    if (errno != EBUSY) break;
    usleep(kUnmountRetryMs * 1000);
  }
  umount2(target.c_str(), MNT_DETACH);
  return false;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

void MakeTemplate(const WineArch& arch, const std::string& dir) {
  RemoveTemplate(arch, dir);
  std::string prefix = dir + "/prefix";
  fs::create_directories(prefix);
  // In place before the first wineboot, which keeps them: a crash dialog nobody answers would block
  // wineboot itself, and the 32-bit programs of a WoW64 prefix read these keys as well.
  std::ofstream(prefix + "/user.reg") << "WINE REGISTRY Version 2\n\n"
                                         // No display here: the null driver still makes windows,
                                         // so message boxes run as usual.
                                         "[Software\\\\Wine\\\\Drivers]\n\"Graphics\"=\"null\"\n\n"
                                         // A crash must end the program, not wait for someone.
                                         "[Software\\\\Wine\\\\WineDbg]\n\"ShowCrashDialog\"=dword:00000000\n\n"
                                         // +relay then traces only MessageBoxA, which is how the
                                         // exact uType of each box is seen.
                                         "[Software\\\\Wine\\\\Debug]\n\"RelayInclude\"=\"user32.MessageBoxA\"\n";
  Require(RunWine(arch, prefix, {"wineboot", "-i"}, kWinebootMs), "wineboot -i");
  // cscript registers its own type library the first time it runs in a prefix; done here, so that
  // a scenario's registry holds afterwards only what the scenario wrote.
  const std::string script = prefix + "/drive_c/quillmarsh-e2e-first-run.js";
  std::ofstream(script) << "WScript.Quit(0);\n";
  Require(RunWine(arch, prefix, {"cscript", "C:\\quillmarsh-e2e-first-run.js"}, kWineCommandMs), "cscript");
  fs::remove(script);
  // The registry reaches disk only when the server ends; the template must be complete before use.
  Require(RunWineserver(arch, prefix, "-w", kServerShutdownMs), "wineserver -w");
  std::ofstream(dir + "/ready") << arch.name << "\n";
}

void RemoveTemplate(const WineArch& arch, const std::string& dir) {
  if (!fs::exists(dir)) return;
  if (fs::is_directory(dir) && fs::is_empty(dir)) {
    fs::remove(dir);
    return;
  }
  if (!fs::exists(dir + "/prefix") && !fs::exists(dir + "/ready")) {
    throw std::runtime_error(dir + " does not look like a template folder; not removing it");
  }
  if (fs::exists(dir + "/prefix")) EndWineserverOf(arch, dir + "/prefix");
  if (!MountsUnder(dir).empty()) throw std::runtime_error("something is mounted under " + dir);
  fs::remove_all(dir);
}

std::string TemplatePrefixIn(const std::string& dir) {
  if (!fs::exists(dir + "/ready")) throw std::runtime_error("no finished template prefix in " + dir);
  return dir + "/prefix";
}

std::vector<MessageBoxCall> ParseRelayTrace(const std::string& trace) {
  // 0100:Call user32.MessageBoxA(00000000,00c80720 "text",00c806f0 "caption",00010121) ret=14001e33e
  // 0100:Ret  user32.MessageBoxA() retval=00000001 ret=14001e33e
  static const std::string kCall = ":Call user32.MessageBoxA(";
  static const std::string kRet = ":Ret  user32.MessageBoxA() retval=";
  std::vector<MessageBoxCall> calls;
  std::istringstream lines(trace);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find(kCall) != std::string::npos) {
      size_t end = line.rfind(") ret=");
      size_t comma = end == std::string::npos ? end : line.rfind(',', end);
      MessageBoxCall call;
      if (comma != std::string::npos) {
        call.uType = std::strtoul(line.substr(comma + 1, end - comma - 1).c_str(), nullptr, 16);
      }
      calls.push_back(call);
    } else if (size_t at = line.find(kRet); at != std::string::npos) {
      for (MessageBoxCall& call : calls) {
        if (call.returned) continue;
        call.returned = true;
        call.result = std::strtoul(line.c_str() + at + kRet.size(), nullptr, 16);
        break;
      }
    }
  }
  return calls;
}

struct Prefix::Holder {
  std::string flag;  // host path; deleting it tells the holder to let go
  std::unique_ptr<Background> process;
  ~Holder() {
    std::error_code ignored;
    fs::remove(flag, ignored);
    process->Wait(kHolderStopMs);  // the process's owner kills it should it still run
  }
};

Prefix::Prefix(const WineArch& arch, const std::string& templatePrefix) : arch_(arch) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/quillmarsh-e2e-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp " + pattern + ": " + std::strerror(errno));
  base_ = name.data();
  path_ = base_ + "/prefix";
  fs::create_directories(base_ + "/upper");
  fs::create_directories(base_ + "/work");
  fs::create_directories(path_);
  std::string options = "lowerdir=" + templatePrefix + ",upperdir=" + base_ + "/upper,workdir=" + base_ + "/work";
  if (mount("overlay", path_.c_str(), "overlay", 0, options.c_str()) == 0) {
    overlay_ = true;
    return;
  }
  // Without overlayfs (or without root) a full copy does the same, a little slower.
  fs::remove(path_);
  Command copy;
  copy.argv = {"cp", "-a", templatePrefix, path_};
  copy.timeoutMs = 120000;
  Outcome copied = Run(copy);
  if (!copied.ok()) {
    std::error_code ignored;
    fs::remove_all(base_, ignored);
    throw std::runtime_error("copying the template prefix: " + copied.Describe());
  }
}

Prefix::~Prefix() {
  holders_.clear();
  EndWineserver();
  std::vector<std::string> problems;
  for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) {
    if (!Unmount(*it)) problems.push_back("busy mount, detached lazily: " + *it);
  }
  if (overlay_ && !Unmount(path_)) problems.push_back("busy overlay, detached lazily: " + path_);
  std::vector<std::string> left = MountsUnder(base_);
  if (left.empty()) {
    std::error_code error;
    fs::remove_all(base_, error);
    if (error) problems.push_back("removing " + base_ + ": " + error.message());
  } else {
    problems.push_back("still mounted, so " + base_ + " is kept: " + Join(left, ", "));
  }
  for (const std::string& p : problems) ADD_FAILURE() << "cleaning up the prefix: " << p;
}

void Prefix::EndWineserver() { EndWineserverOf(arch_, path_); }

std::string Prefix::HostPath(const std::string& windowsPath) const {
  if (windowsPath.size() < 3 || std::tolower(static_cast<unsigned char>(windowsPath[0])) != 'c' ||
      windowsPath[1] != ':' || windowsPath[2] != '\\') {
    throw std::runtime_error("not a C:\\ path: " + windowsPath);
  }
  fs::path host = fs::path(path_) / "drive_c";
  std::istringstream parts(windowsPath.substr(3));
  std::string part;
  while (std::getline(parts, part, '\\')) {
    if (part.empty()) continue;
    fs::path next = host / part;
    std::error_code error;
    if (!fs::exists(fs::symlink_status(next, error)) && fs::is_directory(host, error)) {
      for (const fs::directory_entry& entry : fs::directory_iterator(host, error)) {
        if (EqualsIgnoringCase(entry.path().filename().string(), part)) {
          next = entry.path();
          break;
        }
      }
    }
    host = next;
  }
  return host.string();
}

void Prefix::MakeFolder(const std::string& windowsPath) { fs::create_directories(HostPath(windowsPath)); }

void Prefix::WriteFile(const std::string& windowsPath, const std::string& bytes) {
  std::string host = HostPath(windowsPath);
  fs::create_directories(fs::path(host).parent_path());
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) throw std::runtime_error("writing " + host);
}

void Prefix::CopyIn(const std::string& hostFile, const std::string& windowsPath) {
  std::string host = HostPath(windowsPath);
  fs::create_directories(fs::path(host).parent_path());
  fs::copy_file(hostFile, host, fs::copy_options::overwrite_existing);
}

void Prefix::CopyOut(const std::string& windowsPath, const std::string& hostFile) const {
  fs::copy_file(HostPath(windowsPath), hostFile, fs::copy_options::overwrite_existing);
}

bool Prefix::Exists(const std::string& windowsPath) const {
  std::error_code error;
  return fs::exists(fs::symlink_status(HostPath(windowsPath), error));
}

bool Prefix::IsFolder(const std::string& windowsPath) const {
  std::error_code error;
  return fs::is_directory(HostPath(windowsPath), error);
}

std::string Prefix::ReadFile(const std::string& windowsPath) const {
  std::string host = HostPath(windowsPath);
  std::ifstream in(host, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + host);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::string> Prefix::List(const std::string& windowsPath) const {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(HostPath(windowsPath))) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

Outcome Prefix::Reg(std::vector<std::string> args) const {
  std::vector<std::string> command = arch_.reg;
  command.insert(command.end(), args.begin(), args.end());
  return RunWine(arch_, path_, command, kWineCommandMs, "-all", {}, false);
}

void Prefix::RegAdd(const std::string& key, const std::string& name, const std::string& type,
                    const std::string& data) {
  std::vector<std::string> args = {"add", key};
  if (name.empty()) {
    args.push_back("/ve");
  } else {
    args.insert(args.end(), {"/v", name});
  }
  args.insert(args.end(), {"/t", type, "/d", data, "/f"});
  Require(Reg(args), "reg add " + key + " " + name);
}

void Prefix::RegDelete(const std::string& key, const char* name) {
  std::vector<std::string> args = {"delete", key};
  if (name != nullptr) args.insert(args.end(), {"/v", name});
  args.push_back("/f");
  Outcome outcome = Reg(args);
  if (outcome.timedOut) throw std::runtime_error("reg delete " + key + ": " + outcome.Describe());
  // reg says 1 when there was nothing to delete; check that nothing is left.
  std::string ignored;
  if (name != nullptr ? TryRegQuery(key, name, &ignored) : !RegTree(key).empty()) {
    throw std::runtime_error("reg delete " + key + " left it in place: " + outcome.Describe());
  }
}

std::string Prefix::RegQuery(const std::string& key, const std::string& name) const {
  std::string data;
  if (!TryRegQuery(key, name, &data)) throw std::runtime_error("reg query " + key + " " + name + ": no such value");
  return data;
}

bool Prefix::TryRegQuery(const std::string& key, const std::string& name, std::string* data,
                         std::string* type) const {
  std::vector<std::string> args = {"query", key};
  if (name.empty()) {
    args.push_back("/ve");
  } else {
    args.insert(args.end(), {"/v", name});
  }
  Outcome outcome = Reg(args);
  if (outcome.timedOut) throw std::runtime_error("reg query " + key + " " + name + ": " + outcome.Describe());
  if (outcome.exitStatus != 0) return false;  // reg says 1 for a missing key or value
  // "    <name>    <type>    <data>", the name "(Default)" for the unnamed value.
  std::istringstream lines(outcome.out);
  std::string line;
  std::string wanted = (name.empty() ? std::string("(Default)") : name) + "    ";
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos || line.compare(start, wanted.size(), wanted) != 0) continue;
    size_t typeAt = start + wanted.size();
    size_t at = line.find("    ", typeAt);
    if (type != nullptr) *type = line.substr(typeAt, at == std::string::npos ? std::string::npos : at - typeAt);
    *data = at == std::string::npos ? std::string() : line.substr(at + 4);
    return true;
  }
  throw std::runtime_error("reg query " + key + " " + name + " printed no value:\n" + outcome.out);
}

std::vector<std::string> Prefix::RegTree(const std::string& key) const {
  Outcome outcome = Reg({"query", key, "/s"});
  if (outcome.timedOut) throw std::runtime_error("reg query " + key + " /s: " + outcome.Describe());
  std::vector<std::string> tree;
  if (outcome.exitStatus != 0) return tree;
  std::istringstream lines(outcome.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) tree.push_back(line);
  }
  return tree;
}

std::vector<std::string> Prefix::RegSubkeys(const std::string& key) const {
  Outcome outcome = Reg({"query", key});
  if (!outcome.ok()) throw std::runtime_error("reg query " + key + ": " + outcome.Describe());
  // The key's own name comes first, then its values, then the full name of each key below it.
  std::vector<std::string> names;
  std::istringstream lines(outcome.out);
  std::string line;
  bool first = true;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("HKEY_", 0) != 0) continue;
    if (first) {
      first = false;
      continue;
    }
    names.push_back(line.substr(line.rfind('\\') + 1));
  }
  std::sort(names.begin(), names.end());
  return names;
}

const std::vector<std::string>& Prefix::Remembered(const std::string& what) const {
  auto found = remembered_.find(what);
  if (found == remembered_.end()) throw std::runtime_error("nothing was noted as " + what + " before the run");
  return found->second;
}

void Prefix::Mount(const std::string& target, const char* type, const char* source, unsigned long flags,
                   const std::string& options) {
  if (geteuid() != 0) throw Skip("mounting over " + target + " needs root");
  if (mount(source, target.c_str(), type, flags, options.empty() ? nullptr : options.c_str()) != 0) {
    throw std::runtime_error("mount over " + target + ": " + std::strerror(errno));
  }
}

void Prefix::MountTmpfs(const std::string& windowsFolder, unsigned long sizeBytes) {
  std::string host = HostPath(windowsFolder);
  fs::create_directories(host);
  Mount(host, "tmpfs", "quillmarsh-e2e", 0, "size=" + std::to_string(sizeBytes) + ",mode=755");
  mounts_.push_back(host);
}

void Prefix::MountReadOnly(const std::string& windowsFolder) {
  std::string host = HostPath(windowsFolder);
  if (!fs::is_directory(host)) throw std::runtime_error("no folder to make read-only: " + host);
  Mount(host, nullptr, host.c_str(), MS_BIND, "");
  mounts_.push_back(host);
  // A bind mount takes the read-only flag only on a remount.
  Mount(host, nullptr, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, "");
}

void Prefix::HoldOpen(const std::string& windowsFile) {
  std::string flagWindows = "C:\\e2e\\held-" + std::to_string(holders_.size() + 1) + ".flag";
  MakeFolder("C:\\e2e");
  auto holder = std::make_unique<Holder>();
  holder->flag = HostPath(flagWindows);
  Command command;
  command.argv = arch_.wine;
  command.argv.insert(command.argv.end(),
                      {Binary("tests/e2e/e2e-holder.exe"), windowsFile, flagWindows, kHolderLimitSeconds});
  command.environment = WineEnvironment(arch_, path_, "-all");
  holder->process = std::make_unique<Background>(command);
  Background& process = *holder->process;
  holders_.push_back(std::move(holder));
  for (int waited = 0; !fs::exists(holders_.back()->flag); waited += 20) {
    if (!process.Running()) {
      throw std::runtime_error("the holder could not hold " + windowsFile + ": exit status " +
                               std::to_string(process.status()));
    }
    if (waited >= kHolderStartMs) throw std::runtime_error("the holder did not start holding " + windowsFile);
    usleep(20 * 1000);
  }
}

Outcome Prefix::Wine(const std::vector<std::string>& args, int timeoutMs,
                     const std::vector<std::string>& environment) const {
  return RunWine(arch_, path_, args, timeoutMs, "-all", environment);
}

const DriverRun& Prefix::RunDriver(const std::vector<std::string>& program, const std::vector<std::string>& answers,
                                   unsigned dialogTimeoutMs, unsigned exitTimeoutMs,
                                   const std::vector<std::string>& environment, const std::string& debug) {
  std::vector<std::string> args = {Binary("tests/e2e/e2e-driver.exe")};
  if (!answers.empty()) args.insert(args.end(), {"--answers", Join(answers, ",")});
  args.insert(args.end(), {"--dialog-timeout-ms", std::to_string(dialogTimeoutMs), "--exit-timeout-ms",
                           std::to_string(exitTimeoutMs), "--"});
  args.insert(args.end(), program.begin(), program.end());
  // The driver keeps its own bounds; this one only catches a driver that hangs itself.
  int bound = static_cast<int>(dialogTimeoutMs * (answers.size() + 1) + exitTimeoutMs) + 30000;
  lastRun_.outcome = RunWine(arch_, path_, args, bound, "-all,+relay" + debug, environment);
  lastRun_.calls = ParseRelayTrace(lastRun_.outcome.err);
  return lastRun_;
}

std::string Prefix::Binary(const std::string& relative) const {
  std::string path = arch_.binaries + "/" + relative;
  if (!fs::exists(path)) throw std::runtime_error("not built: " + path + " (build the " + arch_.name + " binaries)");
  return path;
}

}  // namespace e2e
