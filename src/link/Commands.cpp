#include "link/Commands.h"

#include <array>

namespace zr7 {

namespace {

constexpr std::array<CommandInfo, 30> kCommands = {{
    {CmdWake, "CmdWake", ArgShape::Fixed, 0, ReplyShape::None},
    {CmdGetVersion, "CmdGetVersion", ArgShape::Fixed, 0, ReplyShape::Version},
    {CmdGetIdent, "CmdGetIdent", ArgShape::Fixed, 0, ReplyShape::Ident},
    {CmdGetSerial, "CmdGetSerial", ArgShape::Fixed, 0, ReplyShape::Serial},
    {CmdQuit, "CmdQuit", ArgShape::Fixed, 0, ReplyShape::None},
    {CmdEnterLoader, "CmdEnterLoader", ArgShape::Fixed, 0, ReplyShape::Loader},
    {CmdSetDevice, "CmdSetDevice", ArgShape::Fixed, 1, ReplyShape::Cr},
    {CmdSetAddress, "CmdSetAddress", ArgShape::Fixed, 2, ReplyShape::Cr},
    {CmdSetMode, "CmdSetMode", ArgShape::Fixed, 3, ReplyShape::Cr},
    {CmdResetTimed, "CmdResetTimed", ArgShape::Fixed, 0, ReplyShape::OneByte},
    {CmdResetShort, "CmdResetShort", ArgShape::Fixed, 0, ReplyShape::OneByte},
    {CmdResetAlt, "CmdResetAlt", ArgShape::Fixed, 0, ReplyShape::OneByte},
    {CmdEnableSync, "CmdEnableSync", ArgShape::Fixed, 0, ReplyShape::OneByte},
    {CmdSpi3, "CmdSpi3", ArgShape::Fixed, 3, ReplyShape::Cr},
    {CmdSpi4, "CmdSpi4", ArgShape::Fixed, 4, ReplyShape::Cr},
    {CmdSpiRead4, "CmdSpiRead4", ArgShape::Fixed, 3, ReplyShape::OneByte},
    {CmdSetByteDelay, "CmdSetByteDelay", ArgShape::Fixed, 1, ReplyShape::Cr},
    {CmdWriteFlash, "CmdWriteFlash", ArgShape::CountThenData, 0, ReplyShape::Cr},
    {CmdWriteEeprom, "CmdWriteEeprom", ArgShape::CountThenData, 0, ReplyShape::Cr},
    {CmdReadFlash, "CmdReadFlash", ArgShape::Count, 0, ReplyShape::CountBytes},
    {CmdReadEeprom, "CmdReadEeprom", ArgShape::Count, 0, ReplyShape::CountBytes},
    {CmdFlashSelect, "CmdFlashSelect", ArgShape::Fixed, 0, ReplyShape::Cr},
    {CmdFlashDeselect, "CmdFlashDeselect", ArgShape::Fixed, 0, ReplyShape::Cr},
    {CmdEepSelect, "CmdEepSelect", ArgShape::Fixed, 0, ReplyShape::Cr},
    {CmdEepDeselect, "CmdEepDeselect", ArgShape::Fixed, 0, ReplyShape::Cr},
    {CmdSpiWriteN, "CmdSpiWriteN", ArgShape::Count16ThenData, 0, ReplyShape::Cr},
    {CmdSpiReadN, "CmdSpiReadN", ArgShape::Count16, 0, ReplyShape::CountBytesThenCr},
    {CmdSpiPut, "CmdSpiPut", ArgShape::Fixed, 1, ReplyShape::Cr},
    {CmdSpiGet, "CmdSpiGet", ArgShape::Fixed, 0, ReplyShape::OneByte},
    {CmdEndSession, "CmdEndSession", ArgShape::Fixed, 0, ReplyShape::Cr},
}};

}  // namespace

std::span<const CommandInfo> CommandTable() { return kCommands; }

const CommandInfo* FindCommand(std::uint8_t code) {
  for (const CommandInfo& c : kCommands)
    if (c.code == code) return &c;
  return nullptr;
}

std::uint8_t SckCode(int spiPeriod) {
  if (spiPeriod < 0 || spiPeriod > 7) return SckPeriods[7].sckCode;
  return SckPeriods[spiPeriod].sckCode;
}

}  // namespace zr7
