// A folder only administrators and the system account can write to, made new for one preparation
// (or one version lookup) and removed with everything the engine wrote into it, or kept (the source
// of an installed package on XP, engine/package/kept_source.h).
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "win/handles.h"

namespace velmor {

class protected_folder {
 public:
  protected_folder() = default;
  protected_folder(const protected_folder&) = delete;
  protected_folder& operator=(const protected_folder&) = delete;
  ~protected_folder() { remove(); }

  // Creates the folder under the Windows folder's "Temp" with a random name and a protected DACL
  // (administrators and the system account), never opening one that exists, and holds it open
  // against renaming. 0, or a status after an error line under `caller`.
  int create(const char* caller);
  // The same protection for a folder of a given full path (its parent must exist), which must not
  // exist yet. 0, or a status after an error line.
  int create_at(const std::wstring& path, const char* caller);
  // Keeps the folder: the written files are flushed to disk and every handle is closed, and the
  // folder is forgotten, not removed. False when a flush failed.
  bool keep();
  bool created() const { return !path_.empty(); }
  // Its full path in UTF-8; empty before create.
  const std::string& path() const { return path_; }

  // A new sub-folder ("x86", "license\libusb0"; every part made in turn), held like the folder.
  int make_folder(const char* relative, const char* caller);
  // A new file at the relative path with these bytes. Its handle stays open (read access, read
  // sharing only) until close_files: nothing can change it in between. 0 or a status.
  int write_file(const char* relative, const void* data, size_t size, const char* caller);
  // Records a file a system call wrote by name, so that remove deletes it.
  void adopt_file(const char* relative);
  // The held handle of a written file (relative path, any case), or null.
  HANDLE file(const char* relative) const;
  // Full UTF-8 path of a relative one.
  std::string full(const char* relative) const;
  // Closes the held file handles, so that other programs may open the files for reading.
  void close_files();
  // Deletes every file and folder the engine made, then the folder; what is still in use is tried
  // again for up to half a second. Failures are logged only.
  void remove();
  // Failures of a later removal are not logged (at process exit the log's receiver may be gone).
  void quiet() { quiet_ = true; }

 private:
  bool remove_contents(bool log_failures);
  // The held handle of the folder itself (empty) or of a sub-folder made by make_folder; or null.
  HANDLE folder_handle(const std::wstring& relative) const;

  std::wstring wide_;
  std::string path_;
  bool quiet_ = false;
  std::vector<unique_file> held_folders_;
  std::vector<std::wstring> folders_;  // relative, in creation order
  std::vector<std::pair<std::string, unique_file>> files_;  // relative (as given), handle
};

}  // namespace velmor
