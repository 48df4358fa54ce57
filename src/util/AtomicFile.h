#pragma once
// Writing a file so that the old one survives any failure: the new contents go to a temporary
// file in the same folder, are flushed to disk, and only then renamed over the target.

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

  // Creates the temporary file beside `path`. False when the folder cannot take it.
  bool Open(const std::string& path);
  // Buffered; a failure (a full disk) is remembered and reported by Commit.
  bool Write(const void* data, std::size_t length);
  bool Write(std::string_view text) { return Write(text.data(), text.size()); }
  // Flushes, syncs and renames over the target; false (target unchanged) on any failure.
  bool Commit();
  // Removes the temporary file; the target stays as it was.
  void Abandon();

  // What went wrong, for logs and messages ("No space left on device").
  const std::string& Error() const { return error_; }

 private:
  bool FlushBuffer();
  void Fail(const char* what);

  int fd_ = -1;
  std::string path_;
  std::string tempPath_;
  std::string buffer_;
  std::string error_;
  bool failed_ = false;
};

// Replaces the file at `path` with `contents` in one step; the old file survives any failure.
bool WriteFileAtomically(const std::string& path, std::string_view contents, std::string* error = nullptr);

}  // namespace zr7
