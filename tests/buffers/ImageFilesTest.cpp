// The Intel HEX reader and writer as pure functions: records, addresses, checksums, line rules.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <unistd.h>

#include "text/MessageCatalog.h"
#include "buffers/ImageFiles.h"
#include "buffers/MemoryBuffer.h"

namespace {

namespace fs = std::filesystem;
using zr7::HexStatus;
using Bytes = std::vector<std::uint8_t>;

struct Parsed {
  HexStatus status;
  Bytes image;
  int questions = 0;
  zr7::HexFailure failure;
};

// An exact-size copy of the text, so AddressSanitizer sees any read beyond its end.
Parsed Parse(const std::string& text, bool answerYes = false) {
  const Bytes bytes(text.begin(), text.end());
  Parsed p;
  p.status = zr7::ParseHexImage(
      bytes, p.image,
      [&] {
        ++p.questions;
        return answerYes;
      },
      &p.failure);
  return p;
}

std::string Fixture(const char* name) {
  std::ifstream in(std::string(ZR7_TEST_DATA) + "/" + name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A record with its checksum, as the format defines it.
std::string Record(unsigned type, unsigned offset, const Bytes& data) {
  static const char* digits = "0123456789ABCDEF";
  Bytes all = {static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(offset >> 8),
               static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(type)};
  all.insert(all.end(), data.begin(), data.end());
  unsigned sum = 0;
  std::string line = ":";
  for (std::uint8_t b : all) {
    sum += b;
    line += digits[b >> 4];
    line += digits[b & 15];
  }
  const unsigned check = (0x100 - (sum & 0xFF)) & 0xFF;
  line += digits[check >> 4];
  line += digits[check & 15];
  return line + "\r\n";
}
const std::string kEnd = ":00000001FF\r\n";

Bytes RandomImage(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(random());
  return b;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t lf = text.find('\n', at);
    out.push_back(text.substr(at, lf - at + 1));
    at = lf + 1;
  }
  return out;
}

TEST(ImageFilesRead, PlacesDataAtItsAddressWithErasedBytesBefore) {
  Parsed p = Parse(":0400100001020304E2\r\n:00000001FF\r\n");
  ASSERT_EQ(p.status, HexStatus::Ok);
  ASSERT_EQ(p.image.size(), 20u);
  EXPECT_EQ(Bytes(p.image.begin(), p.image.begin() + 16), Bytes(16, 0xFF));
  EXPECT_EQ(Bytes(p.image.begin() + 16, p.image.end()), (Bytes{1, 2, 3, 4}));

  p = Parse(":020000021000EC\r\n:01000000AA55\r\n" + kEnd);
  ASSERT_EQ(p.image.size(), 65537u);
  EXPECT_EQ(p.image[65536], 0xAA);
  EXPECT_EQ(p.image[65535], 0xFF);

  p = Parse(kEnd);
  EXPECT_EQ(p.status, HexStatus::Ok);
  EXPECT_TRUE(p.image.empty());

  // Whatever follows the end record is never looked at.
  EXPECT_EQ(Parse(Record(0, 0, {7}) + kEnd + "garbage").status, HexStatus::Ok);
  // Plain LF line ends are as good as CR LF.
  EXPECT_EQ(Parse(":0400100001020304E2\n:00000001FF\n").image.size(), 20u);
  // An end record without its line feed still ends the file.
  EXPECT_EQ(Parse(Record(0, 0, {1}) + ":00000001FF").image, Bytes{1});
}

// Other tools write records of up to 255 bytes on request: the line is as long as its count.
TEST(ImageFilesRead, RecordsHoldUpTo255Bytes) {
  for (std::size_t n : {35u, 36u, 64u, 255u}) {
    const Bytes image = RandomImage(3 * n + 7, static_cast<unsigned>(n));
    std::string text;
    for (std::size_t o = 0; o < image.size(); o += n) {
      const Bytes data(image.begin() + o, image.begin() + std::min(o + n, image.size()));
      text += Record(0, static_cast<unsigned>(o), data);
    }
    Parsed p = Parse(text + kEnd);
    ASSERT_EQ(p.status, HexStatus::Ok) << n;
    EXPECT_EQ(p.image, image) << n;
  }
}

TEST(ImageFilesRead, StartAddressRecordsAreNotData) {
  Parsed p = Parse(Fixture("hex-start-address-records.hex"));
  ASSERT_EQ(p.status, HexStatus::Ok);
  EXPECT_EQ(p.image, (Bytes{0x0C, 0x94, 0x34, 0x00, 0x0C, 0x94, 0x46, 0x00}));
  EXPECT_EQ(p.questions, 0);
}

TEST(ImageFilesRead, LinearAddressRecordsSetTheUpperAddressBits) {
  Parsed p = Parse(Fixture("hex-type04-above-1mib.hex"));
  ASSERT_EQ(p.status, HexStatus::Ok);
  ASSERT_EQ(p.image.size(), 0x123459u);
  EXPECT_EQ(Bytes(p.image.begin() + 0x100000, p.image.begin() + 0x100004), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(Bytes(p.image.begin() + 0x123456, p.image.end()), (Bytes{0xA, 0xB, 0xC}));
  EXPECT_EQ(p.image[0xFFFFF], 0xFF);
  EXPECT_EQ(p.image[0x100004], 0xFF);

  // A segment record after a linear one replaces it, as tools mixing both expect.
  p = Parse(Record(4, 0, {0x00, 0x01}) + Record(2, 0, {0x10, 0x00}) + Record(0, 0, {9}) + kEnd);
  ASSERT_EQ(p.image.size(), 0x10001u);
  EXPECT_EQ(p.image[0x10000], 9);
}

TEST(ImageFilesRead, TheImageEndsAtTheLargestImage) {
  const std::string top = Record(4, 0, {0x00, 0x7F});
  Parsed p = Parse(top + Record(0, 0xFFFF, {0x5A}) + kEnd);
  ASSERT_EQ(p.status, HexStatus::Ok);
  ASSERT_EQ(p.image.size(), zr7::MaxImageSize);
  EXPECT_EQ(p.image.back(), 0x5A);
  // A record of no bytes only extends the image (at address 0 it is refused, below).
  EXPECT_EQ(Parse(Record(0, 16, {}) + kEnd).image, Bytes(16, 0xFF));
}

TEST(ImageFilesRead, ABadChecksumIsAskedAboutOncePerFile) {
  const std::string text = Fixture("hex-two-bad-checksums.hex");
  Parsed yes = Parse(text, true);
  ASSERT_EQ(yes.status, HexStatus::Ok);
  EXPECT_EQ(yes.questions, 1);
  EXPECT_EQ(yes.image, (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));

  Parsed no = Parse(text, false);
  EXPECT_EQ(no.status, HexStatus::ChecksumRefused);
  EXPECT_EQ(no.questions, 1);
  EXPECT_TRUE(no.image.empty());
}

// What is wrong and on which line, for the message that refuses the file. Not beginning as a
// record, too long a line or a missing end record are silent (NotHex); a broken record is a
// format error; every character of a field must be a hexadecimal digit, even when the sum adds up.
TEST(ImageFilesRead, EachFaultIsNamedWithItsLine) {
  using F = zr7::HexFault;
  const std::string one = Record(0, 0, {1});
  const struct {
    std::string text;
    HexStatus status;
    F fault;
    std::size_t line;
    std::uint64_t address = 0;
  } cases[] = {
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
  };
  for (const auto& c : cases) {
    Parsed p = Parse(c.text);
    EXPECT_EQ(p.status, c.status) << c.text;
    EXPECT_EQ(p.failure.fault, c.fault) << c.text;
    EXPECT_EQ(p.failure.line, c.line) << c.text;
    EXPECT_EQ(p.failure.address, c.address) << c.text;
    EXPECT_EQ(p.questions, c.fault == F::BadChecksum ? 1 : 0) << c.text;
    EXPECT_TRUE(p.image.empty()) << c.text;
  }
}

TEST(ImageFilesRead, TextInPiecesGivesWhatTheWholeTextGives) {
  const Bytes image = RandomImage(70000, 1);
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
  const Bytes longest = RandomImage(255, 2);
  for (const std::string& text : {Record(0, 0, longest) + kEnd, ":" + std::string(600, '0') + "\r\n" + kEnd}) {
    zr7::HexParser parser(nullptr);
    for (char c : text) parser.Feed(std::span(reinterpret_cast<const std::uint8_t*>(&c), 1));
    Bytes out;
    const bool valid = text.size() < 600;
    EXPECT_EQ(parser.Finish(out), valid ? HexStatus::Ok : HexStatus::NotHex);
    EXPECT_EQ(out, valid ? longest : Bytes{});
  }
}

// The status line's checksum is summed eight bytes at a time: every length, also those that
// end inside or just after a block of eight, must give the plain sum of the bytes.
TEST(ImageFilesRead, ChecksumIsThePlainSumModulo65536) {
  std::mt19937 random(7);
  for (const std::size_t n : {0u, 1u, 7u, 8u, 9u, 1023u, 1024u, 1025u, 8200u, 70000u}) {
    Bytes image(n);
    for (auto& b : image) b = static_cast<std::uint8_t>(random());
    std::uint32_t sum = 0;
    for (const std::uint8_t b : image) sum += b;
    EXPECT_EQ(zr7::ImageChecksum(image), static_cast<std::uint16_t>(sum)) << n << " bytes";
  }
}

// Only a name ending in ".bin", in any letter case, is read as raw bytes without a try as HEX.
TEST(ImageFilesRead, BinExtensionDecidesTheReader) {
  for (const char* name : {"a.bin", "A.BIN", ".bin", "x.Bin"}) EXPECT_TRUE(zr7::HasBinExtension(name)) << name;
  for (const char* name : {"bin", "in", "", "a.bin.hex", "abin", "a.bi"}) EXPECT_FALSE(zr7::HasBinExtension(name)) << name;
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
  std::vector<std::string> lines = Lines(zr7::FormatHex(Bytes(65537, 0xAB)));
  EXPECT_EQ(lines.front(), ":020000020000FC\r\n");
  ASSERT_EQ(lines.size(), 1 + 4096 + 2 + 1u);
  EXPECT_EQ(lines[4097], ":020000021000EC\r\n");
  EXPECT_EQ(lines[4098], ":01000000AB54\r\n");

  lines = Lines(zr7::FormatHex(Bytes((1u << 20) - 16, 0)));
  EXPECT_EQ(std::count(lines.begin(), lines.end(), ":02000002F0000C\r\n"), 1);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](auto& l) { return l.rfind(":02000004", 0) == 0; }), 0);

  lines = Lines(zr7::FormatHex(Bytes((1u << 20) + 1, 0)));
  EXPECT_EQ(lines.front(), ":020000040000FA\r\n");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), ":020000040010EA\r\n"), 1);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](auto& l) { return l.rfind(":02000002", 0) == 0; }), 0);
}

TEST(ImageFilesWrite, EverySizeReadsBackUnchanged) {
  for (std::size_t n : {1u, 15u, 16u, 17u, 65535u, 65536u, 65537u, (1u << 20) - 1, 1u << 20, (1u << 20) + 17}) {
    const Bytes image = RandomImage(n, static_cast<unsigned>(n));
    Parsed p = Parse(zr7::FormatHex(image));
    ASSERT_EQ(p.status, HexStatus::Ok) << n;
    EXPECT_EQ(p.image, image) << n;
    EXPECT_EQ(p.questions, 0) << n;
  }
}

// A serial-number save may change the number's bytes only: the file is read back in the
// format the save writes and compared with the image outside those bytes.
TEST(ImageFilesWrite, SerialSaveChangesNothingButTheNumber) {
  const fs::path dir = fs::temp_directory_path() / ("zr7-serial-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  Bytes image = RandomImage(64, 3);
  image[63] = 0xFF;
  Bytes before = image;  // the number is the four bytes 7..10 ending at address 10
  for (int i = 7; i <= 10; ++i) before[i] = 0;
  Bytes changed = before;
  changed[20] ^= 1;
  std::string badSum = zr7::FormatHex(before);
  badSum[42] = badSum[42] == '0' ? '1' : '0';  // the first record's checksum
  const std::string text = "firmware 1.0 as text\n";
  const struct {
    const char* name;
    std::string onDisk;
    Bytes image;
    int cause;  // 0: may be saved
    bool hex;
  } cases[] = {
      {"serial.bin", std::string(before.begin(), before.end()), image, 0, false},
      {"serial.hex", zr7::FormatHex(before), image, 0, true},
      {"badsum.eep", badSum, image, 0, true},
      {"serial.dat", zr7::FormatHex(before), image, 0, true},
      {"raw.dat", std::string(before.begin(), before.end()), image, 0, false},
      {"odd.bin", std::string(before.begin(), before.end() - 1), image, 0, false},  // padded on load
      {"text.hex", text, Bytes(text.begin(), text.end()), zr7::msg::SerialFileOtherFormat, false},
      {"changed.bin", std::string(changed.begin(), changed.end()), image, zr7::msg::SerialFileOtherContents, false},
      {"short.bin", std::string(before.begin(), before.end() - 2), image, zr7::msg::SerialFileOtherContents, false},
      {"locked.bin", std::string(before.begin(), before.end()), image, zr7::msg::FileErrorNoPermission, false},
      {"gone.bin", "", image, zr7::msg::FileNoLongerExists, false},
  };
  zr7::LanguageSettings language;
  zr7::MessageCatalog catalog(language);
  for (const auto& c : cases) {
    const fs::path path = dir / c.name;
    if (c.cause != zr7::msg::FileNoLongerExists) std::ofstream(path, std::ios::binary) << c.onDisk;
    if (c.cause == zr7::msg::FileErrorNoPermission) fs::permissions(path, fs::perms::owner_read);
    bool hex = !c.hex;
    const std::string problem = zr7::SerialSaveProblem(catalog, path.string(), c.image, 10, hex);
    EXPECT_EQ(problem, c.cause ? catalog.GetText(c.cause) : "") << c.name;
    if (c.cause == 0) {
      EXPECT_EQ(hex, c.hex) << c.name;
    }
  }
  fs::remove_all(dir);
}

}  // namespace
