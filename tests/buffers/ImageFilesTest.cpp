// The Intel HEX reader and writer as pure functions: records, addresses, checksums, line rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "text/MessageCatalog.h"
#include "support/TempFolder.h"
#include "buffers/ImageFiles.h"
#include "buffers/MemoryBuffer.h"

namespace {

using zr7::HexStatus;
using Bytes = std::vector<std::uint8_t>;
using zr7test::RandomBytes;

struct Parsed { HexStatus status; Bytes image; int questions = 0; zr7::HexFailure failure; };

// An exact-size copy of the text, so AddressSanitizer sees any read beyond its end.
Parsed Parse(const std::string& text, bool answerYes = false) {
  const Bytes bytes(text.begin(), text.end());
  Parsed p;
  p.status = zr7::ParseHexImage(bytes, p.image, [&] { return ++p.questions, answerYes; }, &p.failure);
  return p;
}

std::string Fixture(const char* name) { return zr7test::ReadFile(std::string(ZR7_TEST_DATA) + "/" + name); }

// A record with its checksum, as the format defines it.
std::string Record(unsigned type, unsigned offset, const Bytes& data) {
  static const char* digits = "0123456789ABCDEF";
  Bytes all = {static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(offset >> 8),
               static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(type)};
  all.insert(all.end(), data.begin(), data.end());
  all.push_back(0);
  for (std::size_t i = 0; i + 1 < all.size(); ++i) all.back() = static_cast<std::uint8_t>(all.back() - all[i]);
  std::string line = ":";
  for (std::uint8_t b : all) line += {digits[b >> 4], digits[b & 15]};
  return line + "\r\n";
}
const std::string kEnd = ":00000001FF\r\n";

TEST(ImageFilesRead, DataLandsAtItsAddressOverErasedBytes) {
  struct Piece { std::size_t at; Bytes bytes; };
  const std::string top = Record(4, 0, {0x00, 0x7F});
  const struct { const char* what; std::string text; std::size_t size; std::vector<Piece> pieces; int questions = 0; }
      cases[] = {
      {"offset", ":0400100001020304E2\r\n" + kEnd, 20, {{16, {1, 2, 3, 4}}}},
      {"LF line ends", ":0400100001020304E2\n:00000001FF\n", 20, {{16, {1, 2, 3, 4}}}},
      {"segment record", ":020000021000EC\r\n:01000000AA55\r\n" + kEnd, 65537, {{65536, {0xAA}}}},
      {"nothing but the end", kEnd, 0, {}},
      {"text after the end is never looked at", Record(0, 0, {7}) + kEnd + "garbage", 1, {{0, {7}}}},
      {"end record without its line feed", Record(0, 0, {1}) + ":00000001FF", 1, {{0, {1}}}},
      {"start address records are not data", Fixture("hex-start-address-records.hex"), 8,
       {{0, {0x0C, 0x94, 0x34, 0x00, 0x0C, 0x94, 0x46, 0x00}}}},
      {"linear records above 1 MiB", Fixture("hex-type04-above-1mib.hex"), 0x123459,
       {{0x100000, {1, 2, 3, 4}}, {0x123456, {0xA, 0xB, 0xC}}}},
      // As tools mixing both expect.
      {"a segment record after a linear one replaces it",
       Record(4, 0, {0x00, 0x01}) + Record(2, 0, {0x10, 0x00}) + Record(0, 0, {9}) + kEnd, 0x10001, {{0x10000, {9}}}},
      {"the last byte of the largest image", top + Record(0, 0xFFFF, {0x5A}) + kEnd, zr7::MaxImageSize,
       {{zr7::MaxImageSize - 1, {0x5A}}}},
      {"a record of no bytes only extends the image", Record(0, 16, {}) + kEnd, 16, {}},
      {"bad checksums asked about once per file, answered Yes", Fixture("hex-two-bad-checksums.hex"), 12,
       {{0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes want(c.size, 0xFF);
    for (const Piece& p : c.pieces) std::copy(p.bytes.begin(), p.bytes.end(), want.begin() + p.at);
    const Parsed p = Parse(c.text, true);
    ASSERT_EQ(p.status, HexStatus::Ok);
    EXPECT_EQ(p.image.size(), want.size());
    EXPECT_TRUE(p.image == want);
    EXPECT_EQ(p.questions, c.questions);
  }
}

// Other tools write records of up to 255 bytes on request: the line is as long as its count.
TEST(ImageFilesRead, RecordsHoldUpTo255Bytes) {
  for (std::size_t n : {35u, 36u, 64u, 255u}) {
    const Bytes image = RandomBytes(3 * n + 7, static_cast<unsigned>(n));
    std::string text;
    for (std::size_t o = 0; o < image.size(); o += n)
      text += Record(0, static_cast<unsigned>(o),
                     Bytes(image.begin() + o, image.begin() + std::min(o + n, image.size())));
    const Parsed p = Parse(text + kEnd);
    ASSERT_EQ(p.status, HexStatus::Ok) << n;
    EXPECT_EQ(p.image, image) << n;
  }
}

// What is wrong and on which line, for the message that refuses the file. Not beginning as a
// record, too long a line or a missing end record are silent (NotHex); a broken record is a
// format error; every character of a field must be a hexadecimal digit, even when the sum adds up.
TEST(ImageFilesRead, EachFaultIsNamedWithItsLine) {
  using F = zr7::HexFault;
  const std::string one = Record(0, 0, {1});
  const struct { std::string text; HexStatus status; F fault; std::size_t line; std::uint64_t address = 0; } cases[] = {
      {"", HexStatus::NotHex, F::Empty, 0},
      {"\r\n" + kEnd, HexStatus::NotHex, F::NoColon, 1},
      {one + "garbage\n", HexStatus::NotHex, F::NoColon, 2},
      {one, HexStatus::NotHex, F::NoEndRecord, 1},
      {one + ":0100010002FC", HexStatus::NotHex, F::NoEndRecord, 2},  // an unended data line
      {":" + std::string(600, '0') + "\r\n", HexStatus::NotHex, F::LineTooLong, 1},
      {one + ":0100000001FE00\r\n" + kEnd, HexStatus::BadRecord, F::LineTooLong, 2},
      {":0400000001020304\r\n" + kEnd, HexStatus::BadRecord, F::TooShort, 1},
      {":04000000010203\r\n" + kEnd, HexStatus::BadRecord, F::TooShort, 1},
      {":02000002\r\n" + kEnd, HexStatus::BadRecord, F::TooShort, 1},
      {":0200000410\r\n" + kEnd, HexStatus::BadRecord, F::TooShort, 1},
      {":020000\r\n" + kEnd, HexStatus::BadRecord, F::TooShort, 1},
      {":\r\n" + kEnd, HexStatus::BadRecord, F::TooShort, 1},
      {":0400000301020304\r\n" + kEnd, HexStatus::BadRecord, F::TooShort, 1},
      {":ZZ000000\r\n" + kEnd, HexStatus::BadRecord, F::NotHexDigit, 1},
      {":01000000ZZ00\r\n" + kEnd, HexStatus::BadRecord, F::NotHexDigit, 1},
      {":01000000G00F\r\n" + kEnd, HexStatus::BadRecord, F::NotHexDigit, 1},  // G0 as 0xF0 sums to 0
      {":0200000410G0\r\n" + kEnd, HexStatus::BadRecord, F::NotHexDigit, 1},
      {one + Record(4, 0, {0x00, 0x7F}) + Record(0, 0xFFFF, {1, 2}) + kEnd, HexStatus::BadRecord,
       F::BeyondLargestImage, 3, 0x800000},
      {Record(4, 0, {0x80, 0x00}) + one + kEnd, HexStatus::BadRecord, F::BeyondLargestImage, 2, 0x80000000},
      {":0000000000\r\n", HexStatus::BadRecord, F::EmptyRecordAtZero, 1},
      {one + ":0100010002FF\r\n" + kEnd, HexStatus::ChecksumRefused, F::BadChecksum, 2},
      {Fixture("hex-two-bad-checksums.hex"), HexStatus::ChecksumRefused, F::BadChecksum, 1},  // asked once
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 80));
    const Parsed p = Parse(c.text);
    EXPECT_EQ(std::tuple(p.status, p.failure.fault, p.failure.line, p.failure.address),
              std::tuple(c.status, c.fault, c.line, c.address));
    EXPECT_EQ(p.questions, c.fault == F::BadChecksum ? 1 : 0);
    EXPECT_TRUE(p.image.empty());
  }
}

TEST(ImageFilesRead, TextInPiecesGivesWhatTheWholeTextGives) {
  const Bytes image = RandomBytes(70000, 1);
  std::string text = zr7::FormatHex(image);
  text.insert(text.find(":020000021000EC"), Record(5, 0, {0, 0, 1, 2}));
  const Bytes bytes(text.begin(), text.end());
  for (std::size_t step : {std::size_t{1}, std::size_t{2}, std::size_t{44}, std::size_t{45}, std::size_t{4093}}) {
    zr7::HexParser parser(nullptr, bytes.size());
    for (std::size_t at = 0; at < bytes.size(); at += step)
      parser.Feed(std::span(bytes).subspan(at, std::min(step, bytes.size() - at)));
    Bytes out;
    ASSERT_EQ(parser.Finish(out), HexStatus::Ok) << step;
    EXPECT_EQ(out, image) << step;
  }
  // A line carried from piece to piece may be as long as the longest record, and no longer.
  const Bytes longest = RandomBytes(255, 2);
  for (const std::string& text : {Record(0, 0, longest) + kEnd, ":" + std::string(600, '0') + "\r\n" + kEnd}) {
    zr7::HexParser parser(nullptr);
    for (char c : text) parser.Feed(std::span(reinterpret_cast<const std::uint8_t*>(&c), 1));
    Bytes out;
    const bool valid = text.size() < 600;
    EXPECT_EQ(parser.Finish(out), valid ? HexStatus::Ok : HexStatus::NotHex);
    EXPECT_EQ(out, valid ? longest : Bytes{});
  }
}

// The status line's checksum is summed eight bytes at a time in 16-bit lanes: every length,
// also those that end inside or just after a block of eight, must give the plain sum, and no
// lane may overflow before it is folded in, even when every byte is 0xFF.
TEST(ImageFilesRead, ChecksumIsThePlainSumModulo65536) {
  std::mt19937 random(7);
  for (const std::size_t n : {0u, 1u, 7u, 8u, 9u, 258u, 1023u, 1024u, 1025u, 8200u, 65541u, 100003u,
                              zr7::MaxImageSize - 1})
    for (bool erased : {false, true}) {
      Bytes image(n, 0xFF);
      if (!erased) std::generate(image.begin(), image.end(), [&] { return static_cast<std::uint8_t>(random()); });
      std::uint32_t sum = 0;
      for (const std::uint8_t b : image) sum += b;
      EXPECT_EQ(zr7::ImageChecksum(image), static_cast<std::uint16_t>(sum)) << n << " bytes, erased " << erased;
    }
}

// Only a name ending in ".bin", in any letter case, is read as raw bytes without a try as HEX.
TEST(ImageFilesRead, BinExtensionDecidesTheReader) {
  for (const char* name : {"a.bin", "A.BIN", ".bin", "x.Bin"}) EXPECT_TRUE(zr7::HasBinExtension(name)) << name;
  for (const char* name : {"bin", "in", "", "a.bin.hex", "abin", "a.bi"})
    EXPECT_FALSE(zr7::HasBinExtension(name)) << name;
}

TEST(ImageFilesWrite, SmallImagesHaveDataRecordsOnly) {
  Bytes image(20);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(zr7::FormatHex(image),
            ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
            ":0400100010111213A6\r\n"
            ":00000001FF\r\n");
  EXPECT_EQ(zr7::FormatHex({}), kEnd);
}

TEST(ImageFilesWrite, SegmentRecordsBelowOneMebibyteAndLinearRecordsFromThere) {
  const auto lines = [](std::size_t n) {
    std::vector<std::string> out;
    std::istringstream text(zr7::FormatHex(Bytes(n, 0xAB)));
    for (std::string line; std::getline(text, line);) out.push_back(line + "\n");
    return out;
  };
  const auto count = [](const std::vector<std::string>& in, std::string_view start) {
    return std::count_if(in.begin(), in.end(), [&](const std::string& l) { return l.starts_with(start); });
  };
  std::vector<std::string> l = lines(65537);
  EXPECT_EQ(l.front(), ":020000020000FC\r\n");
  ASSERT_EQ(l.size(), 1 + 4096 + 2 + 1u);
  EXPECT_EQ(l[4097], ":020000021000EC\r\n");
  EXPECT_EQ(l[4098], ":01000000AB54\r\n");

  l = lines((1u << 20) - 16);
  EXPECT_EQ(count(l, ":02000002F0000C\r\n"), 1);
  EXPECT_EQ(count(l, ":02000004"), 0);

  l = lines((1u << 20) + 1);
  EXPECT_EQ(l.front(), ":020000040000FA\r\n");
  EXPECT_EQ(count(l, ":020000040010EA\r\n"), 1);
  EXPECT_EQ(count(l, ":02000002"), 0);
}

TEST(ImageFilesWrite, EverySizeReadsBackUnchanged) {
  for (std::size_t n : {1u, 15u, 16u, 17u, 65535u, 65536u, 65537u, (1u << 20) - 1, 1u << 20, (1u << 20) + 17}) {
    const Bytes image = RandomBytes(n, static_cast<unsigned>(n));
    const Parsed p = Parse(zr7::FormatHex(image));
    ASSERT_EQ(p.status, HexStatus::Ok) << n;
    EXPECT_EQ(p.image, image) << n;
    EXPECT_EQ(p.questions, 0) << n;
  }
}

// A serial-number save may change the number's bytes only: the file is read back in the
// format the save writes and compared with the image outside those bytes.
TEST(ImageFilesWrite, SerialSaveChangesNothingButTheNumber) {
  zr7test::TempFolder dir;
  Bytes image = RandomBytes(64, 3);
  image[63] = 0xFF;
  Bytes before = image;  // the number is the four bytes 7..10 ending at address 10
  std::fill(before.begin() + 7, before.begin() + 11, 0);
  Bytes changed = before;
  changed[20] ^= 1;
  std::string badSum = zr7::FormatHex(before);
  badSum[42] = badSum[42] == '0' ? '1' : '0';  // the first record's checksum
  Bytes beforeEnd = image;  // an address past the image counts in the last four bytes
  std::fill(beforeEnd.begin() + 60, beforeEnd.end(), 0);
  const std::string raw(before.begin(), before.end()), text = "firmware 1.0 as text\n";
  // Each file on disk, the image to save over it, why not (0: it may be saved), in which
  // format, and where the number ends.
  const struct { const char* name; std::string onDisk; Bytes image; int cause; bool hex; int address = 10; } cases[] = {
      {"serial.bin", raw, image, 0, false},
      {"serial.hex", zr7::FormatHex(before), image, 0, true},
      {"badsum.eep", badSum, image, 0, true},
      {"serial.dat", zr7::FormatHex(before), image, 0, true},
      {"raw.dat", raw, image, 0, false},
      {"odd.bin", raw.substr(0, 63), image, 0, false},  // padded on load
      {"text.hex", text, Bytes(text.begin(), text.end()), zr7::msg::SerialFileOtherFormat, false},
      {"changed.bin", std::string(changed.begin(), changed.end()), image, zr7::msg::SerialFileOtherContents, false},
      {"short.bin", raw.substr(0, 62), image, zr7::msg::SerialFileOtherContents, false},
      {"locked.bin", raw, image, zr7::msg::FileErrorNoPermission, false},
      {"gone.bin", "", image, zr7::msg::FileNoLongerExists, false},
      {"end.bin", std::string(beforeEnd.begin(), beforeEnd.end()), image, 0, false, 64},
      {"before.bin", std::string(beforeEnd.begin(), beforeEnd.end()), image, 0, false, -1},
  };
  zr7::LanguageSettings language;
  zr7::MessageCatalog catalog(language);
  for (const auto& c : cases) {
    const std::string path = dir / c.name;
    if (c.cause != zr7::msg::FileNoLongerExists) dir.File(c.name, c.onDisk);
    if (c.cause == zr7::msg::FileErrorNoPermission) {
      std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    }
    bool hex = !c.hex;
    EXPECT_EQ(zr7::SerialSaveProblem(catalog, path, c.image, c.address, hex), c.cause ? catalog.GetText(c.cause) : "")
        << c.name;
    if (c.cause == 0) {
      EXPECT_EQ(hex, c.hex) << c.name;
    }
  }
}

}  // namespace
