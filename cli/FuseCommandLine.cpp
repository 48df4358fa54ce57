#include "FuseCommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <iostream>
#include <optional>

#include "ChipCommandLine.h"
#include "text/MessageCatalog.h"
#include "devices/DeviceTable.h"
#include "lockfuse/LockFuseCommands.h"
#include "lockfuse/LockFuseLayout.h"
#include "text/MessageIds.h"
#include "lockfuse/LockFuseRules.h"

namespace zr7cli {

using namespace zr7;

namespace {

constexpr const char* kGroupOptions[FuseGroupCount] = {"--fuse-low", "--fuse-high", "--fuse-ext"};

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// "0xD1" as data sheets print it, or a decimal 0..255.
std::optional<std::uint8_t> ParseByte(const std::string& text) {
  std::string digits = text;
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits = digits.substr(2);
    base = 16;
  }
  if (digits.empty() || digits.size() > 3) return std::nullopt;
  unsigned value = 0;
  for (char c : digits) {
    const int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                  : base == 16 && std::isxdigit(static_cast<unsigned char>(c))
                      ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                      : -1;
    if (d < 0) return std::nullopt;
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(d);
  }
  if (value > 0xFF) return std::nullopt;
  return static_cast<std::uint8_t>(value);
}

// What the value options ask for, checked against the chip.
struct Changes {
  int lockMode = -1;
  std::array<std::optional<std::uint8_t>, FuseGroupCount> groups;
  std::vector<std::pair<int, bool>> fuses;      // index, programmed
  std::vector<std::pair<int, bool>> bootLocks;  // index, programmed

  bool TouchesFuses() const {
    return !fuses.empty() || std::any_of(groups.begin(), groups.end(), [](const auto& g) { return g.has_value(); });
  }
  bool Any() const { return lockMode >= 0 || TouchesFuses() || !bootLocks.empty(); }
  // Bytes first, then names, so a name can correct one bit of a byte.
  void ApplyTo(const LockFuseLayout& layout, LockFuseState& state) const {
    if (lockMode >= 0) state.lockMode = lockMode;
    for (int g = 1; g <= FuseGroupCount; ++g)
      if (groups[static_cast<std::size_t>(g - 1)]) SetFuseGroupByte(layout, g, *groups[static_cast<std::size_t>(g - 1)], state);
    for (auto [i, on] : fuses) state.fuse[static_cast<std::size_t>(i)] = on;
    for (auto [i, on] : bootLocks) state.bootLock[static_cast<std::size_t>(i)] = on;
  }
};

class FuseRun {
 public:
  FuseRun(ChipSession& session, const FuseCommandLine& line)
      : s_(session),
        line_(line),
        device_(*DeviceAt(session.bench.device)),
        layout_(LayoutOf(device_)),
        commands_(session.bench.link) {}

  int Run() {
    Changes changes;
    if (!Parse(changes)) return 2;
    if (line_.action == "read") return Read();
    if (line_.action == "verify") return Verify(changes);
    return Program(changes);
  }

 private:
  std::string Text(int id) const { return s_.catalog.GetText(id); }
  std::string Name() const { return std::string(device_.Name); }

  bool Usage(const std::string& text) {
    s_.op.Note(text);
    return false;
  }

  bool Parse(Changes& c) {
    const int highestMode = device_.ProgrammingClass == ClassAvr ? 2 : 3;
    if (line_.lock > highestMode)
      return Usage(FormatText(Text(msg::FusesLockModeUnavailable).c_str(), line_.lock, Name().c_str(), highestMode));
    c.lockMode = line_.lock;
    for (int g = 1; g <= FuseGroupCount; ++g) {
      const std::string& typed = line_.groupBytes[static_cast<std::size_t>(g - 1)];
      if (typed.empty()) continue;
      if (!HasFuseGroup(layout_, g))
        return Usage(FormatText(Text(msg::FusesNoSuchGroup).c_str(), Name().c_str(), g, GroupName(g).c_str()));
      const auto value = ParseByte(typed);
      if (!value) return Usage(std::string(kGroupOptions[g - 1]) + " takes a byte: 0x00 to 0xFF, or 0 to 255");
      c.groups[static_cast<std::size_t>(g - 1)] = value;
    }
    for (const std::string& item : line_.set) {
      const auto eq = item.find('=');
      const std::string name = item.substr(0, eq);
      const std::string value = eq == std::string::npos ? "" : Lower(item.substr(eq + 1));
      if (value != "programmed" && value != "unprogrammed")
        return Usage("--set takes NAME=programmed or NAME=unprogrammed, not '" + item + "'");
      const bool on = value == "programmed";
      if (const int f = FindFuse(layout_, name); f >= 0) {
        c.fuses.emplace_back(f, on);
      } else if (const int b = FindBootLock(layout_, name); b >= 0) {
        c.bootLocks.emplace_back(b, on);
      } else {
        return Usage(FormatText(Text(msg::FusesUnknownBit).c_str(), Name().c_str(), name.c_str(), BitNames().c_str()));
      }
    }
    if (line_.lockOnly && c.TouchesFuses())
      return Usage("--lock-only writes no fuse bits: leave out --fuse-low, --fuse-high, --fuse-ext and fuse names");
    return true;
  }

  std::string GroupName(int g) const { return Text(msg::FuseGroupLow + g - 1); }

  std::string BitNames() const {
    std::string out;
    for (int i = 0; i < layout_.fuseCount; ++i) out += (out.empty() ? "" : " ") + std::string(layout_.fuseName[i]);
    for (int i = 0; i < layout_.bootLockCount; ++i) out += (out.empty() ? "" : " ") + std::string(layout_.bootLockName[i]);
    return out.empty() ? Text(msg::FusesNone) : out;
  }

  std::string ModeText(int mode) const {
    return std::to_string(mode) + " (" + LockModeName(s_.catalog, device_.ProgrammingClass, mode) + ")";
  }

  // The programmed names among the group's fuses (or the boot lock bits for group 0).
  std::string Programmed(int g, const LockFuseState& state) const {
    std::string out;
    if (g == 0) {
      for (int i = 0; i < layout_.bootLockCount; ++i)
        if (state.bootLock[i]) out += (out.empty() ? "" : " ") + std::string(layout_.bootLockName[i]);
    } else {
      for (int i = 0; i < layout_.fuseCount; ++i)
        if (GroupOfFuse(layout_, i) == g && state.fuse[i]) out += (out.empty() ? "" : " ") + std::string(layout_.fuseName[i]);
    }
    return out.empty() ? Text(msg::FusesNone) : out;
  }

  static std::string Hex(std::uint8_t b) { return FormatText("0x%02X", b); }

  void Print(const std::string& text) { std::cout << text << '\n' << std::flush; }

  bool ReadChip(LockFuseState& state) {
    if (commands_.Read(s_.job, s_.bench.device, state)) return true;
    s_.ExplainFailure();
    return false;
  }

  int Read() {
    LockFuseState state;
    if (!ReadChip(state)) return 1;
    if (!state.readable) return 1;  // nothing came from the chip; the operator has been told
    Print(FormatText(Text(msg::FusesLockModeLine).c_str(), ModeText(state.lockMode).c_str()));
    for (int g = 1; g <= FuseGroupCount; ++g)
      if (HasFuseGroup(layout_, g))
        Print(FormatText(Text(msg::FusesGroupLine).c_str(), g, GroupName(g).c_str(), FuseGroupByte(layout_, g, state),
                         Programmed(g, state).c_str()));
    if (layout_.bootLockCount > 0) Print(FormatText(Text(msg::FusesBootLockLine).c_str(), Programmed(0, state).c_str()));
    return 0;
  }

  // The project's settings, when the command is to start from them; false: refused.
  bool ProjectState(std::optional<LockFuseState>& out, bool forProgram) {
    if (!s_.bench.project.HasPath()) return true;
    const ProjectSettings& settings = s_.bench.project.settings();
    const std::string file = s_.bench.project.path();
    if (forProgram && !settings.programFuse) {
      s_.op.Note(FormatText(Text(msg::FusesProjectProgramFuseOff).c_str(), file.c_str()));
      return false;
    }
    const DeviceRecord* own = DeviceAt(settings.lockFuseDeviceNo);
    if (own && !SameLockFuseLayout(settings.lockFuseDeviceNo, s_.bench.device)) {
      s_.op.Note(FormatText(Text(msg::FusesProjectLayoutDiffers).c_str(), file.c_str(), std::string(own->Name).c_str(),
                            Name().c_str()));
      return false;
    }
    out = settings.lockFuse;
    return true;
  }

  int Compare(const LockFuseState& expected, const LockFuseState& actual) {
    const LockFuseComparison result = CompareLockFuse(s_.catalog, device_, expected, actual);
    std::string text = result.text;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    Print(text);
    return result.matched ? 0 : 1;
  }

  int Verify(const Changes& changes) {
    std::optional<LockFuseState> project;
    if (!ProjectState(project, false)) return 1;
    if (!project && !changes.Any()) {
      s_.op.Note("fuses verify compares what it is given: name --lock, --fuse-low/high/ext, --set or --project");
      return 2;
    }
    if (!layout_.lockReadPresent) {
      ShowInfo(s_.op, s_.catalog, Text(msg::NoLockFuseRead));
      return 1;
    }
    LockFuseState actual;
    if (!ReadChip(actual)) return 1;
    // Without a project only what the options name can differ.
    LockFuseState expected = project ? *project : actual;
    changes.ApplyTo(layout_, expected);
    return Compare(expected, actual);
  }

  int Program(const Changes& changes) {
    std::optional<LockFuseState> project;
    if (!ProjectState(project, true)) return 1;
    std::optional<LockFuseState> old;
    if (layout_.lockReadPresent) {
      LockFuseState read;
      if (!ReadChip(read)) return 1;
      old = read;
    }
    LockFuseState wanted = project ? *project : old.value_or(LockFuseState{});
    changes.ApplyTo(layout_, wanted);
    // What the chip holds afterwards: with --lock-only its fuse bits stay as they are.
    LockFuseState after = wanted;
    if (line_.lockOnly && old) after.fuse = old->fuse;

    auto was = [&](auto show) { return old ? show(*old) : std::string("?"); };
    Print(FormatText(Text(msg::FusesLockModeChange).c_str(), was([&](const LockFuseState& s) { return ModeText(s.lockMode); }).c_str(),
                     ModeText(wanted.lockMode).c_str()));
    if (!line_.lockOnly)
      for (int g = 1; g <= FuseGroupCount; ++g)
        if (HasFuseGroup(layout_, g))
          Print(FormatText(Text(msg::FusesGroupChange).c_str(), g, GroupName(g).c_str(),
                           was([&](const LockFuseState& s) { return Hex(FuseGroupByte(layout_, g, s)); }).c_str(),
                           Hex(FuseGroupByte(layout_, g, wanted)).c_str()));
    if (layout_.bootLockCount > 0)
      Print(FormatText(Text(msg::FusesBootLockChange).c_str(),
                       was([&](const LockFuseState& s) { return Programmed(0, s); }).c_str(), Programmed(0, wanted).c_str()));

    if (!LockModeEncodable(layout_, device_.ProgrammingClass, wanted.lockMode)) {
      const std::string mode = LockModeName(s_.catalog, device_.ProgrammingClass, wanted.lockMode);
      s_.op.Note(FormatText(Text(msg::LockModeNotEncodable).c_str(), mode.c_str()));
      return 1;
    }
    if (!line_.lockOnly) {
      // Stricter than the dialog: an unprogrammed SPIEN ends serial programming on every chip.
      const FuseCheck check = CheckFuses(layout_, wanted, true);
      if (check.Any() && !line_.allowUnsafe) {
        s_.op.Note(FuseWarningText(s_.catalog, layout_, check, false));
        s_.op.Note(Text(msg::FusesUnsafeRefused));
        return 1;
      }
      if (check.Any() &&
          s_.op.ShowBox({Text(msg::WarningCaption), FuseWarningText(s_.catalog, layout_, check), BoxIcon::Question,
                         BoxButtons::YesNo}) != BoxAnswer::Yes)
        return 1;
    }
    if (s_.op.ShowBox({Text(msg::ProductTitle), FormatText(Text(msg::FusesProgramQuestion).c_str(), Name().c_str()),
                       BoxIcon::Question, BoxButtons::YesNo}) != BoxAnswer::Yes) {
      s_.op.SetStatus(Text(msg::OperationCancelled));
      return 1;
    }
    if (!commands_.Program(s_.job, s_.bench.device, wanted, !line_.lockOnly)) {
      s_.ExplainFailure();
      return 1;
    }
    if (line_.noVerify || !old) return 0;
    if (EndsSerialProgramming(layout_, after)) {
      s_.op.Note(Text(msg::FusesNotReadBack));
      return 0;
    }
    LockFuseState actual;
    if (!ReadChip(actual)) return 1;
    return Compare(after, actual);
  }

  ChipSession& s_;
  const FuseCommandLine& line_;
  const DeviceRecord& device_;
  const LockFuseLayout& layout_;
  LockFuseCommands commands_;
};

void AddValueOptions(CLI::App& c, FuseCommandLine& line) {
  c.add_option("--lock", line.lock, "Lock mode: 0 none, 1 LB1, 2 LB1+LB2, 3 LB1+LB2+LB3 (AT89S only)")
      ->check(CLI::Range(0, 3));
  const char* what[FuseGroupCount] = {"Fuse byte 1 (low)", "Fuse byte 2 (high)", "Fuse byte 3 (extended)"};
  for (std::size_t g = 0; g < FuseGroupCount; ++g)
    c.add_option(kGroupOptions[g], line.groupBytes[g],
                 std::string(what[g]) + " as data sheets print it, 0 = programmed (0xD9 or 217); bits without a fuse are ignored");
  c.add_option("--set", line.set, "One bit by name, any letter case: NAME=programmed or NAME=unprogrammed (repeatable)")
      ->allow_extra_args(false);
}

}  // namespace

CLI::App* AddFuseCommand(CLI::App& app, FuseCommandLine& line) {
  CLI::App* fuses = app.add_subcommand("fuses", "Lock, fuse and boot lock bits: read, program or verify them");
  fuses->require_subcommand(1);
  fuses->fallthrough();
  CLI::App* read = fuses->add_subcommand("read", "Print the lock mode, each fuse byte with its programmed bits, the boot lock bits");
  CLI::App* program = fuses->add_subcommand(
      "program", "Change the bits named (starting from the chip, or from --project) and program them; needs --yes");
  CLI::App* verify = fuses->add_subcommand("verify", "Compare the chip with the bits named or the project's (exit 0 on a match)");
  AddValueOptions(*program, line);
  AddValueOptions(*verify, line);
  program->add_flag("--lock-only", line.lockOnly, "Send only the lock write; the fuse bytes stay as they are");
  program->add_flag("--no-verify", line.noVerify, "Do not read the bits back afterwards");
  program->add_flag("--allow-unsafe-fuses", line.allowUnsafe,
                    "Program settings that end serial programming or need an external clock (still asks, see --yes)");
  for (CLI::App* sub : {read, program, verify}) {
    sub->fallthrough();
    sub->callback([&line, sub] { line.action = sub->get_name(); });
  }
  return fuses;
}

int RunFuseCommand(const ChipCommandLine& common, const FuseCommandLine& line, bool progressBar) {
  ChipSession session(common);
  if (const int status = session.Prepare(common, progressBar, ChipAction::LockFuseBits, "fuses " + line.action))
    return status;
  return FuseRun(session, line).Run();
}

}  // namespace zr7cli
