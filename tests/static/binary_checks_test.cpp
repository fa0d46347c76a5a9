// Static checks of the built Windows binaries: what they are, what they import, and that their
// resources hold exactly the installer's texts and the component.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <set>

#include "expected_texts.h"
#include "pe_image.h"

namespace {

struct Build {
  const char *name;
  std::string folder;
  std::uint16_t machine;
  std::uint16_t optionalMagic;
};

const std::vector<Build> kBuilds = {
    {"i686", QUILLMARSH_WIN32_DIR, 0x014c, 0x10b},
    {"x86_64", QUILLMARSH_WIN64_DIR, 0x8664, 0x20b},
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::vector<std::uint8_t> FileBytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << "cannot open " << path;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::u16string Wide(const std::string &text) { return std::u16string(text.begin(), text.end()); }

void ExpectImportsWithin(const PeImage &image, const std::set<std::string> &allowed) {
  const std::vector<std::string> dlls = image.ImportedDlls();
  EXPECT_FALSE(dlls.empty());
  for (const std::string &dll : dlls) EXPECT_TRUE(allowed.count(Lower(dll))) << "imports " << dll;
}

class Binaries : public ::testing::TestWithParam<Build> {
 protected:
  std::string Installer() const { return GetParam().folder + "/QuillmarshSetup.exe"; }
  std::string Component() const { return GetParam().folder + "/Vorlantix.ocx"; }
};

TEST_P(Binaries, TheInstallerIsAGuiProgramForItsMachine) {
  const PeImage image(Installer());
  EXPECT_EQ(image.Machine(), GetParam().machine);
  EXPECT_EQ(image.OptionalMagic(), GetParam().optionalMagic);
  EXPECT_EQ(image.Subsystem(), 2) << "IMAGE_SUBSYSTEM_WINDOWS_GUI";
  // Address-space randomisation and no-execute data, as any installer run with full rights needs.
  EXPECT_TRUE(image.DllCharacteristics() & 0x0040) << "DYNAMIC_BASE";
  EXPECT_TRUE(image.DllCharacteristics() & 0x0100) << "NX_COMPAT";
}

TEST_P(Binaries, TheInstallerImportsOnlyWindowsSystemDlls) {
  ExpectImportsWithin(PeImage(Installer()),
                      {"kernel32.dll", "user32.dll", "shell32.dll", "advapi32.dll", "msvcrt.dll"});
}

TEST_P(Binaries, TheStringTableHoldsExactlyTheInstallersTexts) {
  const PeImage image(Installer());
  std::map<unsigned, std::u16string> expected;
  for (const auto &[id, text] : expected::StringTable()) expected[id] = Wide(text);
  expected[65340] = Wide(QUILLMARSH_HOME_PAGE);
  if (expected[65340].empty()) expected.erase(65340);
  const std::map<unsigned, std::u16string> strings = image.Strings();
  EXPECT_EQ(strings.size(), expected.size());
  for (const auto &[id, text] : expected) {
    SCOPED_TRACE("text " + std::to_string(id));
    ASSERT_TRUE(strings.count(id));
    EXPECT_TRUE(strings.at(id) == text);
  }
  for (const auto &[block, language] : image.StringLanguages())
    EXPECT_EQ(language, 0) << "string block " << block << " is not language neutral";
}

TEST_P(Binaries, LibraryDataIsTheComponentByteForByte) {
  const std::vector<ResourceEntry> data = PeImage(Installer()).Resources("#10", "LIBRARY_DATA");
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(data[0].language, 1033);
  EXPECT_TRUE(data[0].data == FileBytes(Component())) << "the embedded library differs from " << Component();
}

TEST_P(Binaries, TheComponentIsASelfRegisteringServerForTheSameMachine) {
  const PeImage image(Component());
  EXPECT_EQ(image.Machine(), GetParam().machine);
  std::vector<std::string> exports = image.ExportedNames();
  std::sort(exports.begin(), exports.end());
  EXPECT_EQ(exports, (std::vector<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                               "DllUnregisterServer"}));
  ExpectImportsWithin(image, {"kernel32.dll", "user32.dll", "advapi32.dll", "ole32.dll", "oleaut32.dll",
                              "msvcrt.dll"});
}

// The version block's texts, as the 16-bit text they are stored in.
std::u16string VersionText(const PeImage &image) {
  const std::vector<ResourceEntry> version = image.Resources("#16", "#1");
  EXPECT_EQ(version.size(), 1u) << "one VERSIONINFO resource";
  std::u16string text;
  if (version.empty()) return text;
  for (std::size_t i = 0; i + 1 < version[0].data.size(); i += 2)
    text += static_cast<char16_t>(version[0].data[i] | version[0].data[i + 1] << 8);
  return text;
}

void ExpectVersionValue(const std::u16string &version, const std::string &name, const std::string &value) {
  // A value is stored as its name, padding to a four-byte boundary, then the terminated text.
  const std::size_t at = version.find(Wide(name) + u'\0');
  ASSERT_NE(at, std::u16string::npos) << "no " << name;
  std::size_t start = at + name.size() + 1;
  while (start < version.size() && version[start] == u'\0') ++start;
  const std::size_t end = version.find(u'\0', start);
  EXPECT_TRUE(version.substr(start, end - start) == Wide(value)) << name;
}

TEST_P(Binaries, TheInstallerAsksForAdministratorRightsAndNamesItsSystems) {
  const PeImage image(Installer());
  const std::vector<ResourceEntry> manifest = image.Resources("#24", "#1");
  ASSERT_EQ(manifest.size(), 1u);
  const std::string text(manifest[0].data.begin(), manifest[0].data.end());
  EXPECT_NE(text.find("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>"),
            std::string::npos);
  for (const char *os : {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                         "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                         "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"})
    EXPECT_NE(text.find(os), std::string::npos) << "supportedOS " << os;
  EXPECT_EQ(image.Resources("#14", "").size(), 1u) << "one icon group";
}

TEST_P(Binaries, BothBinariesCarryTheirVersionInformation) {
  const std::u16string installer = VersionText(PeImage(Installer()));
  ExpectVersionValue(installer, "CompanyName", "Quillmarsh");
  ExpectVersionValue(installer, "OriginalFilename", "QuillmarshSetup.exe");
  ExpectVersionValue(installer, "FileVersion", QUILLMARSH_VERSION);
  ExpectVersionValue(installer, "ProductVersion", QUILLMARSH_VERSION);
  EXPECT_EQ(installer.find(u"OLESelfRegister"), std::u16string::npos);

  const std::u16string component = VersionText(PeImage(Component()));
  ExpectVersionValue(component, "CompanyName", "Quillmarsh");
  ExpectVersionValue(component, "OriginalFilename", "Vorlantix.ocx");
  ExpectVersionValue(component, "FileVersion", QUILLMARSH_VERSION);
  EXPECT_NE(component.find(u"OLESelfRegister"), std::u16string::npos) << "self-registering controls say so";
}

INSTANTIATE_TEST_SUITE_P(Builds, Binaries, ::testing::ValuesIn(kBuilds),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
