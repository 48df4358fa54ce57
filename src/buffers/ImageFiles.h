#pragma once
// Intel HEX and raw binary image files: turning a file into an image, and an image into a
// file. The format is chosen by the file name; what does not parse as Intel HEX is taken as
// raw bytes.

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zr7 {

class MemoryBuffer;
class MessageCatalog;
class OperatorInterface;

// The last four characters are ".bin", in any letter case.
bool HasBinExtension(std::string_view name);

enum class HexStatus {
  Ok,
  NotHex,           // no ':' where a record must start, a line too long or unended: silent
  BadRecord,        // "Error in HEX file"
  ChecksumRefused,  // the operator declined a bad checksum
  NoMemory,
};

// Asked at most once per text, at the first bad checksum; true loads the file anyway.
using ChecksumQuestion = std::function<bool()>;

// The Intel HEX reader, fed the text piece by piece as it is read from the file, so that the
// text of a full image (24 MB) is never held whole. Never reads outside the pieces.
class HexParser {
 public:
  // `expectedLength`: how long the text is thought to be, to size the image once.
  explicit HexParser(ChecksumQuestion askChecksum, std::size_t expectedLength = 0);
  // The next piece of text. False once the outcome is known: nothing more is needed.
  bool Feed(std::span<const std::uint8_t> piece);
  // The text has ended. On success `image` gets the image (bytes never given are 0xFF);
  // otherwise it is left empty.
  HexStatus Finish(std::vector<std::uint8_t>& image);

 private:
  static constexpr std::size_t kMaxLine = 80;  // characters before the line feed, CR included

  bool Record(const std::uint8_t* fields, std::size_t length);
  bool Stop(HexStatus status);

  ChecksumQuestion askChecksum_;
  std::vector<std::uint8_t> image_;
  std::int64_t base_ = 0;
  bool askAboutChecksum_ = true;
  bool stopped_ = false;
  HexStatus status_ = HexStatus::NotHex;
  // A line begun in an earlier piece: its ':' and the characters after it so far.
  std::array<std::uint8_t, kMaxLine + 2> carry_{};
  std::size_t carryLength_ = 0;
};

// The whole text at once: the parser as a pure function, for tests and fuzzing.
HexStatus ParseHexImage(std::span<const std::uint8_t> text, std::vector<std::uint8_t>& image,
                        const ChecksumQuestion& askChecksum);

// The reader with its boxes (caption 1016): the checksum question, "Error in HEX file",
// "Not enough memory".
bool ParseHex(OperatorInterface& op, const MessageCatalog& catalog, std::span<const std::uint8_t> text,
              std::vector<std::uint8_t>& image);

enum class ReadStatus { Ok, CannotRead, NoMemory };

// The raw bytes of the open file from its start: at most the largest image, after a warning
// when the file is longer.
ReadStatus CopyBinary(OperatorInterface& op, const MessageCatalog& catalog, const std::string& path,
                      std::FILE* file, std::vector<std::uint8_t>& image);

// Reads the image file at `path` with the reader its name chooses (".bin" raw, otherwise
// Intel HEX with the raw fallback), without touching any buffer. A HEX file is read whole
// however long; a raw image is at most the largest image.
ReadStatus ReadForMerge(OperatorInterface& op, const MessageCatalog& catalog, const std::string& path,
                        std::vector<std::uint8_t>& image);

// As ReadForMerge, then empties the buffer and hands it the image. The caller sets the file
// name, states and modified flag.
ReadStatus SetFromFileContents(MemoryBuffer& buffer, const std::string& path);

// Intel HEX text of an image, as WriteFile writes it, handed out in chunks; false from the
// sink stops the writing.
using TextSink = std::function<bool(std::string_view chunk)>;
bool WriteHexText(std::span<const std::uint8_t> image, const TextSink& sink);
std::string FormatHex(std::span<const std::uint8_t> image);

// The sum of the bytes modulo 65536, as the status line shows it.
std::uint16_t ImageChecksum(std::span<const std::uint8_t> image);

// A Flash image is programmed in words: an odd length gets one more byte of 0xFF.
void PadToWords(std::vector<std::uint8_t>& image);

// Writes the image to `path` in the format its name chooses (".bin" raw, ".hex"/".eep"
// Intel HEX, otherwise the operator is asked) so that an existing file survives any failure;
// "Cannot save file" on failure.
bool WriteImageFile(OperatorInterface& op, const MessageCatalog& catalog, std::span<const std::uint8_t> image,
                    const std::string& path);

// Writes the buffer to `path` (".bin" raw, ".hex"/".eep" Intel HEX, otherwise asks) so that
// an existing file survives any failure. On success the buffer counts as saved; on failure
// "Cannot save file" is shown and the buffer keeps its modified flag and states.
bool WriteFile(MemoryBuffer& buffer, const std::string& path);

}  // namespace zr7
