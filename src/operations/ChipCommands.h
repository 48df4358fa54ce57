#pragma once
// The chip commands of the main window (and of the command line): read signature, chip erase,
// program, read and verify Flash and Eeprom, blank check. Each has one shape: status text,
// wait cursor, board check, Connect, the work, the result text, EndSession.

#include <array>
#include <cstdint>

#include "devices/ChipActions.h"
#include "link/ChipJob.h"
#include "operator/ViewInterface.h"

namespace zr7 {

class BoardLink;
class MemoryBuffer;
class MessageCatalog;
class OperatorInterface;
struct DeviceRecord;

class ChipCommands {
 public:
  ChipCommands(BoardLink& link, MemoryBuffer& flash, MemoryBuffer& eeprom, ChipResults& results);
  // A signature naming another chip is reported here (the window's selection follows it).
  void ShowIn(ViewInterface* view) { view_ = view; }

  // A signature naming another device selects it; the job follows. True when the bytes were read
  // (for a DataFlash: when the connection worked).
  bool ReadSignature(ChipJob& job);
  bool SignatureButton(ChipJob& job);
  void ChipErase(ChipJob& job);
  void ProgramFlash(const ChipJob& job) { Program(job, true); }
  void ProgramEeprom(const ChipJob& job) { Program(job, false); }
  // True when the whole memory was read.
  bool ReadFlash(const ChipJob& job) { return Read(job, true); }
  bool ReadEeprom(const ChipJob& job) { return Read(job, false); }
  void VerifyFlash(const ChipJob& job) { Verify(job, true); }
  void VerifyEeprom(const ChipJob& job) { Verify(job, false); }
  void BlankCheck(const ChipJob& job);

  // Inside an open connection: 0 the selected device, 1 another or unknown, 2 locked, -1 unread;
  // the answer is left in lastOperationStatus.
  void SignatureCheck(const ChipJob& job);

  // The serial number in an image: a big-endian counter of up to 4 bytes ending at `address`.
  // Programming counts only images that came from a file; autoprogram counts any image.
  static void AutoIncrement(MemoryBuffer& buffer, bool enabled, std::int32_t address, bool needsFile = true);

  ChipResults& Results() { return results_; }

 private:
  void Program(const ChipJob& job, bool isFlash);
  bool Read(const ChipJob& job, bool isFlash);
  void Verify(const ChipJob& job, bool isFlash);

  // A command the device does not allow (a menu item stays enabled where its button is greyed):
  // says so and gives false, before anything reaches the board.
  bool Allowed(const ChipJob& job, ChipAction action);
  // No board chosen: says so and gives false.
  bool BoardChosen(const ChipJob& job);
  // Reads the three signature bytes in the device's way; false when one did not come.
  bool ReadSignatureOf(const DeviceRecord& device, std::array<std::uint8_t, 3>& sig);
  // Looks the signature up, selecting a found device that is not the selected one.
  int NameSignature(ChipJob& job, const std::array<std::uint8_t, 3>& sig);
  void EndSessionWarn();
  bool SendEraseInstruction(const DeviceRecord& device);
  void Status(int id);
  void Box(int id);

  BoardLink& link_;
  OperatorInterface& op_;
  const MessageCatalog& catalog_;
  MemoryBuffer& flash_;
  MemoryBuffer& eeprom_;
  ChipResults& results_;
  ViewInterface* view_ = nullptr;
};

}  // namespace zr7
