#include "lockfuse/LockFuseLayout.h"

#include <cstddef>
#include <optional>
#include <span>

#include "devices/DeviceTable.h"

namespace zr7 {
namespace {

// A fuse bit as the data sheets list it: its write group (1..3) and its place in that group's
// instruction. Group 0: shown and read, but no instruction writes it.
struct Fuse {
  std::string_view name;
  int group;
  int byte;
  int bit;
};
constexpr Fuse Shown(std::string_view name) { return {name, 0, -1, -1}; }

// Where LB1, LB2, LB3 go in the lock write instruction.
enum class Locks {
  InByte1,     // LB1, LB2 in bits 1, 2 of byte 1; LB3 (0, 0) is never used
  At89S4Byte,  // LB1, LB2 in bits 0, 1 of byte 1; LB3 in bit 0 of byte 3
  InByte3,     // LB1, LB2 in bits 0, 1 of the data byte; LB3 (0, 0) is never used
  At89S3Byte,  // LB1, LB2, LB3 in bits 5, 6, 7 of byte 1
};

// Which fuse bits must keep their state for the chip to stay reachable.
enum class Warns { None, Spien, SpienAndRstdisbl };

struct Arrangement {
  Instruction4 lockWrite;
  Locks locks;
  std::optional<Instruction3> lockRead = std::nullopt;  // none: the chip cannot read its lock bits back
  std::array<std::int32_t, 3> lockReadBit = {-1, -1, -1};
  std::span<const Fuse> fuses = {};
  Instruction4 fuseWrite1 = {};
  std::optional<Instruction3> fuseRead1 = {};  // none: the fuse bits are in the lock byte
  std::optional<Instruction4> fuseWrite2 = {};
  Instruction3 fuseRead2 = {};
  std::optional<Instruction4> fuseWrite3 = {};
  Instruction3 fuseRead3 = {};
  bool bootLocks = false;
  Warns warns = Warns::None;
};

constexpr std::array<BitPosition, 3> LockPositions(Locks l) {
  switch (l) {
    case Locks::InByte1: return {{{1, 1}, {1, 2}, {0, 0}}};
    case Locks::At89S4Byte: return {{{1, 0}, {1, 1}, {3, 0}}};
    case Locks::InByte3: return {{{3, 0}, {3, 1}, {0, 0}}};
    case Locks::At89S3Byte: return {{{1, 5}, {1, 6}, {1, 7}}};
  }
  return {};
}

constexpr LockFuseLayout Build(const Arrangement& s) {
  LockFuseLayout l;
  // Every position and read bit starts absent, set here rather than left to the members'
  // defaults: GCC 12 loses some of those when it evaluates this table at compile time.
  for (auto* positions : {&l.lockWritePos, &l.fuseWritePos1, &l.fuseWritePos2, &l.fuseWritePos3})
    for (auto& p : *positions) p = BitPosition{-1, -1};
  for (auto* bits : {&l.fuseReadBit1, &l.fuseReadBit2, &l.fuseReadBit3})
    for (auto& b : *bits) b = -1;
  l.lockReadBit = {-1, -1, -1};
  l.bootLockBit = {-1, -1, -1, -1};
  l.lockWrite = s.lockWrite;
  const auto locks = LockPositions(s.locks);
  for (std::size_t i = 0; i < locks.size(); ++i) l.lockWritePos[i] = locks[i];
  l.lockReadPresent = s.lockRead.has_value();
  l.lockRead = s.lockRead.value_or(Instruction3{});
  l.lockReadBit = s.lockReadBit;

  l.fuseCount = static_cast<std::int32_t>(s.fuses.size());
  l.fuseWrite1 = s.fuseWrite1;
  l.fuseRead1Present = s.fuseRead1.has_value();
  l.fuseRead1 = s.fuseRead1.value_or(Instruction3{});
  l.fuseWrite2Present = s.fuseWrite2.has_value();
  l.fuseWrite2 = s.fuseWrite2.value_or(Instruction4{});
  l.fuseRead2 = s.fuseRead2;
  l.fuseWrite3Present = s.fuseWrite3.has_value();
  l.fuseWrite3 = s.fuseWrite3.value_or(Instruction4{});
  l.fuseRead3 = s.fuseRead3;

  for (std::size_t i = 0; i < s.fuses.size(); ++i) {
    const Fuse& f = s.fuses[i];
    l.fuseName[i] = f.name;
    if (s.warns != Warns::None && f.name == "SPIEN") l.fuseWarn[i] = 1;
    if (s.warns == Warns::SpienAndRstdisbl && f.name == "RSTDISBL") l.fuseWarn[i] = -1;
    const BitPosition at{f.byte, f.bit};
    // A bit of a later group reads bit 0 of the first reply until its own group overwrites it.
    l.fuseReadBit1[i] = f.group == 1 ? f.bit : 0;
    if (f.group == 1) l.fuseWritePos1[i] = at;
    if (f.group == 2) {
      l.fuseWritePos2[i] = at;
      l.fuseReadBit2[i] = f.bit;
    }
    if (f.group == 3) {
      l.fuseWritePos3[i] = at;
      l.fuseReadBit3[i] = f.bit;
    }
  }
  if (s.bootLocks) {
    l.bootLockCount = BootLockLayoutBits;
    l.bootLockBit = {2, 3, 4, 5};
    l.bootLockName = {"BLB01", "BLB02", "BLB11", "BLB12"};
  }
  return l;
}

// The instructions most records share.
constexpr Instruction4 kLockAvr = {0xAC, 0xE0, 0x00, 0x00};
constexpr Instruction4 kLockEarly = {0xAC, 0xFF, 0x00, 0x00};
constexpr Instruction4 kLockLate = {0xAC, 0xFF, 0xFF, 0xFF};
constexpr Instruction4 kLock89S = {0xAC, 0xFF, 0xFF, 0x00};
constexpr Instruction3 kReadLock = {0x58, 0x00, 0x00};
constexpr Instruction3 kReadLockFF = {0x58, 0xFF, 0xFF};
constexpr Instruction3 kReadFuseFF = {0x50, 0xFF, 0xFF};
constexpr Instruction4 kWriteEarlyFuse = {0xAC, 0xBF, 0x00, 0x00};
constexpr Instruction4 kWriteEarlyFuseFF = {0xAC, 0xBF, 0xFF, 0xFF};
constexpr Instruction4 kWriteLow = {0xAC, 0xA0, 0xFF, 0xFF};
constexpr Instruction3 kReadLow = {0x50, 0x00, 0x00};
constexpr Instruction4 kWriteHigh = {0xAC, 0xA8, 0xFF, 0xFF};
constexpr Instruction3 kReadHigh = {0x58, 0x08, 0x00};
constexpr Instruction4 kWriteExt = {0xAC, 0xA4, 0xFF, 0xFF};
constexpr Instruction3 kReadExt = {0x50, 0x08, 0x00};
constexpr std::array<std::int32_t, 3> kReadLate = {0, 1, -1};

// Fuse bits, in index order.
constexpr Fuse kFstrt[] = {{"FSTRT", 1, 1, 0}};
constexpr Fuse kRcen[] = {{"RCEN", 1, 1, 0}};
constexpr Fuse kFuses3[] = {{"SUT0", 1, 1, 0}, {"SUT1", 1, 1, 1}, {"EESAVE", 1, 1, 3}};
constexpr Fuse kFuses4[] = {{"CKSEL0", 1, 3, 0}, {"CKSEL1", 1, 3, 1}, {"RSTDISBL", 1, 3, 4},
                            {"SPIEN", 1, 3, 5},  {"BODEN", 1, 3, 6},  {"BODLEVEL", 1, 3, 7}};
constexpr Fuse kFuses5[] = {{"CKSEL0", 1, 1, 0}, {"CKSEL1", 1, 1, 1},   {"CKSEL2", 1, 1, 2},
                            {"BODEN", 1, 1, 3},  {"BODLEVEL", 1, 1, 4}, {"SPIEN", 1, 1, 5}};
constexpr Fuse kFuses8[] = {{"CKSEL0", 1, 3, 0},   {"CKSEL1", 1, 3, 1}, {"CKSEL2", 1, 3, 2},
                            {"CKSEL3", 1, 3, 3},   {"RSTDISBL", 1, 3, 4}, {"SPIEN", 1, 3, 5},
                            {"BODEN", 1, 3, 6},    {"BODLEVEL", 1, 3, 7}};
constexpr Fuse kFuses9[] = {{"CKSEL0", 1, 3, 0}, {"CKSEL1", 1, 3, 1},   {"CKSEL2", 1, 3, 2},
                            {"CKSEL3", 1, 3, 3}, {"BODEN", 1, 3, 6},    {"BODLEVEL", 1, 3, 7},
                            {"BOOTSTRT", 2, 3, 0}, {"BOOTSZ0", 2, 3, 1}, {"BOOTSZ1", 2, 3, 2}};
constexpr Fuse kFuses10[] = {
    {"CKSEL0", 1, 3, 0},  {"CKSEL1", 1, 3, 1},  {"CKSEL2", 1, 3, 2}, {"CKSEL3", 1, 3, 3},
    {"SUT0", 1, 3, 4},    {"SUT1", 1, 3, 5},    {"BODEN", 1, 3, 6},  {"BODLEVEL", 1, 3, 7},
    {"BOOTRST", 2, 3, 0}, {"BOOTSZ0", 2, 3, 1}, {"BOOTSZ1", 2, 3, 2}, {"EESAVE", 2, 3, 3},
    {"CKOPT", 2, 3, 4},   {"SPIEN", 2, 3, 5},   {"JTAGEN", 2, 3, 6}, {"OCDEN", 2, 3, 7},
    {"WDTON", 3, 3, 0},   {"M103C", 3, 3, 1}};
constexpr Fuse kFuses11[] = {{"CKSEL0", 1, 3, 0}, {"CKSEL1", 1, 3, 1},   {"CKSEL2", 1, 3, 2},
                             {"BODEN", 1, 3, 3},  {"BODLEVEL", 1, 3, 4}, {"SPIEN", 1, 3, 5},
                             {"BOOTRST", 1, 3, 6}};
constexpr Fuse kFuses12[] = {
    {"CKSEL0", 1, 3, 0},  {"CKSEL1", 1, 3, 1},  {"CKSEL2", 1, 3, 2},  {"CKSEL3", 1, 3, 3},
    {"SUT0", 1, 3, 4},    {"SUT1", 1, 3, 5},    {"BODEN", 1, 3, 6},   {"BODLEVEL", 1, 3, 7},
    {"BOOTRST", 2, 3, 0}, {"BOOTSZ0", 2, 3, 1}, {"BOOTSZ1", 2, 3, 2}, {"EESAVE", 2, 3, 3},
    {"CKOPT", 2, 3, 4},   {"SPIEN", 2, 3, 5},   {"WDTON", 2, 3, 6},   {"RSTDISBL", 2, 3, 7}};
constexpr Fuse kFuses16[] = {
    {"CKSEL0", 1, 3, 0},  {"CKSEL1", 1, 3, 1},  {"CKSEL2", 1, 3, 2},  {"CKSEL3", 1, 3, 3},
    {"SUT0", 1, 3, 4},    {"SUT1", 1, 3, 5},    {"BODEN", 1, 3, 6},   {"BODLEVEL", 1, 3, 7},
    {"BOOTRST", 2, 3, 0}, {"BOOTSZ0", 2, 3, 1}, {"BOOTSZ1", 2, 3, 2}, {"EESAVE", 2, 3, 3},
    {"CKOPT", 2, 3, 4},   {"SPIEN", 2, 3, 5},   {"JTAGEN", 2, 3, 6},  {"OCDEN", 2, 3, 7}};
constexpr Fuse kFuses14[] = {
    {"CKSEL0", 1, 3, 0}, {"CKSEL1", 1, 3, 1},   {"CKSEL2", 1, 3, 2}, {"CKSEL3", 1, 3, 3},
    {"SUT0", 1, 3, 4},   {"SUT1", 1, 3, 5},     {"CKOPT", 1, 3, 6},  {"PLLCK", 1, 3, 7},
    {"BODEN", 2, 3, 0},  {"BODLEVEL", 2, 3, 1}, {"EESAVE", 2, 3, 2}, {"SPIEN", 2, 3, 3},
    {"RSTDISBL", 2, 3, 4}};
constexpr Fuse kFuses15[] = {
    {"CKSEL0", 1, 3, 0},   {"CKSEL1", 1, 3, 1},  {"CKSEL2", 1, 3, 2},  {"CKSEL3", 1, 3, 3},
    {"BODEN", 1, 3, 6},    {"BODLEVEL", 1, 3, 7}, {"BOOTSTRT", 2, 3, 0}, {"BOOTSZ0", 2, 3, 1},
    {"BOOTSZ1", 2, 3, 2},  {"EESAVE", 2, 3, 3},  {"JTAGEN", 2, 3, 6},  {"OCDEN", 2, 3, 7}};
constexpr Fuse kFuses17[] = {
    {"CKSEL0", 1, 3, 0},  {"CKSEL1", 1, 3, 1},  {"CKSEL2", 1, 3, 2},  {"CKSEL3", 1, 3, 3},
    {"SUT0", 1, 3, 4},    {"SUT1", 1, 3, 5},    {"BODEN", 1, 3, 6},   {"BODLEVEL", 1, 3, 7},
    {"BOOTRST", 2, 3, 0}, {"BOOTSZ0", 2, 3, 1}, {"BOOTSZ1", 2, 3, 2}, {"EESAVE", 2, 3, 3},
    {"CKOPT", 2, 3, 4},   {"SPIEN", 2, 3, 5},   {"WDTON", 2, 3, 6},   {"S8515C", 2, 3, 7}};
constexpr Fuse kFuses18[] = {
    {"CKSEL0", 1, 3, 0},  {"CKSEL1", 1, 3, 1},  {"CKSEL2", 1, 3, 2},  {"CKSEL3", 1, 3, 3},
    {"SUT0", 1, 3, 4},    {"SUT1", 1, 3, 5},    {"BODEN", 1, 3, 6},   {"BODLEVEL", 1, 3, 7},
    {"BOOTRST", 2, 3, 0}, {"BOOTSZ0", 2, 3, 1}, {"BOOTSZ1", 2, 3, 2}, {"EESAVE", 2, 3, 3},
    {"CKOPT", 2, 3, 4},   {"SPIEN", 2, 3, 5},   {"WDTON", 2, 3, 6},   {"S8535C", 2, 3, 7}};
constexpr Fuse kFuses19[] = {
    {"CKSEL0", 1, 3, 0},    {"CKSEL1", 1, 3, 1},    {"CKSEL2", 1, 3, 2},    {"CKSEL3", 1, 3, 3},
    {"SUT0", 1, 3, 4},      {"SUT1", 1, 3, 5},      {"CKOUT", 1, 3, 6},     {"CKDIV16", 1, 3, 7},
    {"BOOTRST", 2, 3, 0},   {"BOOTSZ0", 2, 3, 1},   {"BOOTSZ1", 2, 3, 2},   {"EESAVE", 2, 3, 3},
    {"WDTON", 2, 3, 4},     {"SPIEN", 2, 3, 5},     {"JTAGEN", 2, 3, 6},    {"OCDEN", 2, 3, 7},
    {"BODLEVEL0", 3, 3, 1}, {"BODLEVEL1", 3, 3, 2}, {"BODLEVEL2", 3, 3, 3}, {"M161C", 3, 3, 4}};
constexpr Fuse kFuses21[] = {
    {"CKSEL0", 1, 3, 0},   {"CKSEL1", 1, 3, 1},    {"CKSEL2", 1, 3, 2},    {"CKSEL3", 1, 3, 3},
    {"SUT0", 1, 3, 4},     {"SUT1", 1, 3, 5},      {"CKOUT", 1, 3, 6},     {"CKDIV16", 1, 3, 7},
    {"BOOTRST", 2, 3, 0},  {"BOOTSZ0", 2, 3, 1},   {"BOOTSZ1", 2, 3, 2},   {"EESAVE", 2, 3, 3},
    {"WDTON", 2, 3, 4},    {"SPIEN", 2, 3, 5},     {"JTAGEN", 2, 3, 6},    {"OCDEN", 2, 3, 7},
    {"RSTDISBL", 3, 3, 0}, {"BODLEVEL0", 3, 3, 1}, {"BODLEVEL1", 3, 3, 2}, {"BODLEVEL2", 3, 3, 3}};
constexpr Fuse kFuses23[] = {
    {"CKSEL0", 1, 3, 0},   {"CKSEL1", 1, 3, 1},    {"SUT0", 1, 3, 2},      {"SUT1", 1, 3, 3},
    {"CKDIV8", 1, 3, 4},   {"WDTON", 1, 3, 5},     {"EESAVE", 1, 3, 6},    {"SPIEN", 1, 3, 7},
    {"RSTDISBL", 2, 3, 0}, {"BODLEVEL0", 2, 3, 1}, {"BODLEVEL1", 2, 3, 2}, {"DWEN", 2, 3, 3},
    {"SPMEN", 2, 3, 4}};
constexpr Fuse kFuses24[] = {
    {"CKSEL0", 1, 3, 0},   {"CKSEL1", 1, 3, 1},    {"CKSEL2", 1, 3, 2},    {"CKSEL3", 1, 3, 3},
    {"SUT0", 1, 3, 4},     {"SUT1", 1, 3, 5},      {"CKOUT", 1, 3, 6},     {"CKDIV8", 1, 3, 7},
    {"RSTDISBL", 2, 3, 0}, {"BODLEVEL0", 2, 3, 1}, {"BODLEVEL1", 2, 3, 2}, {"BODLEVEL2", 2, 3, 3},
    {"WDTON", 2, 3, 4},    {"SPIEN", 2, 3, 5},     {"EESAVE", 2, 3, 6},    {"DWEN", 2, 3, 7},
    {"SPMEN", 3, 3, 0}};
constexpr Fuse kFuses25[] = {
    {"CKSEL0", 1, 3, 0},    {"CKSEL1", 1, 3, 1},    {"CKSEL2", 1, 3, 2},    {"CKSEL3", 1, 3, 3},
    {"SUT0", 1, 3, 4},      {"SUT1", 1, 3, 5},      {"CKOUT", 1, 3, 6},     {"CKDIV8", 1, 3, 7},
    {"BODLEVEL0", 2, 3, 0}, {"BODLEVEL1", 2, 3, 1}, {"BODLEVEL2", 2, 3, 2}, {"EESAVE", 2, 3, 3},
    {"WDTON", 2, 3, 4},     {"SPIEN", 2, 3, 5},     {"DWEN", 2, 3, 6},      {"RSTDISBL", 2, 3, 7},
    {"SELFPRGEN", 3, 3, 0}};
constexpr Fuse kFuses26[] = {
    {"CKSEL0", 1, 3, 0},    {"CKSEL1", 1, 3, 1},    {"CKSEL2", 1, 3, 2},    {"CKSEL3", 1, 3, 3},
    {"SUT0", 1, 3, 4},      {"SUT1", 1, 3, 5},      {"CKOUT", 1, 3, 6},     {"CKDIV8", 1, 3, 7},
    {"BODLEVEL0", 2, 3, 0}, {"BODLEVEL1", 2, 3, 1}, {"BODLEVEL2", 2, 3, 2}, {"EESAVE", 2, 3, 3},
    {"WDTON", 2, 3, 4},     {"SPIEN", 2, 3, 5},     {"DWEN", 2, 3, 6},      {"RSTDISBL", 2, 3, 7},
    {"BOOTRST", 3, 3, 0},   {"BOOTSZ0", 3, 3, 1},   {"BOOTSZ1", 3, 3, 2}};
constexpr Fuse kFuses29[] = {
    {"CKSEL0", 1, 3, 0},  {"CKSEL1", 1, 3, 1},    {"CKSEL2", 1, 3, 2},    {"CKSEL3", 1, 3, 3},
    {"SUT0", 1, 3, 4},    {"SUT1", 1, 3, 5},      {"CKOUT", 1, 3, 6},     {"CKDIV8", 1, 3, 7},
    {"BOOTRST", 2, 3, 0}, {"BOOTSZ0", 2, 3, 1},   {"BOOTSZ1", 2, 3, 2},   {"EESAVE", 2, 3, 3},
    {"WDTON", 2, 3, 4},   {"SPIEN", 2, 3, 5},     {"JTAGEN", 2, 3, 6},    {"OCDEN", 2, 3, 7},
    {"TA0SEL", 3, 3, 0},  {"BODLEVEL0", 3, 3, 1}, {"BODLEVEL1", 3, 3, 2}, {"BODLEVEL2", 3, 3, 3}};
constexpr Fuse kFuses30[] = {
    {"CKSEL0", 1, 3, 0},   {"CKSEL1", 1, 3, 1},    {"CKSEL2", 1, 3, 2},  {"CKSEL3", 1, 3, 3},
    {"SUT0", 1, 3, 4},     {"SUT1", 1, 3, 5},      {"CKOUT", 1, 3, 6},   {"CKDIV8", 1, 3, 7},
    {"BOOTRST", 2, 3, 0},  {"BOOTSZ0", 2, 3, 1},   {"BOOTSZ1", 2, 3, 2}, {"EESAVE", 2, 3, 3},
    {"WDTON", 2, 3, 4},    {"SPIEN", 2, 3, 5},     {"JTAGEN", 2, 3, 6},  {"OCDEN", 2, 3, 7},
    {"RSTDISBL", 3, 3, 0}, {"BODLEVEL0", 3, 3, 1}, {"BODLEVEL1", 3, 3, 2}};
constexpr Fuse kFuses31[] = {
    {"CKSEL0", 1, 3, 0},    {"CKSEL1", 1, 3, 1},    {"CKSEL2", 1, 3, 2},    {"CKSEL3", 1, 3, 3},
    {"SUT0", 1, 3, 4},      {"SUT1", 1, 3, 5},      {"CKOUT", 1, 3, 6},     {"CKDIV8", 1, 3, 7},
    {"BODLEVEL0", 2, 3, 0}, {"BODLEVEL1", 2, 3, 1}, {"BODLEVEL2", 2, 3, 2}, {"EESAVE", 2, 3, 3},
    {"WDTON", 2, 3, 4},     {"SPIEN", 2, 3, 5},     {"DWEN", 2, 3, 6},      {"RSTDISBL", 2, 3, 7},
    Shown("BOOTRST"),       Shown("BOOTSZ0"),       Shown("BOOTSZ1"),       Shown("PSCRV"),
    Shown("PSC0RB"),        Shown("PSC1RB"),        Shown("PSC2RB")};
constexpr Fuse kFuses32[] = {
    {"CKSEL0", 1, 3, 0},  {"CKSEL1", 1, 3, 1},  {"CKSEL2", 1, 3, 2}, {"CKSEL3", 1, 3, 3},
    {"SUT0", 1, 3, 4},    {"SUT1", 1, 3, 5},    {"CKOUT", 1, 3, 6},  {"CKDIV8", 1, 3, 7},
    {"BOOTRST", 2, 3, 0}, {"BOOTSZ0", 2, 3, 1}, {"BOOTSZ1", 2, 3, 2}, {"EESAVE", 2, 3, 3},
    {"WDTON", 2, 3, 4},   {"SPIEN", 2, 3, 5},   {"JTAGEN", 2, 3, 6}, {"OCDEN", 2, 3, 7},
    {"BODLEVEL0", 3, 3, 0}, {"BODLEVEL1", 3, 3, 1}, {"BODLEVEL2", 3, 3, 2}};

// The usual later AVR: lock byte and two fuse bytes (58 00 00, 50 00 00, 58 08 00).
constexpr Arrangement TwoGroups(std::span<const Fuse> fuses, bool bootLocks, Warns warns) {
  return {.lockWrite = kLockLate, .locks = Locks::InByte3, .lockRead = kReadLock, .lockReadBit = kReadLate,
          .fuses = fuses, .fuseWrite1 = kWriteLow, .fuseRead1 = kReadLow, .fuseWrite2 = kWriteHigh,
          .fuseRead2 = kReadHigh, .bootLocks = bootLocks, .warns = warns};
}
// ... with the extended fuse byte as well (AC A4, 50 08 00).
constexpr Arrangement ThreeGroups(std::span<const Fuse> fuses, bool bootLocks = true) {
  Arrangement s = TwoGroups(fuses, bootLocks, Warns::Spien);
  s.fuseWrite3 = kWriteExt;
  s.fuseRead3 = kReadExt;
  return s;
}
// The first AVRs: the lock instruction carries LB1 and LB2 in its second byte.
constexpr Arrangement Early(Instruction3 lockRead, std::array<std::int32_t, 3> lockBits, std::span<const Fuse> fuses,
                     Instruction4 fuseWrite, std::optional<Instruction3> fuseRead, Warns warns) {
  return {.lockWrite = kLockEarly, .locks = Locks::InByte1, .lockRead = lockRead, .lockReadBit = lockBits,
          .fuses = fuses, .fuseWrite1 = fuseWrite, .fuseRead1 = fuseRead, .warns = warns};
}

constexpr std::array<std::int32_t, 3> kRead76 = {7, 6, -1};
constexpr std::array<std::int32_t, 3> kRead12 = {1, 2, -1};

// Record position is the LockFuseLayoutIndex of the device rows: never reorder.
constexpr std::array<LockFuseLayout, LockFuseLayoutCount> kLayouts = {
    // 0: AT90S2313, AT90S8515, and the serial memories
    Build({.lockWrite = kLockAvr, .locks = Locks::InByte1}),
    // 1: AT89S51, AT89S52
    Build({.lockWrite = kLockAvr, .locks = Locks::At89S4Byte, .lockRead = Instruction3{0x24, 0x00, 0x00},
           .lockReadBit = {2, 3, 4}}),
    // 2: the fuse bit is read back in the lock byte
    Build(Early(kReadLock, kRead76, kFstrt, kWriteEarlyFuse, std::nullopt, Warns::None)),
    // 3
    Build(Early(kReadLockFF, kRead12, kFuses3, kWriteEarlyFuse, kReadFuseFF, Warns::None)),
    // 4: ATtiny15
    Build(Early(kReadLockFF, kRead12, kFuses4, kWriteEarlyFuseFF, kReadFuseFF, Warns::SpienAndRstdisbl)),
    // 5
    Build(Early(kReadLockFF, kRead12, kFuses5, kWriteEarlyFuseFF, kReadFuseFF, Warns::Spien)),
    // 6
    Build(Early(kReadLockFF, kRead76, kFstrt, kWriteEarlyFuseFF, std::nullopt, Warns::None)),
    // 7
    Build(Early(kReadLockFF, kRead76, kRcen, kWriteEarlyFuseFF, std::nullopt, Warns::None)),
    // 8: ATtiny12
    Build(Early(kReadLockFF, kRead12, kFuses8, kWriteEarlyFuseFF, kReadFuseFF, Warns::SpienAndRstdisbl)),
    // 9
    Build(TwoGroups(kFuses9, true, Warns::None)),
    // 10: ATmega128
    Build(ThreeGroups(kFuses10)),
    // 11: ATmega161, one fuse byte with its own write instruction
    Build({.lockWrite = kLockLate, .locks = Locks::InByte3, .lockRead = kReadLockFF, .lockReadBit = kReadLate,
           .fuses = kFuses11, .fuseWrite1 = Instruction4{0xAC, 0xAF, 0xFF, 0xFF}, .fuseRead1 = kReadFuseFF,
           .bootLocks = true, .warns = Warns::Spien}),
    // 12: ATmega8
    Build(TwoGroups(kFuses12, true, Warns::Spien)),
    // 13: ATmega16
    Build(TwoGroups(kFuses16, true, Warns::Spien)),
    // 14: ATtiny26
    Build(TwoGroups(kFuses14, false, Warns::None)),
    // 15
    Build(TwoGroups(kFuses15, true, Warns::None)),
    // 16: ATmega32
    Build(TwoGroups(kFuses16, true, Warns::Spien)),
    // 17: ATmega8515
    Build(TwoGroups(kFuses17, true, Warns::Spien)),
    // 18: ATmega8535
    Build(TwoGroups(kFuses18, true, Warns::Spien)),
    // 19: ATmega162
    Build(ThreeGroups(kFuses19)),
    // 20: ATmega64
    Build(ThreeGroups(kFuses10)),
    // 21: ATmega165, ATmega169
    Build(ThreeGroups(kFuses21)),
    // 22: AT86RF401
    Build({.lockWrite = kLockAvr, .locks = Locks::InByte1}),
    // 23: ATtiny13
    Build(TwoGroups(kFuses23, false, Warns::None)),
    // 24: ATtiny2313; its data sheet: LB1 and LB2 only, no boot lock bits
    Build(ThreeGroups(kFuses24, false)),
    // 25: ATmega48; its data sheet: LB1 and LB2 only, no boot lock bits
    Build(ThreeGroups(kFuses25, false)),
    // 26: ATmega88, ATmega168; this second fuse instruction is data and goes out as it is
    Build([] {
      Arrangement s = ThreeGroups(kFuses26);
      s.fuseWrite2 = Instruction4{0xAC, 0xA8, 0x00, 0xFF};
      return s;
    }()),
    // 27: AT89S8252
    Build({.lockWrite = kLock89S, .locks = Locks::At89S3Byte}),
    // 28: AT89S2051, AT89S4051, AT89S53
    Build({.lockWrite = kLock89S, .locks = Locks::At89S3Byte}),
    // 29: AT90CAN128
    Build(ThreeGroups(kFuses29)),
    // 30: ATmega325/3250, ATmega645/6450
    Build(ThreeGroups(kFuses30)),
    // 31: the last seven bits are shown and read, never written
    Build(TwoGroups(kFuses31, true, Warns::Spien)),
    // 32: ATmega644, ATmega2560/2561 (their data sheets give the same fuse bits)
    Build(ThreeGroups(kFuses32)),
};

}  // namespace

const LockFuseLayout* LockFuseLayoutAt(int index) {
  if (index < 0 || index >= LockFuseLayoutCount) return nullptr;
  return &kLayouts[static_cast<std::size_t>(index)];
}

const LockFuseLayout& LayoutOf(const DeviceRecord& device) {
  const LockFuseLayout* layout = LockFuseLayoutAt(static_cast<int>(device.LockFuseLayoutIndex));
  return layout ? *layout : kLayouts[0];
}

bool HasFuseGroup(const LockFuseLayout& layout, int group) {
  switch (group) {
    case 1: return layout.fuseCount > 0;
    case 2: return layout.fuseCount > 0 && layout.fuseWrite2Present;
    case 3: return layout.fuseCount > 0 && layout.fuseWrite3Present;
    default: return false;
  }
}

const Instruction4& FuseWriteOf(const LockFuseLayout& layout, int group) {
  return group == 3 ? layout.fuseWrite3 : group == 2 ? layout.fuseWrite2 : layout.fuseWrite1;
}
const WritePositions& FuseWritePosOf(const LockFuseLayout& layout, int group) {
  return group == 3 ? layout.fuseWritePos3 : group == 2 ? layout.fuseWritePos2 : layout.fuseWritePos1;
}
const Instruction3& FuseReadOf(const LockFuseLayout& layout, int group) {
  return group == 3 ? layout.fuseRead3 : group == 2 ? layout.fuseRead2 : layout.fuseRead1;
}
const ReadBits& FuseReadBitOf(const LockFuseLayout& layout, int group) {
  return group == 3 ? layout.fuseReadBit3 : group == 2 ? layout.fuseReadBit2 : layout.fuseReadBit1;
}

int GroupOfFuse(const LockFuseLayout& layout, int index) {
  if (index < 0 || index >= layout.fuseCount) return 0;
  for (int g = 1; g <= FuseGroupCount; ++g)
    if (HasFuseGroup(layout, g) && FuseWritePosOf(layout, g)[static_cast<std::size_t>(index)].Valid()) return g;
  return 0;
}

}  // namespace zr7
