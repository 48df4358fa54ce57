#pragma once
// Intel HEX and raw binary image files: turning a file into an image, and an image into a
// file. The format is chosen by the file name; what does not parse as Intel HEX is taken as
// raw bytes by the window and refused by the command line (HexFallback).

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

// What exactly made a text fail as Intel HEX, for a message that names it.
enum class HexFault {
  None,
  Empty,               // no text at all
  NoColon,             // a line that does not begin with ':'
  LineTooLong,         // more characters than the record's byte count allows
  NotHexDigit,         // a character of a field that is not a hexadecimal digit
  TooShort,            // fewer characters than the record's fields need
  NoEndRecord,         // the text ended before the end record
  BadChecksum,         // declined by the operator
  BeyondLargestImage,  // data at or above the largest image
  EmptyRecordAtZero,   // a data record of no bytes at address 0
  NoMemory,
};

struct HexFailure {
  HexFault fault = HexFault::None;
  std::size_t line = 0;       // 1 for the first line; NoEndRecord: the last line read; Empty: 0
  std::uint64_t address = 0;  // BeyondLargestImage: the first address beyond the image
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
  // After a failed Finish: what was wrong, and where.
  const HexFailure& Failure() const { return failure_; }

 private:
  // Characters after the ':' of the longest record (255 data bytes), its CR included:
  // count, offset, type, data and checksum in two digits a byte.
  static constexpr std::size_t kMaxLine = 2 * (1 + 2 + 1 + 255 + 1) + 1;

  bool Record(const std::uint8_t* fields, std::size_t length);
  bool Stop(HexStatus status);
  bool Fail(HexStatus status, HexFault fault, std::uint64_t address = 0);

  ChecksumQuestion askChecksum_;
  std::vector<std::uint8_t> image_;
  std::int64_t base_ = 0;
  bool askAboutChecksum_ = true;
  bool stopped_ = false;
  HexStatus status_ = HexStatus::NotHex;
  HexFailure failure_;
  std::size_t line_ = 1;  // the line being read
  // A line begun in an earlier piece: its ':' and the characters after it so far.
  std::array<std::uint8_t, kMaxLine + 2> carry_{};
  std::size_t carryLength_ = 0;
};

// The whole text at once: the parser as a pure function, for tests and fuzzing.
HexStatus ParseHexImage(std::span<const std::uint8_t> text, std::vector<std::uint8_t>& image,
                        const ChecksumQuestion& askChecksum, HexFailure* failure = nullptr);

// "line 3 holds a character that is not a hexadecimal digit", in the current language.
std::string HexFailureText(const MessageCatalog& catalog, const HexFailure& failure);

// The reader with its boxes (caption 1016): the checksum question, "Error in HEX file",
// "Not enough memory".
bool ParseHex(OperatorInterface& op, const MessageCatalog& catalog, std::span<const std::uint8_t> text,
              std::vector<std::uint8_t>& image);

enum class ReadStatus {
  Ok,
  CannotRead,
  NoMemory,
  Refused,  // not a regular file, or not the Intel HEX its name promises: the reason was shown
};

// What becomes of a file that is not valid Intel HEX (and not named ".bin").
enum class HexFallback {
  RawBytes,  // the window: loaded as its raw bytes, after the reader's own box
  // The command line, which must never program what is not the image: a ".hex" or ".eep"
  // file is refused with the line and the fault; another name is taken raw only when its
  // text does not begin as Intel HEX at all.
  Refuse,
};

// The raw bytes of the open file from its start: at most the largest image, after a warning
// when the file is longer.
ReadStatus CopyBinary(OperatorInterface& op, const MessageCatalog& catalog, const std::string& path,
                      std::FILE* file, std::vector<std::uint8_t>& image);

// Reads the image file at `path` with the reader its name chooses (".bin" raw, otherwise
// Intel HEX, failing as `fallback` says), without touching any buffer. Only a regular file
// (or a link to one) is read: a pipe or a device is refused before it can block. A HEX file
// is read whole however long; a raw image is at most the largest image. `tookRaw`, when
// given, tells whether a file that failed as Intel HEX was taken as raw bytes.
ReadStatus ReadForMerge(OperatorInterface& op, const MessageCatalog& catalog, const std::string& path,
                        std::vector<std::uint8_t>& image, HexFallback fallback = HexFallback::RawBytes,
                        bool* tookRaw = nullptr);

// As ReadForMerge with the buffer's own fallback, then empties the buffer and hands it the
// image. The caller sets the file name, states and modified flag.
ReadStatus SetFromFileContents(MemoryBuffer& buffer, const std::string& path, bool* tookRaw = nullptr);

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
// Intel HEX, otherwise the operator is asked) so that an existing file survives any failure
// (AtomicFile: a FIFO or device is written through, a link's target replaced); on failure
// "Cannot save file '%s': %s." with the path and the cause.
bool WriteImageFile(OperatorInterface& op, const MessageCatalog& catalog, std::span<const std::uint8_t> image,
                    const std::string& path);

// As WriteImageFile, in the format given: no question asked.
bool WriteImageFileAs(OperatorInterface& op, const MessageCatalog& catalog, std::span<const std::uint8_t> image,
                      const std::string& path, bool hex);

// Why saving `image` over `path` after a serial-number increment (up to 4 bytes ending at
// `address`, the last byte for an address outside the image) would change more than those
// bytes, or could not be done; empty when it may be saved, with `hex` the format to write.
// The file on disk must be a regular file that can be replaced and that reads back, in the
// format the save writes (".bin" raw, ".hex"/".eep" Intel HEX, otherwise what it is), as
// the same image apart from those bytes and the 0xFF that pads a Flash image.
std::string SerialSaveProblem(const MessageCatalog& catalog, const std::string& path,
                              std::span<const std::uint8_t> image, std::int32_t address, bool& hex);

// Writes the buffer to `path` (".bin" raw, ".hex"/".eep" Intel HEX, otherwise asks) so that
// an existing file survives any failure. On success the buffer counts as saved; on failure
// "Cannot save file '%s': %s." is shown and the buffer keeps its modified flag and states.
bool WriteFile(MemoryBuffer& buffer, const std::string& path);

}  // namespace zr7
