// The device table as data: a self-check that walks every row, facts from the data sheets for
// chips of each family, and the lookups.

#include "devices/DeviceTable.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "lockfuse/LockFuseLayout.h"

namespace zr7 {
namespace {

using Signature = std::array<std::uint8_t, 3>;

Signature Sig(std::uint32_t v) { return {std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)}; }

std::string Hex(const Signature& s) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X%02X", s[0], s[1], s[2]);
  return text;
}

std::string Row(int i) { return "row " + std::to_string(i) + " (" + std::string(DeviceTable()[i].Name) + ")"; }

std::set<Signature> Accepted(const DeviceRecord& r) {
  std::set<Signature> out = {r.Signature, r.AltSignature};
  if (r.ExtraSignature) out.insert(*r.ExtraSignature);
  return out;
}

// The chip answers its signature over SPI, so the table must hold the manufacturer's.
bool SignatureReadable(const DeviceRecord& r) {
  return (r.ProgrammingClass == ClassAvr && r.Family != DeviceFamily::At45) || r.ProgrammingClass == ClassAt89S4Byte;
}

// Every row in device-number order, which project files store, with the signatures the chip
// answers (the data sheets'; 000000 and 00FF00 where none can be read): a wrong byte would
// refuse the real chip.
TEST(DeviceTable, RowsInDeviceNumberOrderWithTheirSignatures) {
  const std::pair<const char*, std::vector<std::uint32_t>> rows[DeviceCount] = {
      {"ATtiny12", {0x1E9005}}, {"ATtiny13", {0x1E9007}}, {"ATtiny15", {0x1E9006}}, {"ATtiny2313", {0x1E910A}},
      {"ATtiny26", {0x1E9109}}, {"AT90S2313", {0x1E9101}}, {"AT90S8515", {0x1E9301}}, {"ATmega48", {0x1E9205}},
      {"ATmega8", {0x1E9307}}, {"ATmega88", {0x1E930A}}, {"ATmega8515", {0x1E9306}}, {"ATmega8535", {0x1E9308}},
      {"ATmega16", {0x1E9403}}, {"ATmega161", {0x1E9401}}, {"ATmega162", {0x1E9404}}, {"ATmega165", {0x1E9407}},
      {"ATmega168", {0x1E9406}}, {"ATmega169", {0x1E9405}}, {"ATmega32", {0x1E9502}},
      {"ATmega325/3250", {0x1E9505, 0x1E9506}}, {"ATmega64", {0x1E9602}}, {"ATmega644", {0x1E9607, 0x1E9609}},
      {"ATmega645/6450", {0x1E9605, 0x1E9606}}, {"ATmega128", {0x1E9702, 0x1E0102}},
      {"ATmega2560/2561", {0x1E9802, 0x1E0103, 0x1E9801}}, {"AT89S2051", {0x1E23FF}}, {"AT89S4051", {0x1E43FF}},
      {"AT89S51", {0x1E5106}}, {"AT89S52", {0x1E5206}}, {"AT89S8252", {0x00FF00}}, {"AT89S53", {0x00FF00}},
      {"AT86RF401", {0x1E9181}}, {"AT25256", {0}}, {"AT25HP256", {0}}, {"AT25HP512", {0}}, {"AT90CAN128", {0x1E9781}},
      {"AT45DB041", {0}}, {"AT45DB081", {0}}, {"AT45DB161", {0}}, {"AT45DB321", {0}}, {"AT45DB642", {0}}};
  for (int i = 0; i < DeviceCount; ++i) {
    EXPECT_EQ(DeviceTable()[i].Name, rows[i].first) << "row " << i;
    std::set<Signature> signatures;
    for (std::uint32_t v : rows[i].second) signatures.insert(Sig(v));
    EXPECT_EQ(Accepted(DeviceTable()[i]), signatures) << Row(i);
  }
}

TEST(DeviceTable, SelfCheckOfEveryRow) {
  const std::pair<std::string_view, DeviceFamily> prefixes[] = {
      {"AT25", DeviceFamily::At25},   {"AT45", DeviceFamily::At45}, {"AT86", DeviceFamily::At86},
      {"AT89S", DeviceFamily::At89S}, {"AT90", DeviceFamily::At90}, {"ATtiny", DeviceFamily::ATtiny},
      {"ATmega", DeviceFamily::ATmega}};
  std::set<std::int32_t> knownDelays;
  for (int ms : {0, 5, 9, 15, 25, 50}) knownDelays.insert(DelayCodeFromMs(ms));
  std::set<std::string_view> names;
  for (int i = 0; i < DeviceCount; ++i) {
    SCOPED_TRACE(Row(i));
    const DeviceRecord& r = DeviceTable()[i];
    EXPECT_TRUE(names.insert(r.Name).second) << "name used twice";
    int prefixesMatched = 0;
    for (const auto& [prefix, family] : prefixes) {
      if (!r.Name.starts_with(prefix)) continue;
      ++prefixesMatched;
      EXPECT_EQ(r.Family, family);
    }
    EXPECT_EQ(prefixesMatched, 1);
    std::set<std::uint32_t> classes = {ClassAvr};  // the programming class follows the family
    if (r.Family == DeviceFamily::At25) classes = {ClassAt25};
    if (r.Family == DeviceFamily::At89S) classes = {ClassAt89S3Byte, ClassAt89S53, ClassAt89S4Byte};
    EXPECT_TRUE(classes.contains(r.ProgrammingClass)) << "class " << r.ProgrammingClass;

    // Pages divide the memory they belong to.
    if (r.PageSize != 0 && r.Family != DeviceFamily::At25 && r.Family != DeviceFamily::At45) {  // AVR words
      EXPECT_EQ(r.FlashSize % (2 * r.PageSize), 0u) << "page of " << r.PageSize << " words";
    }
    if (r.Family == DeviceFamily::At89S || r.Family == DeviceFamily::At86) {
      EXPECT_EQ(r.PageSize, 0u);
    }
    if (r.Family == DeviceFamily::At25) {
      EXPECT_EQ(r.FlashSize, 0u);
      ASSERT_GT(r.PageSize, 0u);
      EXPECT_EQ(r.EepromSize % r.PageSize, 0u);
      for (auto code : {r.FlashWriteDelay, r.FlashReadDelay, r.EepromWriteDelay, r.EepromReadDelay}) EXPECT_EQ(code, 0);
    } else {
      for (auto code : {r.FlashWriteDelay, r.FlashReadDelay, r.EepromWriteDelay, r.EepromReadDelay})
        EXPECT_TRUE(knownDelays.contains(code)) << "delay code " << code;
    }
    // A DataFlash page is 264, 528 or 1056 bytes, its address shift 1, 2 or 3, its memory a
    // whole number of power-of-two pages; the status bits lie inside the density mask.
    if (r.Family == DeviceFamily::At45) {
      EXPECT_TRUE(r.At45PageShift >= 1 && r.At45PageShift <= 3);
      EXPECT_EQ(r.PageSize, 33u << (r.At45PageShift + 2));
      EXPECT_EQ(r.FlashSize % (128u << r.At45PageShift), 0u);
      EXPECT_EQ(r.EepromSize, 0u);
      EXPECT_EQ(r.PageDelay, 40u);
      EXPECT_EQ(r.At45StatusMask, 0x3C);
      EXPECT_EQ(r.At45StatusBits & ~r.At45StatusMask, 0);
    } else {
      EXPECT_EQ(r.At45PageShift, 0u);
    }

    EXPECT_LT(r.LockFuseLayoutIndex, static_cast<std::uint32_t>(LockFuseLayoutCount));
    EXPECT_EQ(r.NoSyncFlag, 0u);
    EXPECT_TRUE(r.CalibrationCount == 0 || r.CalibrationCount == 1 || r.CalibrationCount == 2 ||
                r.CalibrationCount == 4)
        << "calibration count " << r.CalibrationCount;

    // Readable signatures carry the manufacturer byte and find this row and no other; the
    // other rows hold one of the two placeholders no reply can match.
    EXPECT_TRUE(!r.ExtraSignature || r.Signature != r.AltSignature) << "third signature while a slot is free";
    for (const Signature& s : Accepted(r)) {
      if (!SignatureReadable(r)) {
        EXPECT_TRUE(s == Sig(0x000000) || s == Sig(0x00FF00)) << Hex(s);
        continue;
      }
      EXPECT_EQ(s[0], 0x1E) << Hex(s);
      const int found = FindDeviceBySignature(s[0], s[1], s[2]);
      EXPECT_EQ(found, i) << Hex(s) << " names " << (found >= 0 ? Row(found) : "no row");
    }
  }
}

// From the data sheets: Flash bytes, page (AVR: words, serial memories: bytes), Eeprom bytes,
// calibration bytes. The layout index, where given, is the arrangement of the chip's bits in
// the lock/fuse listing (24, 25: no boot lock bits).
TEST(DeviceTable, SizesAsTheDataSheetsGiveThem) {
  const struct { const char* name; std::uint32_t flash, page, eeprom, calibration; int layout = -1; } rows[] = {
      {"ATtiny12", 1024, 0, 64, 1},          {"ATtiny13", 1024, 16, 64, 2},     {"ATtiny2313", 2048, 16, 128, 2, 24},
      {"AT90S2313", 2048, 0, 128, 0},        {"AT90CAN128", 131072, 128, 4096, 1}, {"ATmega48", 4096, 32, 256, 1, 25},
      {"ATmega8", 8192, 32, 512, 4},         {"ATmega161", 16384, 64, 512, 0},  {"ATmega325/3250", 32768, 64, 1024, 1},
      {"ATmega644", 65536, 128, 2048, 1, 32}, {"ATmega2560/2561", 262144, 128, 4096, 1, 32},
      {"AT89S2051", 2048, 0, 0, 0},          {"AT89S8252", 8192, 0, 2048, 0},   {"AT89S53", 12288, 0, 0, 0},
      {"AT86RF401", 2048, 0, 128, 0},        {"AT25256", 0, 64, 32768, 0},      {"AT25HP512", 0, 128, 65536, 0},
      {"AT45DB041", 524288, 264, 0, 0},      {"AT45DB642", 8388608, 1056, 0, 0},
  };
  for (const auto& want : rows) {
    SCOPED_TRACE(want.name);
    const DeviceRecord* r = DeviceAt(FindDeviceByName(want.name));
    ASSERT_EQ(r->Name, want.name);
    EXPECT_EQ(r->FlashSize, want.flash);
    EXPECT_EQ(r->PageSize, want.page);
    EXPECT_EQ(r->EepromSize, want.eeprom);
    EXPECT_EQ(r->CalibrationCount, want.calibration);
    if (want.layout >= 0) {
      EXPECT_EQ(r->LockFuseLayoutIndex, static_cast<std::uint32_t>(want.layout));
    }
  }
}

TEST(DeviceTableLookup, DeviceAtCoversExactlyTheTable) {
  EXPECT_EQ(DeviceAt(0), &DeviceTable()[0]);
  EXPECT_EQ(DeviceAt(DeviceCount - 1), &DeviceTable()[DeviceCount - 1]);
  for (int outside : {-1, DeviceCount, INT_MIN, INT_MAX}) EXPECT_EQ(DeviceAt(outside), nullptr) << outside;
}

// Every signature in the table finds its row (the self-check); nothing else does.
TEST(DeviceTableLookup, SignatureSearchFindsNothingElse) {
  // Unknown, the placeholders of the AT89S8252/53 and serial memory rows, known triples with
  // another manufacturer byte.
  for (std::uint32_t v : {0x1E9803u, 0x00FF00u, 0x000000u, 0x1F9307u, 0x1F9801u}) {
    const Signature s = Sig(v);
    EXPECT_EQ(FindDeviceBySignature(s[0], s[1], s[2]), -1) << Hex(s);
  }
}

TEST(DeviceTableLookup, At45ByStatusDensityBits) {
  // The density code of each chip's status byte; ready, compare and protect bits do not matter.
  const std::pair<std::uint8_t, const char*> cases[] = {
      {0x9C, "AT45DB041"}, {0xA4, "AT45DB081"}, {0xAC, "AT45DB161"}, {0xB4, "AT45DB321"}, {0xBC, "AT45DB642"}};
  for (const auto& [status, chip] : cases) {
    const int row = FindDeviceByName(chip);
    ASSERT_NE(row, 0) << chip;
    EXPECT_EQ(FindAt45ByStatus(status), row) << chip;
    EXPECT_EQ(FindAt45ByStatus(status & 0x3C), row) << chip;
    EXPECT_EQ(FindAt45ByStatus(status | 0xC3), row) << chip;
  }
  EXPECT_EQ(FindAt45ByStatus(0x80), -1);
}

TEST(DeviceTableLookup, NameSearchIsExactAndFallsBackToRowZero) {
  EXPECT_EQ(FindDeviceByName(DefaultDeviceName), 8);
  EXPECT_EQ(FindDeviceByName("ATmega8515"), 10);
  EXPECT_EQ(FindDeviceByName("AT45DB642"), 40);
  for (const char* other : {"atmega8", "ATMEGA8", "ATmega", "ATmega8 ", ""})
    EXPECT_EQ(FindDeviceByName(other), 0) << "'" << other << "'";
}

TEST(DeviceTableLookup, DelayCodes) {
  const std::pair<int, int> known[] = {{0, 255}, {5, 185}, {9, 129}, {15, 45}, {19, 245}, {25, 161}, {50, 67}};
  for (const auto& [ms, code] : known) EXPECT_EQ(DelayCodeFromMs(ms), code) << ms << " ms";
  // Any int, against a plain signed reference that cannot overflow for int inputs.
  for (long long ms :
       {-1LL, -19LL, 1000LL, 123457LL, -98765LL, INT_MAX + 0LL, INT_MIN + 0LL, INT_MAX - 1LL, INT_MIN + 1LL}) {
    const long long expected = ((255 - 14 * ms) % 256 + 256) % 256;
    EXPECT_EQ(DelayCodeFromMs(static_cast<int>(ms)), expected) << ms << " ms";
  }
}

}  // namespace
}  // namespace zr7
