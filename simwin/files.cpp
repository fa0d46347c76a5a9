// kernel32's file functions over the simulated folders and files.
#include <algorithm>

#include "machine.h"

namespace sim {
using namespace detail;

void MakeFolder(const std::string &path) { M().folders[PathKey(path)]; }
void RemoveFolder(const std::string &path) { M().folders.erase(PathKey(path)); }

void PutFile(const std::string &path, const Bytes &bytes) {
  File &file = M().files[PathKey(path)];
  file.displayPath = path;
  file.bytes = bytes;
}

std::optional<Bytes> FileBytes(const std::string &path) {
  const auto found = M().files.find(PathKey(path));
  if (found == M().files.end()) return std::nullopt;
  return found->second.bytes;
}

std::vector<std::string> FolderEntries(const std::string &path) {
  const std::string folder = PathKey(path);
  std::vector<std::string> names;
  for (const auto &[key, file] : M().files)
    if (ParentKey(key) == folder) names.push_back(NameOf(file.displayPath));
  for (const auto &entry : M().folders)
    if (ParentKey(entry.first) == folder) names.push_back(NameOf(entry.first));
  std::sort(names.begin(), names.end());
  return names;
}

void SetFolderAttributes(const std::string &path, DWORD attributes) {
  M().folders[PathKey(path)].attributes = attributes;
}
void MakeFolderReadOnly(const std::string &path) { M().folders[PathKey(path)].readOnly = true; }
void HoldOpen(const std::string &path) { M().files.at(PathKey(path)).heldByOtherProcess = true; }
void LimitFolderSpace(const std::string &path, std::size_t bytes) {
  M().folders[PathKey(path)].spaceLeft = bytes;
}
void ShortenNextWrite() { M().shortenNextWrite = true; }
void FailFlush() { M().failFlush = true; }
void SetSystemDirectory(const std::string &path) { M().systemDirectory = path; }

}  // namespace sim

namespace {
using namespace sim::detail;

Folder *FolderOf(const std::string &fileKey) {
  const auto found = M().folders.find(ParentKey(fileKey));
  return found == M().folders.end() ? nullptr : &found->second;
}

// Whether this program itself holds the file open.
bool OpenHere(const std::string &fileKey) {
  return std::any_of(M().handles.begin(), M().handles.end(), [&](const auto &entry) {
    return entry.second.kind == HandleKind::File && entry.second.path == fileKey;
  });
}

bool InUse(const std::string &fileKey) {
  return M().files.at(fileKey).heldByOtherProcess || OpenHere(fileKey);
}

void ReleaseSpace(const std::string &fileKey) {
  Folder *folder = FolderOf(fileKey);
  if (folder && folder->spaceLeft) *folder->spaceLeft += M().files.at(fileKey).bytes.size();
}

}  // namespace

extern "C" {

DWORD WINAPI GetFileAttributesA(LPCSTR name) {
  const std::string path = name;
  const std::string key = PathKey(path);
  if (const auto folder = M().folders.find(key); folder != M().folders.end())
    return folder->second.attributes;
  if (M().files.count(key)) {
    if (!path.empty() && (path.back() == '\\' || path.back() == '/'))
      return Fail(ERROR_INVALID_NAME, INVALID_FILE_ATTRIBUTES);
    return FILE_ATTRIBUTE_ARCHIVE;
  }
  return Fail(M().folders.count(ParentKey(key)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND,
              INVALID_FILE_ATTRIBUTES);
}

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                          DWORD disposition, DWORD, HANDLE) {
  const std::string key = PathKey(name);
  if (M().folders.count(key)) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  Folder *folder = FolderOf(key);
  if (!folder) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  const bool exists = M().files.count(key) != 0;
  if (exists && InUse(key)) return Fail(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
  const bool writes = (access & GENERIC_WRITE) != 0 || disposition == CREATE_ALWAYS ||
                      disposition == CREATE_NEW;
  if (folder->readOnly && writes) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);

  switch (disposition) {
    case OPEN_EXISTING:
      if (!exists) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
      break;
    case CREATE_NEW:
      if (exists) return Fail(80 /* ERROR_FILE_EXISTS */, INVALID_HANDLE_VALUE);
      [[fallthrough]];
    case CREATE_ALWAYS:
      if (exists) ReleaseSpace(key);
      M().files[key].bytes.clear();
      M().files[key].displayPath = name;
      break;
    default:
      return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  }
  // Sharing modes other than none are not modelled: the installer never shares its files.
  (void)share;
  const std::uintptr_t handle = NewHandle({HandleKind::File, key, access});
  SetLastError(exists && disposition == CREATE_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return reinterpret_cast<HANDLE>(handle);
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED) {
  HandleObject *object = FindHandle(handle, HandleKind::File);
  if (!object) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(object->access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (written) *written = 0;
  DWORD count = size;
  bool diskFull = false;
  if (M().shortenNextWrite) {
    M().shortenNextWrite = false;
    count = size / 2;
  }
  Folder *folder = FolderOf(object->path);
  if (folder && folder->spaceLeft && *folder->spaceLeft < count) {
    count = static_cast<DWORD>(*folder->spaceLeft);
    diskFull = true;
  }
  if (folder && folder->spaceLeft) *folder->spaceLeft -= count;
  sim::Bytes &bytes = M().files.at(object->path).bytes;
  const auto *data = static_cast<const std::uint8_t *>(buffer);
  bytes.insert(bytes.end(), data, data + count);
  if (written) *written = count;
  if (diskFull) return Fail(ERROR_DISK_FULL, FALSE);
  return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE handle) {
  if (!FindHandle(handle, HandleKind::File)) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (M().failFlush) return Fail(ERROR_DISK_FULL, FALSE);
  return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
  const std::string source = PathKey(from);
  const std::string target = PathKey(to);
  if (!M().files.count(source)) return Fail(ERROR_FILE_NOT_FOUND, FALSE);
  Folder *targetFolder = FolderOf(target);
  if (!targetFolder) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
  if (InUse(source)) return Fail(ERROR_SHARING_VIOLATION, FALSE);
  if (FolderOf(source)->readOnly || targetFolder->readOnly) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (M().folders.count(target)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (M().files.count(target)) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) return Fail(ERROR_ALREADY_EXISTS, FALSE);
    if (InUse(target)) return Fail(ERROR_ACCESS_DENIED, FALSE);
    ReleaseSpace(target);
  }
  File moved = M().files.at(source);
  moved.displayPath = to;
  M().files.erase(source);
  M().files[target] = moved;
  return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR name) {
  const std::string key = PathKey(name);
  if (!M().files.count(key)) return Fail(ERROR_FILE_NOT_FOUND, FALSE);
  if (InUse(key)) return Fail(ERROR_SHARING_VIOLATION, FALSE);
  if (FolderOf(key)->readOnly) return Fail(ERROR_ACCESS_DENIED, FALSE);
  ReleaseSpace(key);
  M().files.erase(key);
  return TRUE;
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) {
  const std::string &directory = M().systemDirectory;
  // Too small a buffer: the size needed, counting the terminating NUL, and nothing written.
  if (size <= directory.size()) return static_cast<UINT>(directory.size() + 1);
  directory.copy(buffer, directory.size());
  buffer[directory.size()] = '\0';
  return static_cast<UINT>(directory.size());
}

BOOL WINAPI CloseHandle(HANDLE handle) {
  const auto found = M().handles.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == M().handles.end() ||
      (found->second.kind != HandleKind::File && found->second.kind != HandleKind::Process))
    return Fail(ERROR_INVALID_HANDLE, FALSE);
  M().handles.erase(found);
  return TRUE;
}

}  // extern "C"
