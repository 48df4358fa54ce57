// The layout table against the listing in data/layout-listing.txt, which was copied as text
// from the data sheets' summary and never from the source: every instruction, position, read
// bit, name and warning of the 33 records.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "devices/DeviceTable.h"
#include "lockfuse/LockFuseLayout.h"

using namespace zr7;

namespace {

std::string Trim(std::string s) {
  const auto b = s.find_first_not_of(" \t");
  const auto e = s.find_last_not_of(" \t");
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

std::vector<std::string> Split(const std::string& s, const std::string& sep) {
  std::vector<std::string> out;
  std::size_t at = 0;
  for (;;) {
    const auto next = s.find(sep, at);
    out.push_back(Trim(s.substr(at, next - at)));
    if (next == std::string::npos) return out;
    at = next + sep.size();
  }
}

std::vector<int> Hex(const std::string& text) {
  std::vector<int> out;
  if (text == "-") return out;
  std::istringstream in(text);
  std::string b;
  while (in >> b) out.push_back(std::stoi(b, nullptr, 16));
  return out;
}

// "4, 5, 8, 10 to 13 and 29 to 32" or "0, 22".
std::set<int> Records(std::string text) {
  text = std::regex_replace(text, std::regex(" and "), ", ");
  std::set<int> out;
  for (const std::string& part : Split(text, ",")) {
    const auto to = part.find(" to ");
    const int first = std::stoi(part.substr(0, to));
    const int last = to == std::string::npos ? first : std::stoi(part.substr(to + 4));
    for (int r = first; r <= last; ++r) out.insert(r);
  }
  return out;
}

BitPosition Position(const std::string& text) {
  std::smatch m;
  EXPECT_TRUE(std::regex_search(text, m, std::regex(R"(byte (\d) bit (\d))"))) << text;
  return {std::stoi(m[1]), std::stoi(m[2])};
}

struct Fuse {
  std::string name;
  int group = 0;  // 0: no write position
  int byte = -1;
  int bit = -1;
};

std::vector<Fuse> FuseTokens(const std::string& text) {
  std::vector<Fuse> out;
  const std::regex token(R"((\w+)=(\d):(\d)\.(\d))");
  for (std::sregex_iterator it(text.begin(), text.end(), token), end; it != end; ++it)
    out.push_back({(*it)[1], std::stoi((*it)[2]), std::stoi((*it)[3]), std::stoi((*it)[4])});
  return out;
}

struct Listing {
  std::vector<std::vector<std::string>> records;  // the columns of each record row
  std::map<int, std::array<BitPosition, 3>> lockWrite;
  std::map<int, std::array<int, 3>> lockRead;
  std::vector<std::string> bootNames;
  std::vector<int> bootBits;
  std::map<int, std::vector<Fuse>> fuses;
  std::set<int> spienWarned, rstdisblWarned;
};

Listing Parse() {
  std::ifstream in(std::string(ZR7_TEST_DATA) + "/layout-listing.txt");
  EXPECT_TRUE(in) << "missing fixture";
  Listing l;
  std::map<int, std::string> bodies;
  std::string line;
  while (std::getline(in, line)) {
    if (std::regex_match(line, std::regex(R"(\| \d[^|]*\| byte .*)"))) {
      auto cols = Split(line.substr(1, line.size() - 2), "|");
      std::array<int, 3> reads = {-1, -1, -1};
      if (cols[4] != "no read") {
        auto bits = Split(cols[4], ",");
        for (std::size_t i = 0; i < bits.size(); ++i) reads[i] = bits[i] == "none" ? -1 : std::stoi(bits[i]);
      }
      for (int r : Records(cols[0])) {
        l.lockWrite[r] = {Position(cols[1]), Position(cols[2]), Position(cols[3])};
        l.lockRead[r] = reads;
      }
    } else if (std::regex_match(line, std::regex(R"(\| \d+ \|.*)"))) {
      l.records.push_back(Split(line.substr(1, line.size() - 2), "|"));
    } else if (line.starts_with("Boot lock bits, where present")) {
      const std::regex quoted("\"(\\w+)\"");
      for (std::sregex_iterator it(line.begin(), line.end(), quoted), end; it != end; ++it) l.bootNames.push_back((*it)[1]);
      std::smatch m;
      EXPECT_TRUE(std::regex_search(line, m, std::regex(R"(at bits ([\d, ]+) of)")));
      for (const std::string& b : Split(m[1], ",")) l.bootBits.push_back(std::stoi(b));
    } else if (std::regex_match(line, std::regex(R"(- \d[^:]*: .*)"))) {
      const auto colon = line.find(": ");
      for (int r : Records(line.substr(2, colon - 2))) bodies[r] = line.substr(colon + 2);
    } else if (line.starts_with("Fuse warnings")) {
      std::smatch m;
      EXPECT_TRUE(std::regex_search(line, m, std::regex(R"(SPIEN is 1 \(must stay programmed\) in records ([^;]+);)")));
      l.spienWarned = Records(m[1]);
      EXPECT_TRUE(std::regex_search(line, m, std::regex(R"(RSTDISBL is -1 \(must stay unprogrammed\) in records ([^;]+);)")));
      l.rstdisblWarned = Records(m[1]);
    }
  }

  // The "as N ..." lists build on other records; resolve them on demand.
  std::function<std::vector<Fuse>(int)> resolve = [&](int r) -> std::vector<Fuse> {
    if (auto done = l.fuses.find(r); done != l.fuses.end()) return done->second;
    const std::string body = bodies.at(r);
    std::smatch m;
    std::vector<Fuse> out;
    if (std::regex_match(body, m, std::regex(R"(as (\d+) but (.*) in place of (\w+) and (\w+))"))) {
      out = resolve(std::stoi(m[1]));
      const auto added = FuseTokens(m[2]);
      for (std::size_t k = 0; k < 2; ++k)
        for (Fuse& f : out)
          if (f.name == m[3 + k].str()) f = added.at(k);
    } else if (std::regex_match(body, m, std::regex(R"(as (\d+) up to (\w+)(?: but (\w+) in place of (\w+))?, then (.*))"))) {
      for (const Fuse& f : resolve(std::stoi(m[1]))) {
        out.push_back(f);
        if (f.name == m[2].str()) break;
      }
      if (m[3].matched)
        for (Fuse& f : out)
          if (f.name == m[4].str()) f.name = m[3];
      std::string rest = m[5];
      std::smatch shown;
      if (std::regex_match(rest, shown, std::regex(R"((.*) with no write position.*)"))) {
        for (const std::string& n : Split(shown[1], ",")) out.push_back({n});
      } else {
        for (const Fuse& f : FuseTokens(rest)) out.push_back(f);
      }
    } else {
      out = FuseTokens(body);
    }
    return l.fuses[r] = out;
  };
  for (const auto& [r, body] : bodies) resolve(r);
  return l;
}

const Listing& TheListing() {
  static const Listing listing = Parse();
  return listing;
}

// An instruction as listed; "-" (not present) matches whatever the record holds there.
template <std::size_t N>
bool Listed(const std::array<std::uint8_t, N>& bytes, const std::string& column) {
  return column == "-" || std::vector<int>(bytes.begin(), bytes.end()) == Hex(column);
}

TEST(LockFuseLayout, InstructionsCountsAndChipsAsListed) {
  const Listing& l = TheListing();
  ASSERT_EQ(l.records.size(), static_cast<std::size_t>(LockFuseLayoutCount));
  EXPECT_EQ(LockFuseLayoutAt(LockFuseLayoutCount), nullptr);
  for (const auto& c : l.records) {
    const int r = std::stoi(c[0]);
    SCOPED_TRACE("record " + c[0]);
    const LockFuseLayout* layout = LockFuseLayoutAt(r);
    ASSERT_NE(layout, nullptr);
    EXPECT_TRUE(Listed(layout->lockWrite, c[2]) && c[2] != "-");
    EXPECT_TRUE(Listed(layout->lockRead, c[3]));
    EXPECT_TRUE(Listed(layout->fuseWrite1, c[5]));
    EXPECT_TRUE(Listed(layout->fuseRead1, c[6]));
    EXPECT_TRUE(Listed(layout->fuseWrite2, c[7]));
    EXPECT_TRUE(Listed(layout->fuseRead2, c[8]));
    EXPECT_TRUE(Listed(layout->fuseWrite3, c[9]));
    EXPECT_TRUE(Listed(layout->fuseRead3, c[10]));
    EXPECT_EQ(layout->lockReadPresent, c[3] != "-");
    EXPECT_EQ(layout->fuseRead1Present, c[6] != "-");
    EXPECT_EQ(layout->fuseWrite2Present, c[7] != "-");
    EXPECT_EQ(layout->fuseWrite3Present, c[9] != "-");
    EXPECT_EQ(layout->fuseCount, std::stoi(c[4]));
    EXPECT_EQ(layout->bootLockCount, c[11] == "-" ? 0 : std::stoi(c[11]));

    // Every chip named here points at this record, and no other chip does.
    std::set<std::string> named;
    if (c[1] != "(none)")
      for (const std::string& n : Split(c[1], ",")) named.insert(n);
    std::set<std::string> pointing;
    for (const DeviceRecord& d : DeviceTable())
      if (static_cast<int>(d.LockFuseLayoutIndex) == r) pointing.insert(std::string(d.Name));
    EXPECT_EQ(pointing, named);
  }
}

TEST(LockFuseLayout, LockAndBootLockBitsAsListed) {
  const Listing& l = TheListing();
  ASSERT_EQ(l.lockWrite.size(), static_cast<std::size_t>(LockFuseLayoutCount));
  for (int r = 0; r < LockFuseLayoutCount; ++r) {
    SCOPED_TRACE("record " + std::to_string(r));
    const LockFuseLayout& layout = *LockFuseLayoutAt(r);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(layout.lockWritePos[i], l.lockWrite.at(r)[i]) << "LB" << i + 1;
    for (std::size_t i = 3; i < layout.lockWritePos.size(); ++i) EXPECT_FALSE(layout.lockWritePos[i].Valid());
    EXPECT_EQ(layout.lockReadBit, l.lockRead.at(r));
    for (int i = 0; i < layout.bootLockCount; ++i) {
      EXPECT_EQ(layout.bootLockName[i], l.bootNames.at(i));
      EXPECT_EQ(layout.bootLockBit[i], l.bootBits.at(i));
    }
  }
}

TEST(LockFuseLayout, FuseBitsNamesPositionsReadBitsAndWarnings) {
  const Listing& l = TheListing();
  const std::set<int> fromLockByte = {2, 6, 7};
  for (int r = 0; r < LockFuseLayoutCount; ++r) {
    SCOPED_TRACE("record " + std::to_string(r));
    const LockFuseLayout& layout = *LockFuseLayoutAt(r);
    const auto listed = l.fuses.count(r) ? l.fuses.at(r) : std::vector<Fuse>{};
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
      int warn = 0;
      if (f.name == "SPIEN" && l.spienWarned.count(r)) warn = 1;
      if (f.name == "RSTDISBL" && l.rstdisblWarned.count(r)) warn = -1;
      EXPECT_EQ(layout.fuseWarn[i], warn) << f.name;
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
