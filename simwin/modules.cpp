// The program's own module and its resources, loaded libraries, and the library search settings.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "machine.h"

namespace {
using namespace sim::detail;

// Distinct addresses that stand for the program's own module and for kernel32.
char ownModule;
char kernel32Module;
HMODULE OwnModule() { return reinterpret_cast<HMODULE>(&ownModule); }
HMODULE Kernel32() { return reinterpret_cast<HMODULE>(&kernel32Module); }

constexpr char kFakeLibraryMagic[] = "MZ simulated library";

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// Reader of a compiled resource file: a sequence of entries, each a header (sizes, type, name,
// language) and its data, both padded to four bytes.
class ResReader {
 public:
  explicit ResReader(const sim::Bytes &bytes) : bytes_(bytes) {}

  bool AtEnd() const { return offset_ >= bytes_.size(); }

  struct Entry {
    std::optional<WORD> typeId, nameId;
    std::string typeName, name;
    sim::Bytes data;
  };

  Entry Next() {
    const std::size_t start = offset_;
    const DWORD dataSize = Dword();
    const DWORD headerSize = Dword();
    Entry entry;
    ReadId(entry.typeId, entry.typeName);
    ReadId(entry.nameId, entry.name);
    offset_ = start + headerSize;
    Need(dataSize);
    entry.data.assign(bytes_.begin() + offset_, bytes_.begin() + offset_ + dataSize);
    offset_ += (dataSize + 3) & ~3u;
    return entry;
  }

 private:
  void Need(std::size_t count) const {
    if (bytes_.size() - offset_ < count) throw std::runtime_error("truncated resource file");
  }
  WORD Word() {
    Need(2);
    const WORD value = static_cast<WORD>(bytes_[offset_] | bytes_[offset_ + 1] << 8);
    offset_ += 2;
    return value;
  }
  DWORD Dword() {
    const DWORD low = Word();
    return low | static_cast<DWORD>(Word()) << 16;
  }
  // A type or name: 0xFFFF and a number, or a NUL-terminated UTF-16 string.
  void ReadId(std::optional<WORD> &id, std::string &name) {
    const WORD first = Word();
    if (first == 0xFFFF) {
      id = Word();
      return;
    }
    for (WORD unit = first; unit != 0; unit = Word()) name += static_cast<char>(unit);
    offset_ = (offset_ + 3) & ~std::size_t{3};
  }

  const sim::Bytes &bytes_;
  std::size_t offset_ = 0;
};


}  // namespace

namespace sim {

void LoadResourceFile(const std::string &resPath) {
  std::ifstream in(resPath, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + resPath);
  const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ResReader reader(bytes);
  while (!reader.AtEnd()) {
    const ResReader::Entry entry = reader.Next();
    if (entry.typeId == 6 && entry.nameId) {
      // A string block holds sixteen counted UTF-16 strings, ids (block - 1) * 16 onwards.
      std::size_t at = 0;
      for (UINT index = 0; index < 16 && at + 2 <= entry.data.size(); ++index) {
        const std::size_t length = entry.data[at] | entry.data[at + 1] << 8;
        at += 2;
        std::string text;
        for (std::size_t unit = 0; unit < length && at + 2 <= entry.data.size(); ++unit, at += 2)
          text += static_cast<char>(entry.data[at]);
        if (length != 0) M().strings[(*entry.nameId - 1u) * 16 + index] = text;
      }
    } else if (entry.typeId == 10 && !entry.name.empty()) {
      M().rcdata[Upper(entry.name)] = entry.data;
    }
  }
}

void SetString(UINT id, const std::string &text) { M().strings[id] = text; }
void SetRcData(const std::string &name, const Bytes &bytes) { M().rcdata[Upper(name)] = bytes; }
void RemoveRcData(const std::string &name) { M().rcdata.erase(Upper(name)); }

Bytes FakeLibrary(const std::vector<std::string> &exports) {
  Bytes bytes(std::begin(kFakeLibraryMagic), std::end(kFakeLibraryMagic));
  for (const std::string &name : exports) {
    bytes.insert(bytes.end(), name.begin(), name.end());
    bytes.push_back(0);
  }
  return bytes;
}
void FailFreeLibrary() { M().failFreeLibrary = true; }
std::vector<std::string> LoadedLibraries() { return M().loadedLibraries; }

void OfferSetDefaultDllDirectories(bool offered) { M().offersDefaultDllDirectories = offered; }
DWORD DefaultDllDirectories() { return M().defaultDllDirectories; }
std::optional<std::string> DllDirectory() { return M().dllDirectory; }

}  // namespace sim

namespace {

BOOL WINAPI SimSetDefaultDllDirectories(DWORD flags) {
  M().defaultDllDirectories = flags;
  return TRUE;
}

INT_PTR WINAPI SimExportedFunction() { return 0; }

}  // namespace

extern "C" {

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  if (!name) return OwnModule();
  if (Lower(name) == "kernel32.dll" || Lower(name) == "kernel32") return Kernel32();
  return Fail(ERROR_MOD_NOT_FOUND, static_cast<HMODULE>(nullptr));
}

int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
  if (instance != OwnModule() || !buffer || size <= 0)
    return Fail(ERROR_INVALID_PARAMETER, 0);
  const auto found = M().strings.find(id);
  if (found == M().strings.end()) {
    buffer[0] = '\0';
    return Fail(ERROR_RESOURCE_NAME_NOT_FOUND, 0);
  }
  const std::size_t length = std::min(found->second.size(), static_cast<std::size_t>(size - 1));
  found->second.copy(buffer, length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  if (module && module != OwnModule()) return Fail(ERROR_INVALID_HANDLE, static_cast<HRSRC>(nullptr));
  if (type != RT_RCDATA || IS_INTRESOURCE(name))
    return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, static_cast<HRSRC>(nullptr));
  const auto found = M().rcdata.find(Upper(name));
  if (found == M().rcdata.end())
    return Fail(ERROR_RESOURCE_NAME_NOT_FOUND, static_cast<HRSRC>(nullptr));
  return reinterpret_cast<HRSRC>(&found->second);
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC resource) {
  if (!resource) return Fail(ERROR_INVALID_HANDLE, static_cast<HGLOBAL>(nullptr));
  return reinterpret_cast<HGLOBAL>(resource);
}

DWORD WINAPI SizeofResource(HMODULE, HRSRC resource) {
  if (!resource) return Fail(ERROR_INVALID_HANDLE, 0u);
  return static_cast<DWORD>(reinterpret_cast<sim::Bytes *>(resource)->size());
}

LPVOID WINAPI LockResource(HGLOBAL resource) {
  if (!resource) return nullptr;
  return reinterpret_cast<sim::Bytes *>(resource)->data();
}

BOOL WINAPI FreeResource(HGLOBAL) { return FALSE; }

HMODULE WINAPI LoadLibraryA(LPCSTR path) {
  const auto found = M().files.find(PathKey(path));
  if (found == M().files.end()) return Fail(ERROR_MOD_NOT_FOUND, static_cast<HMODULE>(nullptr));
  const sim::Bytes &bytes = found->second.bytes;
  const std::size_t magic = sizeof kFakeLibraryMagic;
  if (bytes.size() < magic || std::memcmp(bytes.data(), kFakeLibraryMagic, magic) != 0)
    return Fail(ERROR_BAD_EXE_FORMAT, static_cast<HMODULE>(nullptr));
  HandleObject library{HandleKind::Library, path};
  M().loadedLibraries.push_back(path);
  RecordEvent(std::string("load ") + path);
  return reinterpret_cast<HMODULE>(NewHandle(library));
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  if (module == Kernel32()) {
    if (std::string(name) == "SetDefaultDllDirectories" && M().offersDefaultDllDirectories)
      return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&SimSetDefaultDllDirectories));
    return Fail(ERROR_PROC_NOT_FOUND, static_cast<FARPROC>(nullptr));
  }
  HandleObject *library = FindHandle(module, HandleKind::Library);
  if (!library) return Fail(ERROR_INVALID_HANDLE, static_cast<FARPROC>(nullptr));
  const sim::Bytes &bytes = M().files.at(PathKey(library->path)).bytes;
  // The export names follow the magic, each ended by a NUL.
  std::string names(bytes.begin() + sizeof kFakeLibraryMagic, bytes.end());
  for (std::size_t at = 0; at < names.size();) {
    const std::size_t end = names.find('\0', at);
    if (names.substr(at, end - at) == name) return &SimExportedFunction;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return Fail(ERROR_PROC_NOT_FOUND, static_cast<FARPROC>(nullptr));
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  HandleObject *library = FindHandle(module, HandleKind::Library);
  if (!library) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (M().failFreeLibrary) return Fail(ERROR_INVALID_HANDLE, FALSE);
  RecordEvent("free " + library->path);
  CloseOwnHandle(module);
  return TRUE;
}

BOOL WINAPI SetDllDirectoryA(LPCSTR path) {
  M().dllDirectory = path ? std::string(path) : std::string("<null>");
  return TRUE;
}

}  // extern "C"
