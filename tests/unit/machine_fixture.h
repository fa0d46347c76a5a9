// A simulated machine set up like a typical user's: the installer's own string table, the component
// it carries, the downloaded-controls folder, a registration tool that succeeds, the Internet zone at
// its stricter default and Internet Explorer as the browser. Each test changes what it is about.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expected_texts.h"
#include "sim.h"

namespace machine {

inline const std::string kWindowsFolder = expected::kWindowsFolder;
inline const std::string kWinntFolder = expected::kWinntFolder;
inline const std::string kWindowsComponent = kWindowsFolder + expected::kComponentFileName;
inline const std::string kWinntComponent = kWinntFolder + expected::kComponentFileName;
inline const std::string kZoneKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3";
inline const std::string kHtmlCommandKey = "htmlfile\\shell\\open\\command";
inline const std::string kIECommand =
    "\"C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE\" -nohome";

// A component larger than one write chunk, so that copies take several writes.
inline sim::Bytes Payload() {
  sim::Bytes bytes = sim::FakeLibrary({"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer",
                                       "DllUnregisterServer"});
  for (std::size_t i = 0; bytes.size() < 150000; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 7));
  return bytes;
}

inline sim::Bytes PreviousComponent() { return sim::ToBytes("an earlier Vorlantix.ocx"); }

inline void PutText(HKEY root, const std::string &key, const std::string &name,
                    const std::string &text, DWORD type = REG_SZ) {
  sim::Bytes data = sim::ToBytes(text);
  data.push_back(0);
  sim::PutValue(root, key, name, type, data);
}

inline sim::Value Dword(DWORD value) {
  sim::Bytes data(4);
  for (int i = 0; i < 4; ++i) data[i] = static_cast<std::uint8_t>(value >> (8 * i));
  return {REG_DWORD, data};
}

}  // namespace machine

class SimulatedMachine : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    sim::LoadResourceFile(QUILLMARSH_TEXTS_RES);
    sim::SetRcData("LIBRARY_DATA", machine::Payload());
    sim::MakeFolder("C:\\Windows");
    sim::MakeFolder("C:\\Windows\\system32");
    sim::MakeFolder(machine::kWindowsFolder);
    sim::SetSystemDirectory("C:\\Windows\\system32");
    sim::PutDword(HKEY_CURRENT_USER, machine::kZoneKey, "1200", 3);
    sim::PutDword(HKEY_CURRENT_USER, machine::kZoneKey, "1405", 0);
    machine::PutText(HKEY_CLASSES_ROOT, machine::kHtmlCommandKey, "", machine::kIECommand);
  }

  void TearDown() override {
    EXPECT_EQ(sim::OpenHandleCount(), 0u) << "a handle was left open";
  }

  static std::vector<expected::Dialog> ShownDialogs() {
    std::vector<expected::Dialog> shown;
    for (const sim::Dialog &dialog : sim::Dialogs()) {
      EXPECT_EQ(dialog.owner, nullptr) << "dialog with an owner: " << dialog.caption;
      shown.push_back({dialog.caption, dialog.text, dialog.type});
    }
    return shown;
  }
};
