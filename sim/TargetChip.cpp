#include "TargetChip.h"

#include <cstdio>

#include "BoardSimulator.h"
#include "ChipModels.h"

namespace zr7sim {

TargetChip::TargetChip(const zr7::DeviceRecord& record, ChipContext context)
    : record_(record), context_(std::move(context)) {
  if (!context_.clock) context_.clock = [] { return SimClock::now(); };
}

void TargetChip::Reset(ResetPolarity polarity) {
  programming_ = false;
  heldInReset_ = polarity == WantedReset();
  ForgetNotes();
  if (!heldInReset_)
    Note(polarity == ResetPolarity::ActiveHigh
             ? "CmdResetAlt drives reset active high, this chip needs it low"
             : "active-low reset pulse, this chip needs CmdResetAlt (active high)");
}

void TargetChip::Release() {
  programming_ = false;
  heldInReset_ = false;
  ForgetNotes();
}

InstructionReply TargetChip::Instruction(std::span<const std::uint8_t> in) {
  Note("instruction " + HexBytes(in) + " not understood, answered FF");
  return kNoAnswer;
}

void TargetChip::Note(const std::string& text) const {
  if (context_.note) context_.note(std::string(record_.Name) + ": " + text);
}

void TargetChip::NoteOnce(const std::string& kind, const std::string& text) {
  if (noted_.insert(kind).second) Note(text);
}

std::unique_ptr<TargetChip> MakeTargetChip(const zr7::DeviceRecord& record,
                                           const SimOptions& options, ChipContext context) {
  if (record.Family == zr7::DeviceFamily::At45)
    return MakeAt45Memory(record, options, std::move(context));
  switch (record.ProgrammingClass) {
    case zr7::ClassAt25:
      return MakeAt25Memory(record, std::move(context));
    case zr7::ClassAt89S3Byte:
    case zr7::ClassAt89S53:
    case zr7::ClassAt89S4Byte:
      return MakeAt89Chip(record, options, std::move(context));
    default:
      return MakeAvrChip(record, options, std::move(context));
  }
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
  std::string out;
  char buf[4];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
    if (i) out += ' ';
    out += buf;
  }
  return out;
}

}  // namespace zr7sim
