#include "buffers/ImageFiles.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

#include "app/MessageCatalog.h"
#include "app/OperatorInterface.h"
#include "buffers/MemoryBuffer.h"
#include "util/AtomicFile.h"

namespace zr7 {

namespace {

// Below this an image keeps the single-digit segment records; from here on they would need
// two digits, so linear address records take over.
constexpr std::uint32_t kLinearFrom = 1u << 20;

constexpr std::array<std::int8_t, 256> kDigit = [] {
  std::array<std::int8_t, 256> t{};
  t.fill(-1);  // a non-digit takes part in the arithmetic as -1
  for (int c = '0'; c <= '9'; ++c) t[c] = static_cast<std::int8_t>(c - '0');
  for (int c = 'a'; c <= 'f'; ++c) t[c] = static_cast<std::int8_t>(c - 'a' + 10);
  for (int c = 'A'; c <= 'F'; ++c) t[c] = static_cast<std::int8_t>(c - 'A' + 10);
  return t;
}();

inline int Byte(const std::uint8_t* p) { return 16 * kDigit[p[0]] + kDigit[p[1]]; }
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
    Stop(HexStatus::NoMemory);
  }
}

bool HexParser::Stop(HexStatus status) {
  stopped_ = true;
  status_ = status;
  if (status != HexStatus::Ok) Release(image_);
  return false;
}

bool HexParser::Feed(std::span<const std::uint8_t> piece) {
  if (stopped_) return false;
  const std::uint8_t* p = piece.data();
  const std::uint8_t* const end = p + piece.size();
  if (carryLength_ > 0) {
    // Finish the line the last piece ended in: at most kMaxLine characters after its ':'.
    const std::size_t room = kMaxLine + 2 - carryLength_;  // characters still allowed, then the LF
    const std::size_t scan = std::min<std::size_t>(static_cast<std::size_t>(end - p), room);
    const auto* lf = static_cast<const std::uint8_t*>(std::memchr(p, '\n', scan));
    if (!lf) {
      if (scan == room) return Stop(HexStatus::NotHex);
      std::memcpy(carry_.data() + carryLength_, p, scan);
      carryLength_ += scan;
      return true;
    }
    const auto take = static_cast<std::size_t>(lf - p);
    std::memcpy(carry_.data() + carryLength_, p, take);
    const std::size_t length = carryLength_ - 1 + take;
    carryLength_ = 0;
    if (!Record(carry_.data() + 1, length)) return false;
    p = lf + 1;
  }
  while (p != end) {
    if (*p != ':') return Stop(HexStatus::NotHex);
    const std::uint8_t* const fields = p + 1;
    const auto avail = static_cast<std::size_t>(end - fields);
    const auto* lf = static_cast<const std::uint8_t*>(std::memchr(fields, '\n', std::min(avail, kMaxLine + 1)));
    if (!lf) {
      if (avail > kMaxLine) return Stop(HexStatus::NotHex);
      std::memcpy(carry_.data(), p, avail + 1);  // the line goes on in the next piece
      carryLength_ = avail + 1;
      return true;
    }
    if (!Record(fields, static_cast<std::size_t>(lf - fields))) return false;
    p = lf + 1;
  }
  return true;
}

// One line without its line feed; false when the outcome is known.
bool HexParser::Record(const std::uint8_t* f, std::size_t fields) {
  if (fields > 0 && f[fields - 1] == '\r') --fields;
  if (fields < 8) return Stop(HexStatus::BadRecord);
  const int n = Byte(f);
  if (n < 0) return Stop(HexStatus::BadRecord);
  const int offset = Word(f + 2);
  const int type = Byte(f + 6);
  if (type == 1) return Stop(HexStatus::Ok);  // nothing after the end record is read
  if (type == 2 || type == 4) {
    // Address records: their count and checksum are not examined, as ever for type 02.
    if (fields < 12) return Stop(HexStatus::BadRecord);
    base_ = type == 2 ? std::int64_t{Word(f + 8)} * 16 : std::int64_t{Word(f + 8)} * 65536;
    return true;
  }
  if (fields < 10 + 2 * static_cast<std::size_t>(n)) return Stop(HexStatus::BadRecord);
  if (type == 3 || type == 5) return true;  // start addresses are not memory contents

  const std::int64_t address = base_ + offset;
  const std::int64_t end = address + n;
  // A 0-byte record at address 0 counts as ending at -1 and is refused too.
  if (address < 0 || end < 1 || end > MaxImageSize) return Stop(HexStatus::BadRecord);
  const auto uend = static_cast<std::size_t>(end);
  if (uend > image_.size()) {
    try {
      if (uend > image_.capacity())
        image_.reserve(std::min<std::size_t>(MaxImageSize, std::max(uend, image_.capacity() * 2)));
      image_.resize(uend, 0xFF);
    } catch (const std::bad_alloc&) {
      return Stop(HexStatus::NoMemory);
    }
  }
  int sum = n + Byte(f + 2) + Byte(f + 4) + type;
  std::uint8_t* out = image_.data() + address;
  const std::uint8_t* d = f + 8;
  for (int i = 0; i < n; ++i, d += 2) {
    const int v = Byte(d);
    out[i] = static_cast<std::uint8_t>(v);
    sum += v;
  }
  sum += Byte(d);
  if ((sum & 0xFF) != 0 && askAboutChecksum_) {
    if (!askChecksum_ || !askChecksum_()) return Stop(HexStatus::ChecksumRefused);
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
    Record(carry_.data() + 1, length);
  }
  if (!stopped_) Stop(HexStatus::NotHex);  // the text ended without an end record
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
                        const ChecksumQuestion& askChecksum) {
  HexParser parser(askChecksum, text.size());
  parser.Feed(text);
  return parser.Finish(image);
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
                        std::vector<std::uint8_t>& image) {
  File file = OpenForReading(path);
  if (!file) return ReadStatus::CannotRead;
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
    ShowHexFailure(op, catalog, status);
    // Not Intel HEX after all: the same file as raw bytes, from its start.
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
      file = OpenForReading(path);
      if (!file) return ReadStatus::CannotRead;
    }
  }
  return CopyBinary(op, catalog, path, file.get(), image);
}

ReadStatus SetFromFileContents(MemoryBuffer& buffer, const std::string& path) {
  std::vector<std::uint8_t> image;
  const ReadStatus status = ReadForMerge(*buffer.Operator(), *buffer.Catalog(), path, image);
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
    file.Abandon();
    op.ShowBox(Box(catalog, catalog.GetText(msg::CannotSaveFile), BoxIcon::Error));
    return false;
  }
  return true;
}

bool WriteFile(MemoryBuffer& buffer, const std::string& path) {
  if (!WriteImageFile(*buffer.Operator(), *buffer.Catalog(), buffer.data(), path)) return false;
  buffer.SetModifiedFlag(false);
  if (buffer.Project()) buffer.Project()->ClearModifiedIfClean();
  buffer.RefreshView();
  try {
    buffer.states().assign(buffer.size(), StateSaved);
  } catch (const std::bad_alloc&) {
    Release(buffer.states());  // the file is written; only the colours are lost
  }
  buffer.UpdateLabel();
  return true;
}

}  // namespace zr7
