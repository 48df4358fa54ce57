#include "lockfuse/LockFuseRules.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"
#include "devices/ChipActions.h"
#include "devices/DeviceTable.h"
#include "text/MessageIds.h"

namespace zr7 {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

bool Programmed(const LockFuseState& state, std::string_view name, const LockFuseLayout& layout, bool& exists) {
  const int i = FindFuse(layout, name);
  exists = i >= 0;
  return exists && state.fuse[static_cast<std::size_t>(i)];
}

// Fuses whose programmed state ends serial programming, wherever a chip has them.
constexpr std::string_view kEndsWhenProgrammed[] = {"RSTDISBL", "DWEN"};
constexpr std::string_view kClockSelect[] = {"CKSEL0", "CKSEL1", "CKSEL2", "CKSEL3"};

}  // namespace

bool HasLockFuseBits(const DeviceRecord& device) { return ActionAllowed(device, ChipAction::LockFuseBits); }

bool SameLockFuseLayout(int madeForDevice, int chipDevice) {
  const DeviceRecord* madeFor = DeviceAt(madeForDevice);
  const DeviceRecord* chip = DeviceAt(chipDevice);
  return madeFor && chip && madeFor->LockFuseLayoutIndex == chip->LockFuseLayoutIndex;
}

int LockModeNameId(std::uint32_t programmingClass, int lockMode) {
  const int base = programmingClass == ClassAvr ? msg::LockModeAvrNone : msg::LockModeOtherNone;
  return base + std::clamp(lockMode, 0, LockModeCount - 1);
}

std::string PlainLabel(std::string_view label) {
  std::string out;
  for (std::size_t i = 0; i < label.size(); ++i) {
    if (label[i] != '&') {
      out += label[i];
    } else if (i + 1 < label.size() && label[i + 1] == '&') {
      out += '&';
      ++i;
    }
  }
  return out;
}

std::string LockModeName(const MessageCatalog& catalog, std::uint32_t programmingClass, int lockMode) {
  if (lockMode < 0 || lockMode >= LockModeCount) return "?";
  return PlainLabel(catalog.GetText(LockModeNameId(programmingClass, lockMode)));
}

bool LockModeEncodable(const LockFuseLayout& layout, std::uint32_t programmingClass, int lockMode) {
  if (lockMode < 0 || lockMode >= LockModeCount) return false;
  if (programmingClass != ClassAt89S4Byte) return true;
  for (int k = 1; k <= lockMode; ++k)
    if ((layout.lockWrite[1] | k) == layout.lockWrite[1]) return false;
  return true;
}

std::uint8_t FuseGroupByte(const LockFuseLayout& layout, int group, const LockFuseState& state) {
  std::uint8_t value = 0xFF;
  if (!HasFuseGroup(layout, group)) return value;
  const WritePositions& pos = FuseWritePosOf(layout, group);
  for (int i = 0; i < layout.fuseCount; ++i) {
    const BitPosition p = pos[static_cast<std::size_t>(i)];
    if (p.Valid() && state.fuse[static_cast<std::size_t>(i)]) value = static_cast<std::uint8_t>(value & ~(1u << p.bit));
  }
  return value;
}

void SetFuseGroupByte(const LockFuseLayout& layout, int group, std::uint8_t value, LockFuseState& state) {
  if (!HasFuseGroup(layout, group)) return;
  const WritePositions& pos = FuseWritePosOf(layout, group);
  for (int i = 0; i < layout.fuseCount; ++i) {
    const BitPosition p = pos[static_cast<std::size_t>(i)];
    if (p.Valid()) state.fuse[static_cast<std::size_t>(i)] = (value >> p.bit & 1) == 0;
  }
}

int FindFuse(const LockFuseLayout& layout, std::string_view name) {
  for (int i = 0; i < layout.fuseCount; ++i)
    if (SameName(layout.fuseName[static_cast<std::size_t>(i)], name)) return i;
  return -1;
}

int FindBootLock(const LockFuseLayout& layout, std::string_view name) {
  for (int i = 0; i < layout.bootLockCount; ++i)
    if (SameName(layout.bootLockName[static_cast<std::size_t>(i)], name)) return i;
  return -1;
}

FuseCheck CheckFuses(const LockFuseLayout& layout, const LockFuseState& state, bool spienEverywhere) {
  FuseCheck check;
  // The clock check needs the four selection bits exactly where the data sheets put them.
  bool clock = layout.fuseCount >= static_cast<int>(std::size(kClockSelect));
  for (std::size_t i = 0; i < std::size(kClockSelect) && clock; ++i) clock = layout.fuseName[i] == kClockSelect[i];
  for (int i = 0; i < layout.fuseCount; ++i) {
    const auto at = static_cast<std::size_t>(i);
    const std::string_view name = layout.fuseName[at];
    const bool on = state.fuse[at];
    const bool mustStayOn = layout.fuseWarn[at] == 1 || (spienEverywhere && name == "SPIEN");
    const bool mustStayOff = layout.fuseWarn[at] == -1 ||
                             std::find(std::begin(kEndsWhenProgrammed), std::end(kEndsWhenProgrammed), name) !=
                                 std::end(kEndsWhenProgrammed);
    if (mustStayOn && !on) check.concerns.push_back({i, true});
    if (mustStayOff && on) check.concerns.push_back({i, false});
  }
  check.externalClockOnly = clock && std::all_of(state.fuse.begin(), state.fuse.begin() + 4, [](bool b) { return b; });
  return check;
}

std::string FuseWarningText(const MessageCatalog& catalog, const LockFuseLayout& layout, const FuseCheck& check,
                            bool question) {
  std::string text = catalog.GetText(msg::FuseWarningIntro);
  for (const FuseConcern& c : check.concerns) {
    const std::string name(layout.fuseName[static_cast<std::size_t>(c.fuse)]);
    text += FormatText(catalog.GetText(c.shouldBeProgrammed ? msg::FuseShouldBeProgrammed : msg::FuseShouldBeUnprogrammed),
                       name.c_str());
  }
  if (check.externalClockOnly) text += catalog.GetText(msg::ExternalClockOnly);
  if (question) text += catalog.GetText(msg::ContinueQuestion);
  return text;
}

bool ConfirmFuses(OperatorInterface& op, const MessageCatalog& catalog, const LockFuseLayout& layout,
                  const LockFuseState& state) {
  const FuseCheck check = CheckFuses(layout, state);
  if (!check.Any()) return true;
  return op.ShowBox({catalog.GetText(msg::WarningCaption), FuseWarningText(catalog, layout, check), BoxIcon::Question,
                     BoxButtons::YesNo}) == BoxAnswer::Yes;
}

bool EndsSerialProgramming(const LockFuseLayout& layout, const LockFuseState& state) {
  bool exists = false;
  const bool spien = Programmed(state, "SPIEN", layout, exists);
  if (exists && !spien) return true;
  for (std::string_view name : kEndsWhenProgrammed)
    if (Programmed(state, name, layout, exists)) return true;
  return false;
}

void ForceWarnedFuses(const LockFuseLayout& layout, LockFuseState& state) {
  for (int i = 0; i < layout.fuseCount; ++i) {
    const auto at = static_cast<std::size_t>(i);
    if (layout.fuseWarn[at] == 1) state.fuse[at] = true;
    if (layout.fuseWarn[at] == -1) state.fuse[at] = false;
  }
  state.readable = layout.lockReadPresent;
}

LockFuseComparison CompareLockFuse(const MessageCatalog& catalog, const DeviceRecord& device,
                                   const LockFuseState& expected, const LockFuseState& actual) {
  const LockFuseLayout& layout = LayoutOf(device);
  std::string lines;
  if (expected.lockMode != actual.lockMode) {
    const std::string want = LockModeName(catalog, device.ProgrammingClass, expected.lockMode);
    const std::string is = LockModeName(catalog, device.ProgrammingClass, actual.lockMode);
    lines += FormatText(catalog.GetText(msg::LockModeShouldBe), want.c_str(), is.c_str());
  }
  auto bit = [&](std::string_view name, bool want, bool is) {
    if (want == is) return;
    const std::string n(name);
    lines += FormatText(catalog.GetText(is ? msg::BitShouldBeUnprogrammed : msg::BitShouldBeProgrammed), n.c_str());
  };
  for (int i = 0; i < layout.fuseCount; ++i) {
    const auto at = static_cast<std::size_t>(i);
    bit(layout.fuseName[at], expected.fuse[at], actual.fuse[at]);
  }
  for (int i = 0; i < layout.bootLockCount; ++i) {
    const auto at = static_cast<std::size_t>(i);
    bit(layout.bootLockName[at], expected.bootLock[at], actual.bootLock[at]);
  }
  LockFuseComparison result;
  result.matched = lines.empty();
  result.text = result.matched ? catalog.GetText(msg::LockFuseVerifyOk) : catalog.GetText(msg::LockFuseVerifyFailed) + lines;
  return result;
}

}  // namespace zr7
