#include "buffers/ImageFiles.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"
#include "buffers/MemoryBuffer.h"
#include "util/AtomicFile.h"

namespace zr7 {

namespace {

// Below this an image keeps the single-digit segment records; from here on they would need
// two digits, so linear address records take over.
constexpr std::uint32_t kLinearFrom = 1u << 20;

constexpr std::array<std::int8_t, 256> kDigit = [] {
  std::array<std::int8_t, 256> t{};
  t.fill(-1);  // a non-digit: any field holding one is refused
  for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<std::int8_t>(c - '0');
  for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<std::int8_t>(c - 'a' + 10);
  for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<std::int8_t>(c - 'A' + 10);
  return t;
}();

inline int Byte(const std::uint8_t* p) { return 16 * kDigit[p[0]] + kDigit[p[1]]; }
inline bool AllDigits(const std::uint8_t* p, std::size_t n) {
  int any = 0;
  for (std::size_t i = 0; i < n; ++i) any |= kDigit[p[i]];
  return any >= 0;
}
inline int Word(const std::uint8_t* p) { return 256 * Byte(p) + Byte(p + 2); }

void Release(std::vector<std::uint8_t>& v) { std::vector<std::uint8_t>().swap(v); }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EndsWithNoCase(std::string_view name, std::string_view tail) {
  if (name.size() < tail.size()) return false;
  name.remove_prefix(name.size() - tail.size());
  for (std::size_t i = 0; i < tail.size(); ++i)
    if (Lower(name[i]) != tail[i]) return false;
  return true;
}

MessageBoxRequest Box(const MessageCatalog& catalog, std::string text, BoxIcon icon,
                      BoxButtons buttons = BoxButtons::Ok) {
  return {catalog.GetText(msg::ProductTitle), std::move(text), icon, buttons};
}

// The raw bytes from where the file stands, up to the largest image; `truncated` tells
// whether the file goes on. False on a read error.
bool ReadRaw(std::FILE* f, std::vector<std::uint8_t>& v, std::size_t expected, bool& truncated) {
  std::size_t used = 0;
  truncated = false;
  for (;;) {
    if (used == MaxImageSize) {
      truncated = std::fgetc(f) != EOF;
      break;
    }
    // One byte beyond the expected length, so the end is seen without growing again.
    if (used == v.size())
      v.resize(std::min<std::size_t>(MaxImageSize, std::max({expected + 1, used * 2, std::size_t{1} << 12})));
    const std::size_t n = std::fread(v.data() + used, 1, v.size() - used, f);
    used += n;
    if (n == 0) break;
  }
  v.resize(used);
  return !std::ferror(f);
}

std::size_t LengthOf(const std::string& path) {
  std::error_code ec;
  const auto length = std::filesystem::file_size(path, ec);
  return ec ? 0 : static_cast<std::size_t>(length);
}

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
File OpenForReading(const std::string& path) { return File(std::fopen(path.c_str(), "rb"), &std::fclose); }

}  // namespace

bool HasBinExtension(std::string_view name) { return EndsWithNoCase(name, ".bin"); }

HexParser::HexParser(ChecksumQuestion askChecksum, std::size_t expectedLength)
    : askChecksum_(std::move(askChecksum)) {
  try {
    // Dense text of 16-byte records is 2.8 characters a byte: one allocation for the usual file.
    image_.reserve(std::min<std::size_t>(MaxImageSize, expectedLength / 2));
  } catch (const std::bad_alloc&) {
    Fail(HexStatus::NoMemory, HexFault::NoMemory);
  }
}

bool HexParser::Stop(HexStatus status) {
  stopped_ = true;
  status_ = status;
  if (status != HexStatus::Ok) Release(image_);
  return false;
}

bool HexParser::Fail(HexStatus status, HexFault fault, std::uint64_t address) {
  failure_ = {fault, line_, address};
  return Stop(status);
}

bool HexParser::Feed(std::span<const std::uint8_t> piece) {
  if (stopped_) return false;
  if (piece.empty()) return true;
  const std::uint8_t* p = piece.data();
  const std::uint8_t* const end = p + piece.size();
  if (carryLength_ > 0) {
    // Finish the line the last piece ended in: at most kMaxLine characters after its ':'.
    const std::size_t room = kMaxLine + 2 - carryLength_;  // characters still allowed, then the LF
    const std::size_t scan = std::min<std::size_t>(static_cast<std::size_t>(end - p), room);
    const auto* lf = static_cast<const std::uint8_t*>(std::memchr(p, '\n', scan));
    if (!lf) {
      if (scan == room) return Fail(HexStatus::NotHex, HexFault::LineTooLong);
      std::memcpy(carry_.data() + carryLength_, p, scan);
      carryLength_ += scan;
      return true;
    }
    const auto take = static_cast<std::size_t>(lf - p);
    std::memcpy(carry_.data() + carryLength_, p, take);
    const std::size_t length = carryLength_ - 1 + take;
    carryLength_ = 0;
    if (!Record(carry_.data() + 1, length)) return false;
    ++line_;
    p = lf + 1;
  }
  while (p != end) {
    if (*p != ':') return Fail(HexStatus::NotHex, HexFault::NoColon);
    const std::uint8_t* const fields = p + 1;
    const auto avail = static_cast<std::size_t>(end - fields);
    const auto* lf = static_cast<const std::uint8_t*>(std::memchr(fields, '\n', std::min(avail, kMaxLine + 1)));
    if (!lf) {
      if (avail > kMaxLine) return Fail(HexStatus::NotHex, HexFault::LineTooLong);
      std::memcpy(carry_.data(), p, avail + 1);  // the line goes on in the next piece
      carryLength_ = avail + 1;
      return true;
    }
    if (!Record(fields, static_cast<std::size_t>(lf - fields))) return false;
    ++line_;
    p = lf + 1;
  }
  return true;
}

// One line without its line feed; false when the outcome is known. Every character a field
// uses must be a hexadecimal digit: one that is not would enter the sums as a value of its own
// and could load a byte that is in no file.
bool HexParser::Record(const std::uint8_t* f, std::size_t fields) {
  // Blanks and CRs after the checksum are line ends as some tools write them, not content.
  while (fields > 0 && (f[fields - 1] == '\r' || f[fields - 1] == ' ' || f[fields - 1] == '\t')) --fields;
  if (fields < 8) return Fail(HexStatus::BadRecord, HexFault::TooShort);
  if (!AllDigits(f, 8)) return Fail(HexStatus::BadRecord, HexFault::NotHexDigit);
  const int n = Byte(f);
  const int offset = Word(f + 2);
  const int type = Byte(f + 6);
  if (type == 1) return Stop(HexStatus::Ok);  // nothing after the end record is read
  if (type == 2 || type == 4) {
    // Address records: their count and checksum are not examined, as ever for type 02.
    if (fields < 12) return Fail(HexStatus::BadRecord, HexFault::TooShort);
    if (!AllDigits(f + 8, 4)) return Fail(HexStatus::BadRecord, HexFault::NotHexDigit);
    base_ = type == 2 ? std::int64_t{Word(f + 8)} * 16 : std::int64_t{Word(f + 8)} * 65536;
    return true;
  }
  // The byte count sets the line's length: shorter is a record cut short, longer is not a record.
  const std::size_t need = 10 + 2 * static_cast<std::size_t>(n);
  if (fields < need) return Fail(HexStatus::BadRecord, HexFault::TooShort);
  if (fields > need) return Fail(HexStatus::BadRecord, HexFault::LineTooLong);
  if (type == 3 || type == 5) {
    // Start addresses are not memory contents.
    return AllDigits(f + 8, need - 8) || Fail(HexStatus::BadRecord, HexFault::NotHexDigit);
  }

  const std::int64_t address = base_ + offset;
  const std::int64_t end = address + n;
  // A 0-byte record at address 0 counts as ending at -1 and is refused too.
  if (end < 1) return Fail(HexStatus::BadRecord, HexFault::EmptyRecordAtZero);
  if (end > MaxImageSize)
    return Fail(HexStatus::BadRecord, HexFault::BeyondLargestImage,
                static_cast<std::uint64_t>(std::max<std::int64_t>(address, MaxImageSize)));
  const auto uend = static_cast<std::size_t>(end);
  if (uend > image_.size()) {
    try {
      if (uend > image_.capacity())
        image_.reserve(std::min<std::size_t>(MaxImageSize, std::max(uend, image_.capacity() * 2)));
      image_.resize(uend, 0xFF);
    } catch (const std::bad_alloc&) {
      return Fail(HexStatus::NoMemory, HexFault::NoMemory);
    }
  }
  int sum = n + Byte(f + 2) + Byte(f + 4) + type;
  std::uint8_t* out = image_.data() + address;
  const std::uint8_t* d = f + 8;
  int digits = 0;  // below 0 once a character is not a digit
  for (int i = 0; i < n; ++i, d += 2) {
    const int high = kDigit[d[0]], low = kDigit[d[1]];
    digits |= high | low;
    const int v = 16 * high + low;
    out[i] = static_cast<std::uint8_t>(v);
    sum += v;
  }
  digits |= kDigit[d[0]] | kDigit[d[1]];
  if (digits < 0) return Fail(HexStatus::BadRecord, HexFault::NotHexDigit);
  sum += Byte(d);
  if ((sum & 0xFF) != 0 && askAboutChecksum_) {
    if (!askChecksum_ || !askChecksum_()) return Fail(HexStatus::ChecksumRefused, HexFault::BadChecksum);
    askAboutChecksum_ = false;  // later bad sums of the same file pass silently
  }
  return true;
}

HexStatus HexParser::Finish(std::vector<std::uint8_t>& image) {
  // A last line without its line feed: many tools end the file right after the end record, and
  // such a file must not turn into an image of its characters.
  if (!stopped_ && carryLength_ > 0) {
    const std::size_t length = carryLength_ - 1;
    carryLength_ = 0;
    if (Record(carry_.data() + 1, length)) ++line_;
  }
  if (!stopped_) {
    // The text ended without an end record; no line read at all means there was no text.
    --line_;
    Fail(HexStatus::NotHex, line_ == 0 ? HexFault::Empty : HexFault::NoEndRecord);
  }
  Release(image);
  if (status_ != HexStatus::Ok) return status_;
  image = std::move(image_);
  if (image.capacity() > 2 * image.size() + 4096) {
    try {
      image.shrink_to_fit();
    } catch (const std::bad_alloc&) {
      // keeping the larger block is harmless
    }
  }
  return HexStatus::Ok;
}

HexStatus ParseHexImage(std::span<const std::uint8_t> text, std::vector<std::uint8_t>& image,
                        const ChecksumQuestion& askChecksum, HexFailure* failure) {
  HexParser parser(askChecksum, text.size());
  parser.Feed(text);
  const HexStatus status = parser.Finish(image);
  if (failure) *failure = parser.Failure();
  return status;
}

std::string HexFailureText(const MessageCatalog& catalog, const HexFailure& failure) {
  const auto line = static_cast<unsigned>(failure.line);
  const auto text = [&](int id) { return FormatText(catalog.GetText(id), line); };
  switch (failure.fault) {
    case HexFault::Empty: return catalog.GetText(msg::HexFaultEmpty);
    case HexFault::NoColon: return text(msg::HexFaultNoColon);
    case HexFault::LineTooLong: return text(msg::HexFaultLineTooLong);
    case HexFault::NotHexDigit: return text(msg::HexFaultNotHexDigit);
    case HexFault::TooShort: return text(msg::HexFaultTooShort);
    case HexFault::NoEndRecord: return text(msg::HexFaultNoEndRecord);
    case HexFault::BadChecksum: return text(msg::HexFaultBadChecksum);
    case HexFault::BeyondLargestImage:
      return FormatText(catalog.GetText(msg::HexFaultBeyondLargestImage), line,
                        static_cast<unsigned>(failure.address), unsigned{MaxImageSize});
    case HexFault::EmptyRecordAtZero: return text(msg::HexFaultEmptyRecordAtZero);
    case HexFault::NoMemory: return catalog.GetText(msg::NotEnoughMemory);
    case HexFault::None: break;
  }
  return {};
}

namespace {

bool AskChecksum(OperatorInterface& op, const MessageCatalog& catalog) {
  return op.ShowBox(Box(catalog, catalog.GetText(msg::HexChecksumQuestion), BoxIcon::Question,
                        BoxButtons::YesNo)) == BoxAnswer::Yes;
}

void ShowHexFailure(OperatorInterface& op, const MessageCatalog& catalog, HexStatus status) {
  if (status == HexStatus::BadRecord) op.ShowBox(Box(catalog, catalog.GetText(msg::ErrorInHexFile), BoxIcon::Error));
  if (status == HexStatus::NoMemory) op.ShowBox(Box(catalog, catalog.GetText(msg::NotEnoughMemory), BoxIcon::Error));
}

// Opens an image file for reading. Only a regular file, or a link to one, is opened: a pipe
// would block the reader until someone writes into it and a device would never end. The name
// is checked before anything is opened; the open itself does not block, and what it opened is
// checked again in case the name changed hands in between.
ReadStatus OpenImageFile(const std::string& path, File& file) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return ReadStatus::CannotRead;
  if (!S_ISREG(st.st_mode)) return ReadStatus::Refused;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return ReadStatus::CannotRead;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return S_ISDIR(st.st_mode) ? ReadStatus::CannotRead : ReadStatus::Refused;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* f = ::fdopen(fd, "rb");
  if (!f) {
    ::close(fd);
    return ReadStatus::CannotRead;
  }
  file.reset(f);
  return ReadStatus::Ok;
}

bool NamedHex(std::string_view path) { return EndsWithNoCase(path, ".hex") || EndsWithNoCase(path, ".eep"); }

}  // namespace

bool ParseHex(OperatorInterface& op, const MessageCatalog& catalog, std::span<const std::uint8_t> text,
              std::vector<std::uint8_t>& image) {
  const HexStatus status = ParseHexImage(text, image, [&] { return AskChecksum(op, catalog); });
  ShowHexFailure(op, catalog, status);
  return status == HexStatus::Ok;
}

ReadStatus CopyBinary(OperatorInterface& op, const MessageCatalog& catalog, const std::string& path,
                      std::FILE* file, std::vector<std::uint8_t>& image) {
  bool truncated = false;
  try {
    std::vector<std::uint8_t> bytes;
    if (!ReadRaw(file, bytes, LengthOf(path), truncated)) return ReadStatus::CannotRead;
    image = std::move(bytes);
  } catch (const std::bad_alloc&) {
    op.ShowBox(Box(catalog, catalog.GetText(msg::NotEnoughMemory), BoxIcon::Error));
    return ReadStatus::NoMemory;
  }
  if (truncated) {
    op.ShowBox(Box(catalog,
                   FormatText(catalog.GetText(msg::FileLongerThanLargestImage), path.c_str(), unsigned{MaxImageSize},
                              unsigned{MaxImageSize}),
                   BoxIcon::Warning));
  }
  return ReadStatus::Ok;
}

ReadStatus ReadForMerge(OperatorInterface& op, const MessageCatalog& catalog, const std::string& path,
                        std::vector<std::uint8_t>& image, HexFallback fallback, bool* tookRaw) {
  if (tookRaw) *tookRaw = false;
  File file(nullptr, &std::fclose);
  const auto open = [&] {
    const ReadStatus opened = OpenImageFile(path, file);
    if (opened == ReadStatus::Refused)
      op.ShowBox(Box(catalog, FormatText(catalog.GetText(msg::NotARegularFile), path.c_str()), BoxIcon::Error));
    return opened;
  };
  if (const ReadStatus opened = open(); opened != ReadStatus::Ok) return opened;
  if (!HasBinExtension(path)) {
    // Pieces small enough to stay in the cache while they are parsed.
    constexpr std::size_t kPiece = 1 << 18;
    HexParser parser([&] { return AskChecksum(op, catalog); }, LengthOf(path));
    std::unique_ptr<std::uint8_t[]> piece;
    try {
      piece.reset(new std::uint8_t[kPiece]);
    } catch (const std::bad_alloc&) {
      op.ShowBox(Box(catalog, catalog.GetText(msg::NotEnoughMemory), BoxIcon::Error));
      return ReadStatus::NoMemory;
    }
    for (;;) {
      const std::size_t n = std::fread(piece.get(), 1, kPiece, file.get());
      if (n == 0 || !parser.Feed({piece.get(), n})) break;
    }
    if (std::ferror(file.get())) return ReadStatus::CannotRead;
    const HexStatus status = parser.Finish(image);
    if (status == HexStatus::Ok) return ReadStatus::Ok;
    const HexFailure& failure = parser.Failure();
    // A text that does not even begin as Intel HEX is what a raw file under another name is.
    const bool neverHex = failure.fault == HexFault::Empty || (failure.fault == HexFault::NoColon && failure.line == 1);
    if (fallback == HexFallback::Refuse && status == HexStatus::NoMemory) {
      ShowHexFailure(op, catalog, status);
      return ReadStatus::NoMemory;
    }
    if (fallback == HexFallback::Refuse && (NamedHex(path) || !neverHex)) {
      op.ShowBox(Box(catalog,
                     FormatText(catalog.GetText(msg::HexFileRefused), path.c_str(),
                                HexFailureText(catalog, failure).c_str()),
                     BoxIcon::Error));
      return ReadStatus::Refused;
    }
    ShowHexFailure(op, catalog, status);
    if (tookRaw) *tookRaw = true;
    // Not Intel HEX after all: the same file as raw bytes, from its start.
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
      file.reset();
      if (const ReadStatus reopened = open(); reopened != ReadStatus::Ok) return reopened;
    }
  }
  return CopyBinary(op, catalog, path, file.get(), image);
}

ReadStatus SetFromFileContents(MemoryBuffer& buffer, const std::string& path, bool* tookRaw) {
  std::vector<std::uint8_t> image;
  const ReadStatus status =
      ReadForMerge(*buffer.Operator(), *buffer.Catalog(), path, image,
                   buffer.rawFallback() ? HexFallback::RawBytes : HexFallback::Refuse, tookRaw);
  if (status != ReadStatus::Ok) return status;
  buffer.Clear();
  buffer.data() = std::move(image);
  return ReadStatus::Ok;
}

namespace {

// Two upper-case digits for every byte value: one lookup a byte on the hot path.
constexpr std::array<char, 512> kHexPairs = [] {
  constexpr char digits[] = "0123456789ABCDEF";
  std::array<char, 512> t{};
  for (int v = 0; v < 256; ++v) {
    t[2 * v] = digits[v >> 4];
    t[2 * v + 1] = digits[v & 0xF];
  }
  return t;
}();

// Four digits for every two bytes as they lie in memory: a 256 KiB table that turns the
// writer's main loop into one lookup and one store per two bytes.
const std::uint32_t* PairTable() {
  static const std::unique_ptr<std::uint32_t[]> table = [] {
    std::unique_ptr<std::uint32_t[]> t(new std::uint32_t[65536]);
    for (unsigned first = 0; first < 256; ++first) {
      for (unsigned second = 0; second < 256; ++second) {
        const char digits[4] = {kHexPairs[2 * first], kHexPairs[2 * first + 1], kHexPairs[2 * second],
                                kHexPairs[2 * second + 1]};
        const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second)};
        std::uint16_t key;
        std::memcpy(&key, bytes, 2);
        std::memcpy(&t[key], digits, 4);
      }
    }
    return t;
  }();
  return table.get();
}

// Emits records into a fixed chunk and hands the chunk on when it is nearly full.
class HexWriter {
 public:
  explicit HexWriter(const TextSink& sink)
      : sink_(sink), pairs_(PairTable()), chunk_(new char[kChunk + kLongestRecord]) {}

  // ":02000004HHHHcc" and ":02000002HHHHcc": the upper address bits for what follows.
  bool AddressRecord(unsigned type, unsigned value) {
    Put(":020000");
    Byte(type);
    Byte(value >> 8);
    Byte(value & 0xFF);
    Byte(0x100 - ((2 + type + (value >> 8) + (value & 0xFF)) & 0xFF));
    return EndLine();
  }
  bool DataRecord(unsigned offset, const std::uint8_t* data, unsigned n) {
    *pos_++ = ':';
    Byte(n);
    const std::uint8_t address[2] = {static_cast<std::uint8_t>(offset >> 8), static_cast<std::uint8_t>(offset)};
    Pair(address);
    Put("00");
    unsigned sum = n + address[0] + address[1];
    if (n == 16) {
      for (unsigned i = 0; i < 16; i += 2) sum += Pair(data + i);  // the usual record, unrolled
    } else {
      unsigned i = 0;
      for (; i + 2 <= n; i += 2) sum += Pair(data + i);
      if (i < n) {
        Byte(data[i]);
        sum += data[i];
      }
    }
    Byte(0x100 - (sum & 0xFF));
    return EndLine();
  }
  bool End() {
    Put(":00000001FF");
    return EndLine() && Flush();
  }

 private:
  // Not above the file writer's own buffer, which then takes each chunk without reallocating.
  static constexpr std::size_t kChunk = 1 << 16;
  static constexpr std::size_t kLongestRecord = 64;  // a 16-byte data record is 45 characters

  // Two bytes to four digits; gives their sum.
  unsigned Pair(const std::uint8_t* bytes) {
    std::uint16_t key;
    std::memcpy(&key, bytes, 2);
    std::memcpy(pos_, &pairs_[key], 4);
    pos_ += 4;
    return unsigned{bytes[0]} + bytes[1];
  }
  void Byte(unsigned v) {
    std::memcpy(pos_, &kHexPairs[2 * (v & 0xFF)], 2);
    pos_ += 2;
  }
  template <std::size_t N>
  void Put(const char (&text)[N]) {
    std::memcpy(pos_, text, N - 1);
    pos_ += N - 1;
  }
  bool EndLine() {
    Put("\r\n");
    return Used() + kLongestRecord <= kChunk || Flush();
  }
  std::size_t Used() const { return static_cast<std::size_t>(pos_ - chunk_.get()); }
  bool Flush() {
    const bool ok = Used() == 0 || sink_(std::string_view(chunk_.get(), Used()));
    pos_ = chunk_.get();
    return ok;
  }

  const TextSink& sink_;
  const std::uint32_t* pairs_;
  std::unique_ptr<char[]> chunk_;
  char* pos_ = chunk_.get();
};

}  // namespace

bool WriteHexText(std::span<const std::uint8_t> image, const TextSink& sink) {
  HexWriter w(sink);
  const std::size_t size = image.size();
  const bool linear = size >= kLinearFrom;
  for (std::size_t o = 0; o < size; o += 16) {
    if (o % 65536 == 0) {
      if (linear) {
        if (!w.AddressRecord(4, static_cast<unsigned>(o >> 16))) return false;
      } else if (o != 0 || size >= 65536) {
        // Below 1 MiB this is the single-digit segment record ":02000002d000cc".
        if (!w.AddressRecord(2, static_cast<unsigned>(o >> 4))) return false;
      }
    }
    const auto n = static_cast<unsigned>(std::min<std::size_t>(16, size - o));
    if (!w.DataRecord(static_cast<unsigned>(o & 0xFFFF), image.data() + o, n)) return false;
  }
  return w.End();
}

std::string FormatHex(std::span<const std::uint8_t> image) {
  std::string out;
  WriteHexText(image, [&out](std::string_view chunk) {
    out.append(chunk);
    return true;
  });
  return out;
}

std::uint16_t ImageChecksum(std::span<const std::uint8_t> image) {
  // Eight bytes at a time in four 16-bit lanes; shown after every load of up to 8 MiB.
  constexpr std::uint64_t kLow = 0x00FF00FF00FF00FFull;
  std::uint64_t sum = 0;
  std::size_t i = 0;
  const std::size_t n = image.size();
  while (i + 8 <= n) {
    std::uint64_t lanes = 0;  // each lane gains at most 510 a step: 128 steps fit
    for (int k = 0; k < 128 && i + 8 <= n; ++k, i += 8) {
      std::uint64_t w;
      std::memcpy(&w, image.data() + i, 8);
      lanes += (w & kLow) + ((w >> 8) & kLow);
    }
    sum += (lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) + ((lanes >> 32) & 0xFFFF) + (lanes >> 48);
  }
  for (; i < n; ++i) sum += image[i];
  return static_cast<std::uint16_t>(sum);
}

void PadToWords(std::vector<std::uint8_t>& image) {
  if (image.size() % 2 == 0) return;
  image.reserve(image.size() + 1);  // exactly: a full vector would otherwise double
  image.push_back(0xFF);
}

bool WriteImageFile(OperatorInterface& op, const MessageCatalog& catalog, std::span<const std::uint8_t> image,
                    const std::string& path) {
  bool hex;
  if (HasBinExtension(path)) {
    hex = false;
  } else if (EndsWithNoCase(path, ".hex") || EndsWithNoCase(path, ".eep")) {
    hex = true;
  } else {
    hex = op.ShowBox(Box(catalog, FormatText(catalog.GetText(msg::SaveAsHexQuestion), path.c_str()),
                         BoxIcon::Question, BoxButtons::YesNo)) == BoxAnswer::Yes;
  }
  return WriteImageFileAs(op, catalog, image, path, hex);
}

bool WriteImageFileAs(OperatorInterface& op, const MessageCatalog& catalog, std::span<const std::uint8_t> image,
                      const std::string& path, bool hex) {
  AtomicFile file;
  bool ok = file.Open(path);
  if (ok) {
    if (hex) {
      ok = WriteHexText(image, [&file](std::string_view chunk) { return file.Write(chunk); });
    } else {
      // In pieces the file writer buffers as they are, rather than copying 8 MiB whole.
      constexpr std::size_t kPiece = 1 << 16;
      for (std::size_t o = 0; ok && o < image.size(); o += kPiece)
        ok = file.Write(image.data() + o, std::min(kPiece, image.size() - o));
    }
  }
  if (!ok || !file.Commit()) {
    const int cause = file.ErrorNumber() != 0 ? file.ErrorNumber() : EIO;
    file.Abandon();
    op.ShowBox(Box(catalog,
                   FormatText(catalog.GetText(msg::CannotSaveFileBecause), path.c_str(),
                              FileErrorText(catalog, cause).c_str()),
                   BoxIcon::Error));
    return false;
  }
  return true;
}

std::string SerialSaveProblem(const MessageCatalog& catalog, const std::string& path,
                              std::span<const std::uint8_t> image, std::int32_t address, bool& hex) {
  if (const int problem = AtomicFile::ReplaceProblem(path)) return FileErrorText(catalog, problem);
  std::error_code ec;
  const auto kind = std::filesystem::status(path, ec).type();
  if (kind == std::filesystem::file_type::not_found) return catalog.GetText(msg::FileNoLongerExists);
  if (ec) return FileErrorText(catalog, ec.value());
  if (kind != std::filesystem::file_type::regular) return catalog.GetText(msg::SerialFileNotRegular);

  std::vector<std::uint8_t> text;
  {
    File f = OpenForReading(path);
    if (!f) return FileErrorText(catalog, errno);
    std::uint8_t piece[1 << 16];
    std::size_t n;
    while ((n = std::fread(piece, 1, sizeof piece, f.get())) > 0) text.insert(text.end(), piece, piece + n);
    if (std::ferror(f.get())) return FileErrorText(catalog, EIO);
  }

  // The file must read back in the format the save writes: a text loaded as raw bytes and
  // saved as Intel HEX would lose the file that was there. A bad checksum was accepted when
  // the image was loaded; the image is what is compared.
  std::vector<std::uint8_t> onDisk;
  if (HasBinExtension(path)) {
    hex = false;
    onDisk = std::move(text);
  } else if (ParseHexImage(text, onDisk, [] { return true; }) == HexStatus::Ok) {
    hex = true;
  } else if (EndsWithNoCase(path, ".hex") || EndsWithNoCase(path, ".eep")) {
    return catalog.GetText(msg::SerialFileOtherFormat);
  } else {
    hex = false;  // a name of no known format keeps what the file is
    onDisk = std::move(text);
  }

  // The bytes the increment may change: up to four ending at the address, or at the last
  // byte for an address outside the image.
  const std::size_t n = image.size();
  if (n == 0) return onDisk.empty() ? std::string() : catalog.GetText(msg::SerialFileOtherContents);
  const std::size_t last = (address < 0 || static_cast<std::size_t>(address) >= n) ? n - 1 : address;
  const std::size_t first = last >= 3 ? last - 3 : 0;
  // A Flash image from a file of odd length carries one more byte of 0xFF (PadToWords).
  const bool padded = onDisk.size() % 2 == 1 && n == onDisk.size() + 1 && (image[n - 1] == 0xFF || last == n - 1);
  const bool same = (onDisk.size() == n || padded) &&
                    std::equal(onDisk.begin(), onDisk.begin() + std::min(first, onDisk.size()), image.begin()) &&
                    (last + 1 >= onDisk.size() ||
                     std::equal(onDisk.begin() + last + 1, onDisk.end(), image.begin() + last + 1));
  return same ? std::string() : catalog.GetText(msg::SerialFileOtherContents);
}

bool WriteFile(MemoryBuffer& buffer, const std::string& path) {
  if (!WriteImageFile(*buffer.Operator(), *buffer.Catalog(), buffer.data(), path)) return false;
  buffer.SetModifiedFlag(false);
  if (buffer.Project()) buffer.Project()->ClearModifiedIfClean();
  try {
    buffer.states().assign(buffer.size(), StateSaved);
  } catch (const std::bad_alloc&) {
    Release(buffer.states());  // the file is written; only the colours are lost
  }
  buffer.Changed();
  return true;
}

}  // namespace zr7
