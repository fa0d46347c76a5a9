// A small reader of Windows executables for the static checks: headers, imported DLLs, exported
// names and the resource tree. It reads our own build outputs, so a malformed file is a test
// failure (reported by throwing), not something to recover from.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct ResourceEntry {
  std::vector<std::uint8_t> data;
  std::uint16_t language;
};

class PeImage {
 public:
  explicit PeImage(const std::string &path);

  std::uint16_t Machine() const { return machine_; }
  std::uint16_t OptionalMagic() const { return optionalMagic_; }  // 0x10b PE32, 0x20b PE32+
  std::uint16_t Subsystem() const { return subsystem_; }
  std::uint16_t DllCharacteristics() const { return dllCharacteristics_; }
  std::vector<std::string> ImportedDlls() const;
  std::vector<std::string> ExportedNames() const;

  // Resources by type and name; names are "#<id>" or the string name.
  std::vector<ResourceEntry> Resources(const std::string &type, const std::string &name) const;
  // The string table, decoded from its blocks; entries as 16-bit text turned into bytes.
  std::map<unsigned, std::u16string> Strings() const;
  std::map<unsigned, std::uint16_t> StringLanguages() const;

 private:
  std::uint32_t Offset(std::uint32_t rva) const;
  std::uint16_t U16(std::size_t at) const;
  std::uint32_t U32(std::size_t at) const;
  std::string NameAt(std::uint32_t rva) const;
  std::string ResourceName(std::uint32_t entryName) const;

  std::vector<std::uint8_t> bytes_;
  std::uint16_t machine_ = 0, optionalMagic_ = 0, subsystem_ = 0, dllCharacteristics_ = 0;
  struct Section {
    std::uint32_t rva, size, raw;
  };
  std::vector<Section> sections_;
  std::uint32_t importRva_ = 0, exportRva_ = 0, resourceRva_ = 0;
};
