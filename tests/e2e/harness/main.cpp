// The end-to-end test program. Each row of each scenario table becomes one test per architecture,
// named <arch>_<table>.<row>, for example x86_64_install.typical_run. The build makes it twice:
// e2e-tests for x86_64 and e2e-tests-i686, which ctest starts inside scripts/i386/run-in-namespace
// (the only place where the 32-bit half of Wine can run here).
//
//   e2e-tests [gtest options]                        runs the scenarios
//   e2e-tests --make-template <arch> <folder>        makes a template prefix (ctest's fixture)
//   e2e-tests --remove-template <arch> <folder>      removes it again
//
// Environment:
//   QUILLMARSH_E2E_ARCHES            architectures to register, comma separated (default: the one this
//                                    executable was built for)
//   QUILLMARSH_E2E_TEMPLATE_<ARCH>   a ready template folder made by --make-template; without it the
//                                    program makes its own in TMPDIR and removes it at the end
//   QUILLMARSH_E2E_<ARCH>_BINARIES   the Windows build folder (default: QUILLMARSH_WIN64_DIR or _WIN32_DIR)
//   QUILLMARSH_E2E_<ARCH>_WINE       the command that runs a Windows program, words split at spaces
//   QUILLMARSH_E2E_<ARCH>_WINESERVER the matching wineserver command
//   QUILLMARSH_E2E_<ARCH>_WINEARCH   WINEARCH for its prefixes (default win64 for both)
//   QUILLMARSH_E2E_<ARCH>_REG        the reg.exe command for registry set-up and checks (default: the
//                                    architecture's wine with reg, so i686 sees the 32-bit view)
// where <ARCH> is X86_64 or I686.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <sstream>

#include "prefix.h"
#include "scenario.h"
#include "tables.h"

namespace e2e {
namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Setting(const std::string& name, const std::string& fallback) {
  const char* value = std::getenv(name.c_str());
  return value != nullptr && *value != '\0' ? value : fallback;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  std::string part;
  while (std::getline(in, part, separator)) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

WineArch Configured(const std::string& name, const std::string& binaries, const std::string& wine,
                    const std::string& wineserver, const std::string& winearch, const std::string& systemFolder) {
  std::string key = "QUILLMARSH_E2E_" + Upper(name) + "_";
  return {name,
          Setting(key + "BINARIES", binaries),
          Split(Setting(key + "WINE", wine), ' '),
          Split(Setting(key + "WINESERVER", wineserver), ' '),
          {"WINEARCH=" + Setting(key + "WINEARCH", winearch)},
          systemFolder,
          Split(Setting(key + "REG", Setting(key + "WINE", wine) + " reg"), ' ')};
}

const std::vector<WineArch>& KnownArches() {
  static const std::vector<WineArch> arches = {
      // wine64 runs the x86_64 twin of the product; Debian keeps it off PATH.
      Configured("x86_64", QUILLMARSH_E2E_WIN64_DIR, "/usr/lib/wine/wine64", "/usr/lib/wine/wineserver64", "win64",
                 "C:\\windows\\system32"),
      // The shipped 32-bit product: wine32 beside wine64 in a 64-bit (WoW64) prefix, as on 64-bit Windows.
      // This machine's kernel runs 32-bit Linux programs only through qemu, so the run goes inside
      // scripts/i386/run-in-namespace. `wine` there is the 32-bit loader (outside, it cannot start at
      // all); the server of a WoW64 prefix is the 64-bit one. A 32-bit program's system32 is syswow64.
      Configured("i686", QUILLMARSH_E2E_WIN32_DIR, "wine", "/usr/lib/wine/wineserver64", "win64",
                 "C:\\windows\\syswow64"),
  };
  return arches;
}

// The 32-bit half of Wine runs only where scripts/i386/run-in-namespace set up qemu for it.
void RequireRunnable(const WineArch& arch) {
  if (arch.name == "i686" && Setting("QUILLMARSH_I386_NAMESPACE", "") != "1") {
    throw std::runtime_error("the i686 rows run only inside scripts/i386/run-in-namespace (ctest starts "
                             "e2e-tests-i686 there)");
  }
}

const WineArch* FindArch(const std::string& name) {
  for (const WineArch& arch : KnownArches()) {
    if (arch.name == name) return &arch;
  }
  return nullptr;
}

// The template prefix of each architecture: the one ctest's fixture made, or one of our own.
class Templates : public testing::Environment {
 public:
  std::string For(const WineArch& arch) {
    RequireRunnable(arch);
    std::string given = Setting("QUILLMARSH_E2E_TEMPLATE_" + Upper(arch.name), "");
    if (!given.empty()) return TemplatePrefixIn(given);
    auto made = made_.find(arch.name);
    if (made == made_.end()) {
      std::string dir = Setting("TMPDIR", "/tmp") + "/quillmarsh-e2e-template-XXXXXX";
      if (mkdtemp(dir.data()) == nullptr) throw std::runtime_error("mkdtemp " + dir + ": " + std::strerror(errno));
      made = made_.emplace(arch.name, Made{&arch, dir, ""}).first;
      try {
        std::cerr << "making the " << arch.name << " template prefix in " << dir << "\n";
        MakeTemplate(arch, dir);
      } catch (const std::exception& e) {
        made->second.error = e.what();  // one attempt per run: the next scenarios fail fast
      }
    }
    if (!made->second.error.empty()) throw std::runtime_error("making the template prefix: " + made->second.error);
    return TemplatePrefixIn(made->second.dir);
  }

  void TearDown() override {
    for (auto& [name, made] : made_) {
      try {
        RemoveTemplate(*made.arch, made.dir);
      } catch (const std::exception& e) {
        std::cerr << "removing the " << name << " template: " << e.what() << "\n";
      }
    }
  }

 private:
  struct Made {
    const WineArch* arch;
    std::string dir;
    std::string error;
  };
  std::map<std::string, Made> made_;
};

Templates* g_templates = nullptr;

class ScenarioTest : public testing::Test {
 public:
  ScenarioTest(const WineArch& arch, const Scenario& row) : arch_(arch), row_(row) {}
  void TestBody() override { RunScenario(arch_, g_templates->For(arch_), row_); }

 private:
  const WineArch& arch_;
  const Scenario& row_;
};

void Register(const WineArch& arch, const char* table, const std::vector<Scenario>& rows) {
  std::string suite = arch.name + "_" + table;
  for (const Scenario& row : rows) {
    testing::RegisterTest(suite.c_str(), row.name.c_str(), nullptr, nullptr, __FILE__, __LINE__,
                          [&arch, &row]() -> testing::Test* { return new ScenarioTest(arch, row); });
  }
}

int TemplateCommand(const char* command, const char* archName, const char* dir) {
  const WineArch* arch = FindArch(archName);
  if (arch == nullptr) {
    std::cerr << "unknown architecture " << archName << "\n";
    return 2;
  }
  try {
    RequireRunnable(*arch);
    if (std::strcmp(command, "--make-template") == 0) {
      MakeTemplate(*arch, dir);
    } else {
      RemoveTemplate(*arch, dir);
    }
  } catch (const std::exception& e) {
    std::cerr << command << " " << dir << ": " << e.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace e2e

int main(int argc, char** argv) {
  using namespace e2e;
  if (argc == 4 && (std::strcmp(argv[1], "--make-template") == 0 || std::strcmp(argv[1], "--remove-template") == 0)) {
    return TemplateCommand(argv[1], argv[2], argv[3]);
  }
  testing::InitGoogleTest(&argc, argv);
  g_templates = new Templates;
  testing::AddGlobalTestEnvironment(g_templates);  // owned by gtest from here
  for (const std::string& name : Split(Setting("QUILLMARSH_E2E_ARCHES", QUILLMARSH_E2E_ARCHES), ',')) {
    const WineArch* arch = FindArch(name);
    if (arch == nullptr) {
      std::cerr << "unknown architecture in QUILLMARSH_E2E_ARCHES: " << name << "\n";
      return 2;
    }
    Register(*arch, "install", InstallerScenarios());
    Register(*arch, "driver", DriverScenarios());
  }
  return RUN_ALL_TESTS();
}
