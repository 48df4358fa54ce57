#pragma once
// Writing a file so that the old one survives any failure: the new contents go to a temporary
// file in the same folder, are flushed to disk, and only then renamed over the target.
// A symbolic link is followed and its target replaced (the link stays); a FIFO or a device
// is written through, since replacing its node would cut it off from its reader; a folder is
// refused.

#include <cstddef>
#include <string>
#include <string_view>

namespace zr7 {

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile();  // an uncommitted file is removed, the target untouched
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file beside the target, or opens a FIFO or device for writing (a
  // FIFO waits for its reader). False when the target cannot be replaced: a folder, a file
  // without write permission, a folder that cannot take the temporary file.
  bool Open(const std::string& path);
  // Buffered; a failure (a full disk) is remembered and reported by Commit.
  bool Write(const void* data, std::size_t length);
  bool Write(std::string_view text) { return Write(text.data(), text.size()); }
  // Flushes, syncs and renames over the target; false (target unchanged) on any failure.
  bool Commit();
  // Removes the temporary file; the target stays as it was. What was already written through
  // to a FIFO or a device cannot be taken back.
  void Abandon();

  // The errno of the first failure (ENOSPC, EACCES, EISDIR, ...), 0 when none.
  int ErrorNumber() const { return errorNumber_; }

  // 0 when Open and Commit could replace `path` now, otherwise the errno Open would fail
  // with. Tries a temporary file beside the target; opens no FIFO or device.
  static int ReplaceProblem(const std::string& path);

 private:
  bool FlushBuffer();
  bool Fail();

  int fd_ = -1;
  bool direct_ = false;  // a FIFO or a device: no temporary file, no rename
  std::string target_;   // the path with its symbolic links followed
  std::string tempPath_;
  std::string buffer_;
  int errorNumber_ = 0;
};

// Replaces the file at `path` with `contents` in one step; the old file survives any failure.
bool WriteFileAtomically(const std::string& path, std::string_view contents, int* errorNumber = nullptr);

}  // namespace zr7
