#include "pe_image.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

PeImage::PeImage(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (U16(0) != 0x5A4D) throw std::runtime_error("no MZ header: " + path);
  const std::size_t pe = U32(0x3C);
  if (U32(pe) != 0x00004550) throw std::runtime_error("no PE signature: " + path);
  machine_ = U16(pe + 4);
  const std::size_t sectionCount = U16(pe + 6);
  const std::size_t optionalSize = U16(pe + 20);
  const std::size_t optional = pe + 24;
  optionalMagic_ = U16(optional);
  subsystem_ = U16(optional + 68);
  dllCharacteristics_ = U16(optional + 70);
  const std::size_t directories = optional + (optionalMagic_ == 0x20b ? 112 : 96);
  exportRva_ = U32(directories + 0 * 8);
  importRva_ = U32(directories + 1 * 8);
  resourceRva_ = U32(directories + 2 * 8);
  const std::size_t table = optional + optionalSize;
  for (std::size_t i = 0; i < sectionCount; ++i) {
    const std::size_t at = table + i * 40;
    sections_.push_back({U32(at + 12), std::max(U32(at + 8), U32(at + 16)), U32(at + 20)});
  }
}

std::uint16_t PeImage::U16(std::size_t at) const {
  if (at + 2 > bytes_.size()) throw std::runtime_error("read past the end");
  return static_cast<std::uint16_t>(bytes_[at] | bytes_[at + 1] << 8);
}

std::uint32_t PeImage::U32(std::size_t at) const {
  return U16(at) | static_cast<std::uint32_t>(U16(at + 2)) << 16;
}

std::uint32_t PeImage::Offset(std::uint32_t rva) const {
  for (const Section &section : sections_)
    if (rva >= section.rva && rva < section.rva + section.size) return rva - section.rva + section.raw;
  throw std::runtime_error("address outside every section");
}

std::string PeImage::NameAt(std::uint32_t rva) const {
  std::string name;
  for (std::size_t at = Offset(rva); at < bytes_.size() && bytes_[at]; ++at) name += static_cast<char>(bytes_[at]);
  return name;
}

std::vector<std::string> PeImage::ImportedDlls() const {
  std::vector<std::string> dlls;
  if (!importRva_) return dlls;
  for (std::size_t at = Offset(importRva_); U32(at + 12) != 0; at += 20) dlls.push_back(NameAt(U32(at + 12)));
  return dlls;
}

std::vector<std::string> PeImage::ExportedNames() const {
  std::vector<std::string> names;
  if (!exportRva_) return names;
  const std::size_t directory = Offset(exportRva_);
  const std::size_t count = U32(directory + 24);
  const std::size_t nameTable = Offset(U32(directory + 32));
  for (std::size_t i = 0; i < count; ++i) names.push_back(NameAt(U32(nameTable + 4 * i)));
  return names;
}

std::string PeImage::ResourceName(std::uint32_t entryName) const {
  if (!(entryName & 0x80000000u)) return "#" + std::to_string(entryName);
  const std::size_t at = Offset(resourceRva_) + (entryName & 0x7FFFFFFFu);
  std::string name;
  for (std::size_t i = 0, length = U16(at); i < length; ++i) name += static_cast<char>(U16(at + 2 + 2 * i));
  return name;
}

std::vector<ResourceEntry> PeImage::Resources(const std::string &type, const std::string &name) const {
  std::vector<ResourceEntry> found;
  if (!resourceRva_) return found;
  const std::size_t root = Offset(resourceRva_);
  // Each directory: 16 bytes of header, then named and numbered entries of 8 bytes.
  auto entries = [&](std::size_t directory, auto visit) {
    const std::size_t count = U16(directory + 12) + U16(directory + 14);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t entry = directory + 16 + 8 * i;
      visit(U32(entry), U32(entry + 4));
    }
  };
  entries(root, [&](std::uint32_t typeName, std::uint32_t typeTarget) {
    if (ResourceName(typeName) != type) return;
    entries(root + (typeTarget & 0x7FFFFFFFu), [&](std::uint32_t entryName, std::uint32_t nameTarget) {
      if (!name.empty() && ResourceName(entryName) != name) return;
      entries(root + (nameTarget & 0x7FFFFFFFu), [&](std::uint32_t language, std::uint32_t dataEntry) {
        const std::size_t data = root + dataEntry;
        const std::size_t start = Offset(U32(data));
        const std::size_t size = U32(data + 4);
        if (start + size > bytes_.size()) throw std::runtime_error("resource past the end");
        ResourceEntry resource{{bytes_.begin() + start, bytes_.begin() + start + size},
                               static_cast<std::uint16_t>(language)};
        // The block number travels with the data for the string table.
        if (type == "#6") resource.data.insert(resource.data.begin(), {std::uint8_t(entryName), std::uint8_t(entryName >> 8)});
        found.push_back(std::move(resource));
      });
    });
  });
  return found;
}

std::map<unsigned, std::u16string> PeImage::Strings() const {
  std::map<unsigned, std::u16string> strings;
  for (const ResourceEntry &block : Resources("#6", "")) {
    const unsigned number = block.data[0] | block.data[1] << 8;
    std::size_t at = 2;
    for (unsigned index = 0; index < 16; ++index) {
      const std::size_t length = block.data.at(at) | block.data.at(at + 1) << 8;
      at += 2;
      std::u16string text;
      for (std::size_t i = 0; i < length; ++i, at += 2)
        text += static_cast<char16_t>(block.data.at(at) | block.data.at(at + 1) << 8);
      if (length) strings[(number - 1) * 16 + index] = text;
    }
  }
  return strings;
}

std::map<unsigned, std::uint16_t> PeImage::StringLanguages() const {
  std::map<unsigned, std::uint16_t> languages;
  for (const ResourceEntry &block : Resources("#6", "")) {
    const unsigned number = block.data[0] | block.data[1] << 8;
    languages[number] = block.language;
  }
  return languages;
}
