// The layout table against data/layout-rows.txt, which was copied from the data sheets'
// summaries and never from the source: every instruction, position, read bit, name and
// warning of the 33 records.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "devices/DeviceTable.h"
#include "lockfuse/LockFuseLayout.h"

using namespace zr7;

namespace {

struct Record {
  std::string lockWrite, lockRead, fuseWrite[3], fuseRead[3];  // "AC.E0.00.00" or "-"
  int fuseCount = 0, bootLockCount = 0;
  std::set<std::string> chips;
  BitPosition lockPos[3];
  int lockReadBit[3] = {-1, -1, -1};
};
struct Fuse {
  std::string name;
  int group = 0;  // 0: no write position
  int byte = -1, bit = -1, warn = 0;
};
struct Rows {
  std::map<int, Record> records;
  std::map<int, std::vector<Fuse>> fuses;
  std::vector<std::pair<std::string, int>> boot;
};

BitPosition Position(const std::string& text) {
  const auto colon = text.find(':');
  return {std::stoi(text.substr(0, colon)), std::stoi(text.substr(colon + 1))};
}

const Rows& TheRows() {
  static const Rows rows = [] {
    Rows out;
    std::ifstream in(std::string(ZR7_TEST_DATA) + "/layout-rows.txt");
    EXPECT_TRUE(in) << "missing fixture";
    std::string line, kind;
    while (std::getline(in, line)) {
      std::istringstream row(line);
      if (!(row >> kind) || kind[0] == '#') continue;
      if (kind == "boot") {
        std::string name;
        int bit = -1;
        row >> name >> bit;
        out.boot.emplace_back(name, bit);
        continue;
      }
      int r = -1;
      row >> r;
      if (kind == "record") {
        Record& c = out.records[r];
        std::string chips;
        row >> c.lockWrite >> c.lockRead >> c.fuseCount;
        for (int g = 0; g < 3; ++g) row >> c.fuseWrite[g] >> c.fuseRead[g];
        row >> c.bootLockCount >> chips;
        std::istringstream names(chips);
        for (std::string n; std::getline(names, n, ',');)
          if (n != "-") c.chips.insert(n);
      } else if (kind == "lock") {
        Record& c = out.records[r];
        std::string pos;
        for (BitPosition& p : c.lockPos) row >> pos, p = Position(pos);
        for (int& b : c.lockReadBit) row >> b;
      } else if (kind == "fuse") {
        Fuse f;
        std::size_t index = 0;
        row >> index >> f.name >> f.group >> f.byte >> f.bit >> f.warn;
        out.fuses[r].push_back(f);
        EXPECT_EQ(out.fuses[r].size(), index + 1) << line;
      }
      EXPECT_FALSE(row.fail()) << line;
    }
    return out;
  }();
  return rows;
}

// An instruction as listed, or "-" when the record holds none there.
template <std::size_t N>
std::string Listed(const std::array<std::uint8_t, N>& bytes, bool present = true) {
  if (!present) return "-";
  std::string out;
  char hex[4];
  for (std::uint8_t b : bytes) std::snprintf(hex, sizeof hex, "%02X", b), out += (out.empty() ? "" : ".") + std::string(hex);
  return out;
}

TEST(LockFuseLayout, InstructionsCountsAndChipsAsListed) {
  const Rows& rows = TheRows();
  ASSERT_EQ(rows.records.size(), static_cast<std::size_t>(LockFuseLayoutCount));
  EXPECT_EQ(LockFuseLayoutAt(LockFuseLayoutCount), nullptr);
  for (const auto& [r, c] : rows.records) {
    SCOPED_TRACE("record " + std::to_string(r));
    const LockFuseLayout* layout = LockFuseLayoutAt(r);
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(Listed(layout->lockWrite), c.lockWrite);
    EXPECT_EQ(Listed(layout->lockRead, layout->lockReadPresent), c.lockRead);
    // A write group that is absent may still hold bytes; a listed one must match them.
    EXPECT_EQ(Listed(layout->fuseWrite1, c.fuseWrite[0] != "-"), c.fuseWrite[0]);
    EXPECT_EQ(Listed(layout->fuseRead1, layout->fuseRead1Present), c.fuseRead[0]);
    EXPECT_EQ(Listed(layout->fuseWrite2, layout->fuseWrite2Present), c.fuseWrite[1]);
    EXPECT_EQ(Listed(layout->fuseRead2, layout->fuseWrite2Present), c.fuseRead[1]);
    EXPECT_EQ(Listed(layout->fuseWrite3, layout->fuseWrite3Present), c.fuseWrite[2]);
    EXPECT_EQ(Listed(layout->fuseRead3, layout->fuseWrite3Present), c.fuseRead[2]);
    EXPECT_EQ(layout->fuseCount, c.fuseCount);
    EXPECT_EQ(layout->bootLockCount, c.bootLockCount);

    // Every chip named here points at this record, and no other chip does.
    std::set<std::string> pointing;
    for (const DeviceRecord& d : DeviceTable())
      if (static_cast<int>(d.LockFuseLayoutIndex) == r) pointing.insert(std::string(d.Name));
    EXPECT_EQ(pointing, c.chips);
  }
}

TEST(LockFuseLayout, LockAndBootLockBitsAsListed) {
  const Rows& rows = TheRows();
  for (const auto& [r, c] : rows.records) {
    SCOPED_TRACE("record " + std::to_string(r));
    const LockFuseLayout& layout = *LockFuseLayoutAt(r);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(layout.lockWritePos[i], c.lockPos[i]) << "LB" << i + 1;
    for (std::size_t i = 3; i < layout.lockWritePos.size(); ++i) EXPECT_FALSE(layout.lockWritePos[i].Valid());
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(layout.lockReadBit[i], c.lockReadBit[i]) << "LB" << i + 1;
    for (int i = 0; i < layout.bootLockCount; ++i) {
      EXPECT_EQ(layout.bootLockName[i], rows.boot.at(i).first);
      EXPECT_EQ(layout.bootLockBit[i], rows.boot.at(i).second);
    }
  }
}

TEST(LockFuseLayout, FuseBitsNamesPositionsReadBitsAndWarnings) {
  const std::set<int> fromLockByte = {2, 6, 7};
  for (int r = 0; r < LockFuseLayoutCount; ++r) {
    SCOPED_TRACE("record " + std::to_string(r));
    const LockFuseLayout& layout = *LockFuseLayoutAt(r);
    const auto listed = TheRows().fuses.count(r) ? TheRows().fuses.at(r) : std::vector<Fuse>{};
    ASSERT_EQ(layout.fuseCount, static_cast<int>(listed.size()));
    EXPECT_EQ(layout.fuseRead1Present, !listed.empty() && !fromLockByte.count(r));
    for (int i = 0; i < FuseBitCount; ++i) {
      SCOPED_TRACE("fuse " + std::to_string(i));
      const Fuse f = i < layout.fuseCount ? listed[i] : Fuse{};
      EXPECT_EQ(layout.fuseName[i], f.name);
      for (int g = 1; g <= FuseGroupCount; ++g) {
        const BitPosition want = f.group == g ? BitPosition{f.byte, f.bit} : BitPosition{};
        EXPECT_EQ(FuseWritePosOf(layout, g)[i], want) << "group " << g;
        EXPECT_TRUE(g == 1 || FuseReadBitOf(layout, g)[i] == (f.group == g ? f.bit : -1)) << "read bit, group " << g;
      }
      // A later group's bit reads bit 0 of the first reply until its own reply overwrites it;
      // unused entries read nothing.
      const int read1 = i >= layout.fuseCount ? -1 : f.group == 1 ? f.bit : f.group > 1 ? 0 : layout.fuseReadBit1[i];
      EXPECT_EQ(layout.fuseReadBit1[i], read1);
      EXPECT_EQ(layout.fuseWarn[i], f.warn) << f.name;
      EXPECT_EQ(GroupOfFuse(layout, i), f.group);
    }
  }
}

// Projects keep fuse bits by index. The ATmega2560/2561 moved from record 10 to record 32 (its
// data sheet's fuse names); the bits it stored must still go to the same places on the wire.
TEST(LockFuseLayout, Mega2560ProjectBitsKeepTheirPlacesInTheNewRecord) {
  const LockFuseLayout& before = *LockFuseLayoutAt(10);
  const LockFuseLayout& after = LayoutOf(DeviceTable()[FindDeviceByName("ATmega2560/2561")]);
  ASSERT_EQ(&after, LockFuseLayoutAt(32));
  EXPECT_EQ(after.bootLockCount, before.bootLockCount);
  for (int i = 0; i < before.fuseCount; ++i) {
    SCOPED_TRACE("fuse " + std::to_string(i));
    for (int g = 1; g <= FuseGroupCount; ++g) {
      EXPECT_EQ(FuseWritePosOf(after, g)[i], FuseWritePosOf(before, g)[i]) << "group " << g;
      EXPECT_EQ(FuseReadBitOf(after, g)[i], FuseReadBitOf(before, g)[i]) << "group " << g;
    }
  }
}

}  // namespace
