#pragma once
// Reading, programming and verifying the lock, fuse and boot lock bits of the target chip,
// each one whole board connection at 19200 baud, driven by the chip's layout record and its
// programming class. The device is always passed in: a caller showing one chip's bits must not
// act on another because the window's selection moved meanwhile.

#include "lockfuse/LockFuseRules.h"
#include "lockfuse/LockFuseState.h"
#include "link/ChipJob.h"

namespace zr7 {

class BoardLink;
class MessageCatalog;
class OperatorInterface;
struct DeviceRecord;
struct LockFuseLayout;

enum class LockFuseVerifyResult { Matched, Differs, NotRead };

class LockFuseCommands {
 public:
  explicit LockFuseCommands(BoardLink& link);

  // True: `state` filled from the chip, or (a chip that cannot read back) cleared with
  // readable false after telling the operator. False: no board, no connection, a refused or
  // cancelled signature, a failed exchange; `state` cleared.
  bool Read(const ChipJob& job, int deviceNumber, LockFuseState& state);
  // True only when every instruction sent was acknowledged. programFuses: the fuse bytes are
  // written before the lock bits (false: only the lock bits).
  bool Program(const ChipJob& job, int deviceNumber, const LockFuseState& state, bool programFuses);
  // Reads the chip and shows the comparison with `expected` in a box.
  LockFuseVerifyResult Verify(const ChipJob& job, int deviceNumber, const LockFuseState& expected);

  // The last comparison Verify showed (empty before one).
  const LockFuseComparison& LastComparison() const { return comparison_; }

 private:
  // The checks every operation makes before it connects; the device, or null after saying why.
  const DeviceRecord* Usable(const ChipJob& job, int deviceNumber);
  bool ConnectTo(const ChipJob& job, int deviceNumber);
  enum class Signature { Matches, GoOn, Refused, Unread };
  Signature CheckSignature(int deviceNumber);
  bool ReadChipBits(const DeviceRecord& device, const LockFuseLayout& layout, LockFuseState& state);
  bool ReadByte(const Instruction3& instruction, int& value);
  bool ProgramAt89S4Byte(const LockFuseLayout& layout, const LockFuseState& state);
  bool ProgramThreeByte(const LockFuseLayout& layout, const LockFuseState& state);
  bool ProgramAvr(const LockFuseLayout& layout, const LockFuseState& state, bool programFuses);
  void EndSessionWarn();
  void Status(int id);
  void Box(int id);

  BoardLink& link_;
  OperatorInterface& op_;
  const MessageCatalog& catalog_;
  LockFuseComparison comparison_;
};

}  // namespace zr7
