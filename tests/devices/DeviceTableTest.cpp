#include "devices/DeviceTable.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace zr7 {
namespace {

std::string Hex(const std::array<std::uint8_t, 3>& bytes) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X%02X", bytes[0], bytes[1], bytes[2]);
  return text;
}

std::string RowLabel(int number) {
  return "row " + std::to_string(number) + " (" + std::string(DeviceTable()[number].Name) + ")";
}

std::vector<std::string_view> NamesOfFamily(DeviceFamily family) {
  std::vector<std::string_view> names;
  for (const DeviceRecord& row : DeviceTable()) {
    if (row.Family == family) names.push_back(row.Name);
  }
  return names;
}

bool IsAvr(DeviceFamily family) {
  return family == DeviceFamily::ATtiny || family == DeviceFamily::At90 || family == DeviceFamily::ATmega ||
         family == DeviceFamily::At86;
}

// ---- Consistency of the rows among themselves ----

TEST(DeviceTableSelfCheck, NamesAreUnique) {
  std::set<std::string_view> seen;
  for (int i = 0; i < DeviceCount; ++i) {
    EXPECT_TRUE(seen.insert(DeviceTable()[i].Name).second) << RowLabel(i) << ": name used twice";
  }
}

TEST(DeviceTableSelfCheck, FamilyAndClassMatchTheName) {
  const std::pair<std::string_view, DeviceFamily> prefixes[] = {
      {"AT25", DeviceFamily::At25},   {"AT45", DeviceFamily::At45},     {"AT86", DeviceFamily::At86},
      {"AT89S", DeviceFamily::At89S}, {"AT90", DeviceFamily::At90},     {"ATtiny", DeviceFamily::ATtiny},
      {"ATmega", DeviceFamily::ATmega},
  };
  for (int i = 0; i < DeviceCount; ++i) {
    const DeviceRecord& row = DeviceTable()[i];
    int matches = 0;
    for (const auto& [prefix, family] : prefixes) {
      if (!row.Name.starts_with(prefix)) continue;
      ++matches;
      EXPECT_EQ(row.Family, family) << RowLabel(i) << ": family does not match the name";
    }
    EXPECT_EQ(matches, 1) << RowLabel(i) << ": name has no known family prefix";

    if (row.Family == DeviceFamily::At25) {
      EXPECT_EQ(row.ProgrammingClass, ClassAt25) << RowLabel(i);
    } else if (row.Family == DeviceFamily::At89S) {
      EXPECT_TRUE(row.ProgrammingClass == ClassAt89S3Byte || row.ProgrammingClass == ClassAt89S53 ||
                  row.ProgrammingClass == ClassAt89S4Byte)
          << RowLabel(i) << ": class " << row.ProgrammingClass;
    } else {
      EXPECT_EQ(row.ProgrammingClass, ClassAvr) << RowLabel(i);
    }
  }
}

TEST(DeviceTableSelfCheck, AvrPagesDivideTheFlash) {
  for (int i = 0; i < DeviceCount; ++i) {
    const DeviceRecord& row = DeviceTable()[i];
    if (!IsAvr(row.Family) || row.PageSize == 0) continue;
    EXPECT_EQ(row.FlashSize % (row.PageSize * 2), 0u) << RowLabel(i) << ": page of " << row.PageSize << " words";
  }
}

TEST(DeviceTableSelfCheck, At45RowsAreConsistent) {
  for (int i = 0; i < DeviceCount; ++i) {
    const DeviceRecord& row = DeviceTable()[i];
    if (row.Family != DeviceFamily::At45) continue;
    std::uint32_t shift = 0;
    if (row.PageSize == 264) shift = 1;
    if (row.PageSize == 528) shift = 2;
    if (row.PageSize == 1056) shift = 3;
    EXPECT_NE(shift, 0u) << RowLabel(i) << ": page size " << row.PageSize;
    EXPECT_EQ(row.At45PageShift, shift) << RowLabel(i) << ": page-address shift";
    EXPECT_EQ(row.EepromSize, 0u) << RowLabel(i) << ": a DataFlash has no Eeprom";
    EXPECT_EQ(row.PageDelay, 40u) << RowLabel(i);
    EXPECT_EQ(row.At45StatusMask, 0x3C) << RowLabel(i) << ": status mask";
    // Expected bits outside the mask could never be matched.
    EXPECT_EQ(row.At45StatusBits & ~row.At45StatusMask, 0) << RowLabel(i) << ": status bits";
  }
}

TEST(DeviceTableSelfCheck, At25RowsHaveNoFlashAndNoDelays) {
  for (int i = 0; i < DeviceCount; ++i) {
    const DeviceRecord& row = DeviceTable()[i];
    if (row.Family != DeviceFamily::At25) continue;
    EXPECT_EQ(row.FlashSize, 0u) << RowLabel(i);
    EXPECT_GT(row.EepromSize, 0u) << RowLabel(i);
    EXPECT_EQ(row.FlashWriteDelay, 0) << RowLabel(i);
    EXPECT_EQ(row.FlashReadDelay, 0) << RowLabel(i);
    EXPECT_EQ(row.EepromWriteDelay, 0) << RowLabel(i);
    EXPECT_EQ(row.EepromReadDelay, 0) << RowLabel(i);
  }
}

TEST(DeviceTableSelfCheck, DelayCodesStandForKnownDelays) {
  std::set<std::int32_t> known;
  for (int ms : {0, 5, 9, 15, 25, 50}) known.insert(DelayCodeFromMs(ms));
  for (int i = 0; i < DeviceCount; ++i) {
    const DeviceRecord& row = DeviceTable()[i];
    if (row.Family == DeviceFamily::At25) continue;
    const std::pair<const char*, std::int32_t> codes[] = {
        {"FlashWriteDelay", row.FlashWriteDelay},
        {"FlashReadDelay", row.FlashReadDelay},
        {"EepromWriteDelay", row.EepromWriteDelay},
        {"EepromReadDelay", row.EepromReadDelay},
    };
    for (const auto& [field, code] : codes) {
      EXPECT_TRUE(known.contains(code)) << RowLabel(i) << ": " << field << " = " << code;
    }
  }
}

TEST(DeviceTableSelfCheck, FlagsAndCalibrationCounts) {
  for (int i = 0; i < DeviceCount; ++i) {
    const DeviceRecord& row = DeviceTable()[i];
    EXPECT_EQ(row.NoSyncFlag, 0u) << RowLabel(i);
    // 2 since the ATtiny13 and ATtiny2313 data sheets give two bytes.
    EXPECT_TRUE(row.CalibrationCount == 0 || row.CalibrationCount == 1 || row.CalibrationCount == 2 ||
                row.CalibrationCount == 4)
        << RowLabel(i) << ": calibration count " << row.CalibrationCount;
  }
}

TEST(DeviceTableSelfCheck, ReadableSignaturesResolveBack) {
  for (int i = 0; i < DeviceCount; ++i) {
    const DeviceRecord& row = DeviceTable()[i];
    for (const auto& signature : {row.Signature, row.AltSignature, row.ExtraSignature.value_or(row.Signature)}) {
      if (signature[0] != 0x1E) continue;
      const int found = FindDeviceBySignature(signature[0], signature[1], signature[2]);
      ASSERT_GE(found, 0) << RowLabel(i) << ": " << Hex(signature) << " not found";
      // First match wins, so an earlier row may claim it, but never a later one.
      EXPECT_LE(found, i) << RowLabel(i) << ": " << Hex(signature);
      const DeviceRecord& hit = DeviceTable()[found];
      EXPECT_TRUE(hit.Signature == signature || hit.AltSignature == signature || hit.ExtraSignature == signature)
          << RowLabel(i) << ": " << Hex(signature) << " resolved to " << RowLabel(found);
    }
  }
}

// ---- The rows against an independent transcription of the listing ----

struct ListingRow {
  int Number = -1;
  std::string Name;
  std::uint32_t Family = 0, PageSize = 0, FlashSize = 0, EepromSize = 0;
  std::string Signature, AltSignature, ExtraSignature;
  std::uint32_t ProgrammingClass = 0;
  std::int32_t Delays[4] = {};
  std::uint32_t PageDelay = 0, BoardDeviceCode = 0, LockFuseLayoutIndex = 0, CalibrationCount = 0;
};

std::vector<ListingRow> ReadListing() {
  const auto path = std::filesystem::path(__FILE__).parent_path() / "device-table-listing.txt";
  std::ifstream in(path);
  EXPECT_TRUE(in.is_open()) << "cannot open " << path;
  std::vector<ListingRow> rows;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    ListingRow row;
    std::string delays;
    fields >> row.Number >> row.Name >> row.Family >> row.PageSize >> row.FlashSize >> row.EepromSize >>
        row.Signature >> row.AltSignature >> row.ProgrammingClass >> delays >> row.PageDelay >>
        row.BoardDeviceCode >> row.LockFuseLayoutIndex >> row.CalibrationCount >> row.ExtraSignature;
    char slash[3] = {};
    std::istringstream codes(delays);
    codes >> row.Delays[0] >> slash[0] >> row.Delays[1] >> slash[1] >> row.Delays[2] >> slash[2] >> row.Delays[3];
    EXPECT_TRUE(fields && codes && slash[0] == '/' && slash[1] == '/' && slash[2] == '/')
        << "malformed listing line: " << line;
    rows.push_back(row);
  }
  return rows;
}

TEST(DeviceTableListing, EveryFieldOfEveryRowMatches) {
  const std::vector<ListingRow> listing = ReadListing();
  ASSERT_EQ(listing.size(), static_cast<std::size_t>(DeviceCount));
  for (int i = 0; i < DeviceCount; ++i) {
    const ListingRow& want = listing[i];
    const DeviceRecord& row = DeviceTable()[i];
    const std::string where = "row " + std::to_string(i) + " (" + want.Name + "), field ";
    ASSERT_EQ(want.Number, i) << "listing out of order at line of " << want.Name;
    EXPECT_EQ(row.Name, want.Name) << where << "Name";
    EXPECT_EQ(static_cast<std::uint32_t>(row.Family), want.Family) << where << "Family";
    EXPECT_EQ(row.PageSize, want.PageSize) << where << "PageSize";
    EXPECT_EQ(row.FlashSize, want.FlashSize) << where << "FlashSize";
    EXPECT_EQ(row.EepromSize, want.EepromSize) << where << "EepromSize";
    EXPECT_EQ(Hex(row.Signature), want.Signature) << where << "Signature";
    EXPECT_EQ(Hex(row.AltSignature), want.AltSignature) << where << "AltSignature";
    EXPECT_EQ(row.ProgrammingClass, want.ProgrammingClass) << where << "ProgrammingClass";
    EXPECT_EQ(row.FlashWriteDelay, want.Delays[0]) << where << "FlashWriteDelay";
    EXPECT_EQ(row.FlashReadDelay, want.Delays[1]) << where << "FlashReadDelay";
    EXPECT_EQ(row.EepromWriteDelay, want.Delays[2]) << where << "EepromWriteDelay";
    EXPECT_EQ(row.EepromReadDelay, want.Delays[3]) << where << "EepromReadDelay";
    EXPECT_EQ(row.PageDelay, want.PageDelay) << where << "PageDelay";
    EXPECT_EQ(row.BoardDeviceCode, want.BoardDeviceCode) << where << "BoardDeviceCode";
    EXPECT_EQ(row.LockFuseLayoutIndex, want.LockFuseLayoutIndex) << where << "LockFuseLayoutIndex";
    EXPECT_EQ(row.NoSyncFlag, 0u) << where << "NoSyncFlag";
    EXPECT_EQ(row.CalibrationCount, want.CalibrationCount) << where << "CalibrationCount";
    EXPECT_EQ(row.ExtraSignature ? Hex(*row.ExtraSignature) : "-", want.ExtraSignature) << where << "ExtraSignature";
  }
}

// ---- Lookups ----

TEST(DeviceTableLookup, DeviceAtCoversExactlyTheTable) {
  EXPECT_EQ(DeviceAt(0), &DeviceTable()[0]);
  EXPECT_EQ(DeviceAt(DeviceCount - 1), &DeviceTable()[DeviceCount - 1]);
  EXPECT_EQ(DeviceAt(-1), nullptr);
  EXPECT_EQ(DeviceAt(DeviceCount), nullptr);
  EXPECT_EQ(DeviceAt(INT_MIN), nullptr);
  EXPECT_EQ(DeviceAt(INT_MAX), nullptr);
}

TEST(DeviceTableLookup, SignatureSearch) {
  const struct {
    std::array<std::uint8_t, 3> signature;
    int row;
  } cases[] = {
      {{0x1E, 0x95, 0x05}, 19},
      {{0x1E, 0x95, 0x06}, 19},  // through AltSignature
      {{0x1E, 0x93, 0x07}, FindDeviceByName("ATmega8")},
      // The ATmega644 answers 1E 96 09 (data sheet); the table's 1E 96 07 still names it.
      {{0x1E, 0x96, 0x09}, 21},
      {{0x1E, 0x96, 0x07}, 21},
      // 1E 98 01 is the ATmega2560's own signature (data sheet): it no longer finds nothing.
      {{0x1E, 0x98, 0x01}, 24},
      {{0x1E, 0x98, 0x02}, 24},
      {{0x1E, 0x01, 0x03}, 24},
      {{0x1E, 0x98, 0x03}, -1},
      // Rows 29 and 30 hold 00 FF 00 and the AT25 rows 00 00 00, yet none is found.
      {{0x00, 0xFF, 0x00}, -1},
      {{0x00, 0x00, 0x00}, -1},
      // A known triple with another manufacturer byte is not accepted, nor is an extra one.
      {{0x1F, 0x93, 0x07}, -1},
      {{0x1F, 0x98, 0x01}, -1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FindDeviceBySignature(c.signature[0], c.signature[1], c.signature[2]), c.row) << Hex(c.signature);
}

TEST(DeviceTableLookup, At45StatusSearch) {
  EXPECT_EQ(FindAt45ByStatus(0x9C), 36);
  EXPECT_EQ(FindAt45ByStatus(0xBC), 40);
  EXPECT_EQ(FindAt45ByStatus(0x80), -1);
  // Bits outside the density mask (ready, compare, protect) do not matter.
  for (int i = 0; i < DeviceCount; ++i) {
    const DeviceRecord& row = DeviceTable()[i];
    if (row.Family != DeviceFamily::At45) continue;
    const auto bits = row.At45StatusBits;
    const auto others = static_cast<std::uint8_t>(~row.At45StatusMask);
    EXPECT_EQ(FindAt45ByStatus(bits), i) << RowLabel(i);
    EXPECT_EQ(FindAt45ByStatus(static_cast<std::uint8_t>(bits | others)), i) << RowLabel(i);
  }
}

TEST(DeviceTableLookup, FamiliesListTheirRowsInTableOrder) {
  EXPECT_EQ(NamesOfFamily(DeviceFamily::At45),
            (std::vector<std::string_view>{"AT45DB041", "AT45DB081", "AT45DB161", "AT45DB321", "AT45DB642"}));
  EXPECT_EQ(NamesOfFamily(DeviceFamily::At90),
            (std::vector<std::string_view>{"AT90S2313", "AT90S8515", "AT90CAN128"}));
  const auto megas = NamesOfFamily(DeviceFamily::ATmega);
  ASSERT_GE(megas.size(), 2u);
  EXPECT_EQ(megas[0], "ATmega48");
  EXPECT_EQ(megas[1], "ATmega8");
}

TEST(DeviceTableLookup, NameSearch) {
  EXPECT_EQ(FindDeviceByName(DefaultDeviceName), 8);
  EXPECT_EQ(FindDeviceByName("ATmega8"), 8);
  EXPECT_EQ(FindDeviceByName("ATmega8515"), 10);
  EXPECT_EQ(FindDeviceByName("AT45DB642"), 40);
  EXPECT_EQ(FindDeviceByName("atmega8"), 0);
  EXPECT_EQ(FindDeviceByName("ATMEGA8"), 0);
  EXPECT_EQ(FindDeviceByName("ATmega"), 0);
  EXPECT_EQ(FindDeviceByName("ATmega8 "), 0);
  EXPECT_EQ(FindDeviceByName(""), 0);
}

TEST(DeviceTableLookup, DelayCodes) {
  EXPECT_EQ(DelayCodeFromMs(0), 255);
  EXPECT_EQ(DelayCodeFromMs(5), 185);
  EXPECT_EQ(DelayCodeFromMs(9), 129);
  EXPECT_EQ(DelayCodeFromMs(15), 45);
  EXPECT_EQ(DelayCodeFromMs(19), 245);
  EXPECT_EQ(DelayCodeFromMs(25), 161);
  EXPECT_EQ(DelayCodeFromMs(50), 67);
  // Any int, against a plain signed reference that cannot overflow for int inputs.
  for (long long ms : {-1LL, -19LL, 1000LL, 123457LL, -98765LL, static_cast<long long>(INT_MAX),
                       static_cast<long long>(INT_MIN), static_cast<long long>(INT_MAX) - 1,
                       static_cast<long long>(INT_MIN) + 1}) {
    const long long expected = ((255 - 14 * ms) % 256 + 256) % 256;
    EXPECT_EQ(DelayCodeFromMs(static_cast<int>(ms)), expected) << ms << " ms";
  }
}

}  // namespace
}  // namespace zr7
