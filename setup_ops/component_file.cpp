#include "component_file.h"

#include "win_handles.h"

namespace {

// Whole chunks of this size at most go to WriteFile.
constexpr DWORD kChunkSize = 61440;

bool DirectoryExists(const Text &path) {
  const DWORD attributes = GetFileAttributesA(path.CStr());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

Failure CannotCreateFile(const ComponentPath &path) {
  return MakeFailure("Cannot create file ", path.View());
}

Failure StreamWriteError() { return MakeFailure("Stream write error"); }

// The program's own resource, locked in memory for as long as this lives.
class OwnResource {
 public:
  static Result<OwnResource> Lock(const char *name) {
    OwnResource resource;
    const HRSRC found = FindResourceA(nullptr, name, RT_RCDATA);
    if (found) resource.loaded_.Reset(LoadResource(nullptr, found));
    if (!resource.loaded_) return NotFound(name);
    resource.size_ = SizeofResource(nullptr, found);
    resource.bytes_ = static_cast<const BYTE *>(LockResource(resource.loaded_.Get()));
    if (!resource.bytes_ && resource.size_ != 0) return NotFound(name);
    return resource;
  }

  const BYTE *Bytes() const { return bytes_; }
  DWORD Size() const { return size_; }

 private:
  static Failure NotFound(const char *name) { return MakeFailure("Resource ", name, " not found"); }

  LoadedResource loaded_;
  const BYTE *bytes_ = nullptr;
  DWORD size_ = 0;
};

// A file written beside its destination and moved over it only once complete. Until then it is
// deleted when this goes out of scope.
class StagingFile {
 public:
  explicit StagingFile(const ComponentPath &destination) : destination_(destination) {}
  ~StagingFile() { Discard(); }
  StagingFile(const StagingFile &) = delete;
  StagingFile &operator=(const StagingFile &) = delete;

  Status Create() {
    // A destination another process holds open cannot be replaced; find out before writing.
    if (!Replaceable()) return CannotCreateFile(destination_);
    if (!path_.Assign(destination_.View()) || !path_.Append(".tmp"))
      return CannotCreateFile(destination_);
    file_.Reset(CreateFileA(path_.CStr(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
      path_.Clear();  // nothing of ours to delete
      return CannotCreateFile(destination_);
    }
    return Status::Ok();
  }

  Status Write(const BYTE *bytes, DWORD size) {
    for (DWORD offset = 0; offset < size;) {
      const DWORD chunk = size - offset < kChunkSize ? size - offset : kChunkSize;
      DWORD written = 0;
      if (!WriteFile(file_.Get(), bytes + offset, chunk, &written, nullptr) || written != chunk)
        return StreamWriteError();
      offset += chunk;
    }
    if (!FlushFileBuffers(file_.Get())) return StreamWriteError();
    return Status::Ok();
  }

  // Puts the written file in the destination's place, replacing what was there.
  Status MoveOverDestination() {
    file_.Reset();
    if (!MoveFileExA(path_.CStr(), destination_.CStr(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return CannotCreateFile(destination_);
    path_.Clear();
    return Status::Ok();
  }

 private:
  bool Replaceable() const {
    UniqueFile existing(CreateFileA(destination_.CStr(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return existing || GetLastError() == ERROR_FILE_NOT_FOUND;
  }

  void Discard() {
    file_.Reset();
    if (!path_.Empty()) DeleteFileA(path_.CStr());
    path_.Clear();
  }

  const ComponentPath &destination_;
  ComponentPath path_;
  UniqueFile file_;
};

}  // namespace

std::optional<Text> FindDownloadedControlsFolder() {
  for (const TextId candidate : {TextId::WindowsDownloadFolder, TextId::WinntDownloadFolder}) {
    Text folder = LoadText(candidate);
    if (DirectoryExists(folder)) return folder;
  }
  return std::nullopt;
}

Result<ComponentPath> ComponentPathIn(const Text &folder) {
  ComponentPath path;
  if (!path.Assign(folder.View()) || !path.Append(LoadText(TextId::ComponentFileName).View()))
    return MakeFailure("Path too long: ", folder.View());
  return path;
}

Status ExtractResourceToFile(const char *resourceName, const ComponentPath &fileName) {
  const Result<OwnResource> resource = OwnResource::Lock(resourceName);
  if (!resource) return resource.GetFailure();

  StagingFile staging(fileName);
  if (Status created = staging.Create(); !created) return created;
  if (Status written = staging.Write(resource.Value().Bytes(), resource.Value().Size()); !written)
    return written;
  return staging.MoveOverDestination();
}
