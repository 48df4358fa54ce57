#include "operations/TransferOperations.h"

#include <algorithm>
#include <vector>

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"
#include "buffers/MemoryBuffer.h"
#include "devices/DeviceTable.h"
#include "link/BoardLink.h"
#include "link/Commands.h"
#include "text/MessageIds.h"

namespace zr7 {

namespace {

constexpr std::uint32_t kBlockBytes = 64;
constexpr std::uint32_t kBankBytes = 128 * 1024;  // reach of a 16-bit word address
constexpr int kAt25SelectMs = 5;
constexpr int kAt25WriteCycleMs = 5;  // the longest write cycle of the AT25 memories
constexpr int kAt45EraseMs = 20;
constexpr int kAt45EraseSettleMs = 50;
constexpr std::uint32_t kAt45PagesPerBlock = 8;

std::uint32_t CeilDiv(std::uint32_t a, std::uint32_t b) { return b == 0 ? 0 : (a + b - 1) / b; }

}  // namespace

WirePath PathFor(const DeviceRecord& device, bool isFlash) {
  if (device.Family == DeviceFamily::At45) return WirePath::At45;
  if (device.ProgrammingClass == ClassAt89S4Byte) return WirePath::At89S4Byte;
  if (device.ProgrammingClass == ClassAt25) return WirePath::At25;
  if (isFlash && device.PageSize != 0) return WirePath::AvrPaged;
  return WirePath::Blocks;
}

std::uint8_t ByteDelayCode(bool overrideOn, std::int32_t overrideMs, std::int32_t deviceCode) {
  return overrideOn ? DelayCodeFromMs(overrideMs) : static_cast<std::uint8_t>(deviceCode & 0xFF);
}

// ---- common -------------------------------------------------------------------------------

TransferOperation::TransferOperation(BoardLink& link, const DeviceRecord& device, const ChipJob& job)
    : ProgressOperation(link.Catalog()), link_(link), wire_(link), device_(device), job_(job) {}

void TransferOperation::ShowConnectionError() {
  ShowInfo(link_.Operator(), Catalog(), Catalog().GetText(msg::ConnectionError));
}

std::int32_t TransferOperation::ConnectionFailure() {
  ShowConnectionError();
  return ResultCommunicationError;
}

void TransferOperation::Sleep(std::int32_t ms) {
  if (ms > 0) link_.Time().SleepMs(ms);
}

bool TransferOperation::AcceptLimit(std::uint32_t used, std::int32_t limit, bool isFlash) {
  if (used <= static_cast<std::uint32_t>(std::max(limit, 0))) return true;
  const MessageCatalog& c = Catalog();
  const std::string text = FormatText(c.GetText(msg::SizeWarning), limit, isFlash ? "Flash" : "Eeprom");
  const BoxAnswer a =
      link_.Operator().ShowBox({c.GetText(msg::ProgrammerCaption), text, BoxIcon::Warning, BoxButtons::OkCancel});
  if (a == BoxAnswer::Ok) return true;
  RequestCancel();
  return false;
}

bool TransferOperation::Delay(std::int32_t ms) {
  if (ms > 0) link_.Time().SleepUnless(ms, [this] { return CancelRequested(); });
  return !CancelRequested();
}

// ---- AT45 erase ---------------------------------------------------------------------------

EraseOperation::EraseOperation(BoardLink& link, const DeviceRecord& device, const ChipJob& job)
    : TransferOperation(link, device, job),
      flashSize(static_cast<std::int32_t>(device.FlashSize)),
      pageSize(static_cast<std::int32_t>(device.PageSize)),
      pageShift(static_cast<std::int32_t>(device.At45PageShift)) {}

std::int32_t EraseOperation::Run() {
  const std::uint32_t pages = CeilDiv(static_cast<std::uint32_t>(flashSize), static_cast<std::uint32_t>(pageSize));
  const MessageCatalog& c = Catalog();
  BeginPhase(c.GetText(msg::EraseCaption), c.GetText(msg::ErasingDevice), static_cast<std::int32_t>(pages));
  if (!wire_.FlashDeselect()) return ResultCommunicationError;
  for (std::uint32_t page = 0; page < pages; page += kAt45PagesPerBlock) {
    if (!wire_.FlashSelect() || !wire_.At45BlockErase(page << pageShift)) return ResultCommunicationError;
    Sleep(kAt45EraseMs);
    if (!wire_.FlashDeselect()) return ResultCommunicationError;  // the erase starts now
    Sleep(kAt45EraseSettleMs);
    if (CancelRequested()) return ResultCancelled;
    ReportProgress(static_cast<std::int32_t>(page));
  }
  return ResultSuccess;
}

// ---- program ------------------------------------------------------------------------------

ProgramOperation::ProgramOperation(BoardLink& link, const DeviceRecord& device, const ChipJob& job,
                                   MemoryBuffer& b, bool flash)
    : TransferOperation(link, device, job),
      buffer(b),
      isFlash(flash),
      limit(static_cast<std::int32_t>(flash ? device.FlashSize : device.EepromSize)) {}

void ProgramOperation::MarkWritten(std::uint32_t from, std::uint32_t count) {
  auto& states = buffer.states();
  for (std::uint32_t i = from; i < from + count && i < states.size(); ++i) states[i] = StateWritten;
}

std::int32_t ProgramOperation::Run() {
  const std::uint32_t used = buffer.size();
  std::fill(buffer.states().begin(), buffer.states().end(), StatePending);
  // Declined, nothing was written: this is the operator's cancel, not a finished write.
  if (!AcceptLimit(used, limit, isFlash)) return ResultCancelled;
  const std::uint32_t n = std::min(used, static_cast<std::uint32_t>(std::max(limit, 0)));
  length = n;
  switch (PathFor(device_, isFlash)) {
    case WirePath::At45: return RunAt45(n);
    case WirePath::At89S4Byte: return RunAt89S(n);
    case WirePath::At25: return RunAt25(n);
    case WirePath::AvrPaged: return RunPaged(n);
    case WirePath::Blocks: return RunBlocks(n);
  }
  return ResultCommunicationError;
}

std::int32_t ProgramOperation::RunAt45(std::uint32_t n) {
  const MessageCatalog& c = Catalog();
  const std::uint32_t pageSize = device_.PageSize;
  const std::uint32_t pages = CeilDiv(n, pageSize);
  const std::int32_t pageDelay = isFlash ? (job_.transfer.delayPage ? job_.transfer.delayPageValue : device_.PageDelay)
                                         : (job_.transfer.delayPage2 ? job_.transfer.delayPageValue2 : device_.PageDelay);
  BeginPhase(c.GetText(msg::ProgramCaption), c.GetText(msg::ProgrammingFlash), static_cast<std::int32_t>(pages));
  if (!wire_.FlashDeselect()) return ResultCommunicationError;
  const auto& data = buffer.data();
  std::vector<std::uint8_t> page;
  for (std::uint32_t p = 0; p < pages; ++p) {
    const std::uint32_t offset = p * pageSize;
    const std::uint32_t count = std::min(pageSize, n - offset);
    if (!wire_.FlashSelect() || !wire_.At45BufferWrite()) return ResultCommunicationError;
    page.assign(data.begin() + offset, data.begin() + offset + count);
    page.resize(pageSize, 0xFF);
    MarkWritten(offset, count);
    if (!wire_.SpiWriteN(page) || !wire_.FlashDeselect()) return ResultCommunicationError;
    if (!wire_.FlashSelect() || !wire_.At45BufferToPage(p << device_.At45PageShift)) return ResultCommunicationError;
    if (!wire_.FlashDeselect()) return ResultCommunicationError;  // the page program starts now
    if (!Delay(pageDelay)) return ResultCancelled;
    ReportProgress(static_cast<std::int32_t>(p));
  }
  buffer.Changed(0, n);
  return ResultSuccess;
}

std::int32_t ProgramOperation::RunAt89S(std::uint32_t n) {
  const MessageCatalog& c = Catalog();
  BeginPhase(c.GetText(msg::ProgramCaption), c.GetText(msg::ProgrammingFlash), static_cast<std::int32_t>(n));
  const auto& data = buffer.data();
  for (std::uint32_t i = 0; i < n; ++i) {
    // The chip's answer to a byte write says nothing; only its absence is a failure.
    if (!wire_.At89WriteByte(static_cast<std::uint16_t>(i), data[i])) return ConnectionFailure();
    MarkWritten(i, 1);
    if (CancelRequested()) return ResultCancelled;
    ReportProgress(static_cast<std::int32_t>(i));
  }
  buffer.Changed(0, n);
  return ResultSuccess;
}

std::int32_t ProgramOperation::RunAt25(std::uint32_t n) {
  const MessageCatalog& c = Catalog();
  const std::uint32_t pageSize = device_.PageSize;
  const std::uint32_t pages = CeilDiv(n, pageSize);
  BeginPhase(c.GetText(msg::ProgramCaption), c.GetText(msg::ProgrammingEeprom), static_cast<std::int32_t>(pages));
  if (!wire_.EepSelect()) return ResultCommunicationError;
  Sleep(kAt25SelectMs);
  if (!wire_.EepDeselect()) return ResultCommunicationError;
  Sleep(kAt25SelectMs);
  const auto& data = buffer.data();
  for (std::uint32_t p = 0; p < pages; ++p) {
    const std::uint32_t o = p * pageSize;
    const std::uint32_t count = std::min(pageSize, n - o);
    bool ok = wire_.EepSelect() && wire_.At25WriteEnable() && wire_.EepDeselect() && wire_.EepSelect() &&
              wire_.At25Write(static_cast<std::uint16_t>(o));
    for (std::uint32_t i = 0; ok && i < count; ++i) {
      ok = wire_.SpiPut(data[o + i]);
      if (ok) MarkWritten(o + i, 1);
    }
    // Releasing the select starts the chip's write cycle, during which it ignores every
    // instruction; at 115200 baud the next ones would arrive within it, and the following page's
    // write enable would be lost with the page.
    ok = ok && wire_.EepDeselect();
    if (ok) Sleep(kAt25WriteCycleMs);
    ok = ok && wire_.EepSelect() && wire_.At25WriteDisable() && wire_.EepDeselect();
    if (!ok) return ResultCommunicationError;
    if (CancelRequested()) return ResultCancelled;
    ReportProgress(static_cast<std::int32_t>(p));
  }
  if (!wire_.EndSession()) return ResultCommunicationError;
  buffer.Changed(0, n);
  return ResultSuccess;
}

std::int32_t ProgramOperation::RunBlocks(std::uint32_t n) {
  const MessageCatalog& c = Catalog();
  const std::uint8_t code = isFlash ? ByteDelayCode(job_.transfer.delayByte, job_.transfer.delayByteValue, device_.FlashWriteDelay)
                                    : ByteDelayCode(job_.transfer.delayByte2, job_.transfer.delayByteValue2, device_.EepromWriteDelay);
  if (!wire_.SetByteDelay(code)) return ConnectionFailure();
  BeginPhase(c.GetText(msg::ProgramCaption), c.GetText(isFlash ? msg::ProgrammingFlash : msg::ProgrammingEeprom),
             static_cast<std::int32_t>(n / kBlockBytes));
  const auto& data = buffer.data();
  for (std::uint32_t k = 0; k < CeilDiv(n, kBlockBytes); ++k) {
    const std::uint32_t o = k * kBlockBytes;
    const std::uint32_t count = std::min(kBlockBytes, n - o);
    const int answer = wire_.WriteBlock(isFlash, std::span(data).subspan(o, count));
    if (answer == ReplyEsc) return ResultPollingFailure;  // the board's report; no box
    if (answer != ReplyCr) return ConnectionFailure();
    MarkWritten(o, count);
    if (CancelRequested()) return ResultCancelled;
    if (!Delay(job_.delays.pageWrite)) return ResultCancelled;
    ReportProgress(static_cast<std::int32_t>(k));
  }
  buffer.Changed(0, n);
  return ResultSuccess;
}

std::int32_t ProgramOperation::RunPaged(std::uint32_t n) {
  const MessageCatalog& c = Catalog();
  const std::uint8_t code = ByteDelayCode(job_.transfer.delayByte, job_.transfer.delayByteValue, device_.FlashWriteDelay);
  if (!wire_.SetByteDelay(code)) return ConnectionFailure();
  const std::uint32_t pageBytes = 2 * device_.PageSize;
  const std::uint32_t quarter = pageBytes / 4;
  const std::int32_t pageDelay = job_.transfer.delayPage ? job_.transfer.delayPageValue : device_.PageDelay;
  const bool extended = device_.FlashSize > kBankBytes;
  std::int64_t bankSelected = -1;  // the chip's extended address is unknown until we set it
  BeginPhase(c.GetText(msg::ProgramCaption), c.GetText(msg::ProgrammingFlash), static_cast<std::int32_t>(n / pageBytes));
  if (!wire_.SetAddress(0)) return ConnectionFailure();
  const auto& data = buffer.data();
  std::vector<std::uint8_t> page(pageBytes);
  for (std::uint32_t p = 0; p < CeilDiv(n, pageBytes); ++p) {
    const std::uint32_t o = p * pageBytes;
    const std::uint32_t count = std::min(pageBytes, n - o);
    std::fill(page.begin(), page.end(), 0xFF);
    std::copy(data.begin() + o, data.begin() + o + count, page.begin());
    const bool erased = std::all_of(page.begin(), page.end(), [](std::uint8_t b) { return b == 0xFF; });
    if (!erased) {
      for (std::uint32_t q = 0; q < 4; ++q) {
        const int answer = wire_.WriteBlock(isFlash, std::span(page).subspan(q * quarter, quarter));
        if (answer != ReplyCr) {
          ShowConnectionError();
          return answer == ReplyEsc ? ResultPollingFailure : ResultCommunicationError;
        }
      }
      // A 16-bit word address reaches 128 KB; larger chips take the bank first.
      const std::uint32_t bank = o / kBankBytes;
      if (extended && bank != bankSelected) {
        if (!wire_.AvrExtendedAddress(static_cast<std::uint8_t>(bank))) return ConnectionFailure();
        bankSelected = bank;
      }
      if (!wire_.AvrPageWrite(o)) return ConnectionFailure();
      const std::uint64_t sentAt = link_.Time().NowMs();
      const int answer = wire_.Answer();
      const std::uint64_t elapsed = link_.Time().NowMs() - sentAt;
      if (elapsed < static_cast<std::uint64_t>(std::max(pageDelay, 0)))
        Delay(static_cast<std::int32_t>(pageDelay - static_cast<std::int32_t>(elapsed)));
      if (!wire_.Acknowledged(answer)) return ConnectionFailure();
    }
    MarkWritten(o, count);
    if (CancelRequested()) return ResultCancelled;
    if (!Delay(job_.delays.pageWrite)) return ResultCancelled;
    ReportProgress(static_cast<std::int32_t>(p));
  }
  buffer.Changed(0, n);
  return ResultSuccess;
}

// ---- read ---------------------------------------------------------------------------------

ReadOperation::ReadOperation(BoardLink& link, const DeviceRecord& device, const ChipJob& job, MemoryBuffer& b,
                             bool flash)
    : TransferOperation(link, device, job), buffer(b), isFlash(flash) {}

void ReadOperation::Take(std::uint32_t at, std::uint8_t value) {
  buffer.data()[at] = value;
  if (at < buffer.states().size()) buffer.states()[at] = StateRead;
}

std::int32_t ReadOperation::Run() {
  const MessageCatalog& c = Catalog();
  const std::uint32_t n = buffer.size();
  BeginPhase(c.GetText(msg::ReadCaption), c.GetText(isFlash ? msg::ReadingFlash : msg::ReadingEeprom),
             static_cast<std::int32_t>(n / kBlockBytes));
  return ReadChip(n, msg::ReadCaption);
}

std::int32_t ReadOperation::ReadChip(std::uint32_t n, std::int32_t captionId) {
  const MessageCatalog& c = Catalog();
  switch (PathFor(device_, isFlash)) {
    case WirePath::At45: {
      const std::uint32_t pageSize = device_.PageSize;
      const std::uint32_t pages = CeilDiv(n, pageSize);
      // The DataFlash's own phase counts pages, and always speaks of Flash.
      BeginPhase(c.GetText(captionId), c.GetText(captionId == msg::VerifyCaption ? msg::VerifyingFlash : msg::ReadingFlash),
                 static_cast<std::int32_t>(pages));
      if (!wire_.FlashDeselect() || !wire_.FlashSelect() || !wire_.At45ContinuousRead())
        return ResultCommunicationError;
      for (std::uint32_t p = 0; p < pages; ++p) {
        const std::uint32_t o = p * pageSize;
        const std::uint32_t count = std::min(pageSize, n - o);
        const std::uint8_t* bytes = wire_.SpiReadN(static_cast<std::uint16_t>(count));
        if (!bytes) return ResultCommunicationError;
        for (std::uint32_t i = 0; i < count; ++i) Take(o + i, bytes[i]);
        if (!wire_.SpiReadNEnd()) return ResultCommunicationError;
        if (CancelRequested()) return ResultCancelled;
        ReportProgress(static_cast<std::int32_t>(p));
      }
      buffer.Changed(0, n);
      return ResultSuccess;  // the transfer stays open until the session ends
    }
    case WirePath::At89S4Byte:
      for (std::uint32_t i = 0; i < n; ++i) {
        const int b = wire_.At89ReadByte(static_cast<std::uint16_t>(i));
        if (b < 0) return ConnectionFailure();
        Take(i, static_cast<std::uint8_t>(b));
        if (CancelRequested()) return ResultCancelled;
        ReportProgress(static_cast<std::int32_t>(i / kBlockBytes));
      }
      buffer.Changed(0, n);
      return ResultSuccess;
    case WirePath::At25: {
      const std::uint32_t pageSize = device_.PageSize;
      const std::uint32_t pages = CeilDiv(n, pageSize);
      BeginPhase(c.GetText(captionId), c.GetText(captionId == msg::VerifyCaption ? msg::VerifyingEeprom : msg::ReadingEeprom),
                 static_cast<std::int32_t>(pages));
      if (!wire_.EepSelect()) return ResultCommunicationError;
      Sleep(kAt25SelectMs);
      if (!wire_.EepDeselect()) return ResultCommunicationError;
      Sleep(kAt25SelectMs);
      for (std::uint32_t p = 0; p < pages; ++p) {
        const std::uint32_t o = p * pageSize;
        const std::uint32_t count = std::min(pageSize, n - o);
        if (!wire_.EepSelect() || !wire_.At25Read(static_cast<std::uint16_t>(o))) return ResultCommunicationError;
        for (std::uint32_t i = 0; i < count; ++i) {
          const int b = wire_.SpiGet();
          if (b < 0) return ResultCommunicationError;
          Take(o + i, static_cast<std::uint8_t>(b));
        }
        if (!wire_.EepDeselect()) return ResultCommunicationError;
        if (CancelRequested()) return ResultCancelled;
        ReportProgress(static_cast<std::int32_t>(p));
      }
      if (!wire_.EndSession()) return ResultCommunicationError;
      buffer.Changed(0, n);
      return ResultSuccess;
    }
    case WirePath::AvrPaged:
    case WirePath::Blocks: {
      const std::uint8_t code = isFlash ? ByteDelayCode(job_.transfer.delayByte, job_.transfer.delayByteValue, device_.FlashReadDelay)
                                        : ByteDelayCode(job_.transfer.delayByte2, job_.transfer.delayByteValue2, device_.EepromReadDelay);
      if (!wire_.SetByteDelay(code)) return ConnectionFailure();
      for (std::uint32_t k = 0; k < CeilDiv(n, kBlockBytes); ++k) {
        const std::uint32_t o = k * kBlockBytes;
        const std::uint32_t count = std::min(kBlockBytes, n - o);
        const std::uint8_t* bytes = wire_.ReadBlock(isFlash, static_cast<std::uint8_t>(count), requestBytewise_);
        if (!bytes) return ConnectionFailure();
        for (std::uint32_t i = 0; i < count; ++i) Take(o + i, bytes[i]);
        if (CancelRequested()) return ResultCancelled;
        if (!Delay(job_.delays.pageRead)) return ResultCancelled;
        ReportProgress(static_cast<std::int32_t>(k));
      }
      buffer.Changed(0, n);
      return ResultSuccess;
    }
  }
  return ResultCommunicationError;
}

// ---- verify -------------------------------------------------------------------------------

VerifyOperation::VerifyOperation(BoardLink& link, const DeviceRecord& device, const ChipJob& job, MemoryBuffer& b,
                                 bool flash, ChipResults& results)
    : ReadOperation(link, device, job, b, flash),
      limit(static_cast<std::int32_t>(flash ? device.FlashSize : device.EepromSize)),
      results_(results) {
  requestBytewise_ = true;
}

void VerifyOperation::Take(std::uint32_t at, std::uint8_t value) {
  auto& states = buffer.states();
  if (buffer.data()[at] == value) {
    if (at < states.size()) states[at] = StateVerified;
    return;
  }
  matched = false;
  std::int32_t none = -1;
  results_.firstMismatchAddress.compare_exchange_strong(none, static_cast<std::int32_t>(at));
  if (at < states.size()) states[at] = StatePending;
}

std::int32_t VerifyOperation::Run() {
  const MessageCatalog& c = Catalog();
  std::fill(buffer.states().begin(), buffer.states().end(), StatePending);
  // As Program does: an image longer than the chip is said so before anything is read.
  if (!AcceptLimit(buffer.size(), limit, isFlash)) return ResultCancelled;
  // Only what the chip can hold is compared; bytes beyond it stay pending, not different.
  const std::uint32_t n = std::min(buffer.size(), static_cast<std::uint32_t>(std::max(limit, 0)));
  length = n;
  BeginPhase(c.GetText(msg::VerifyCaption), c.GetText(isFlash ? msg::VerifyingFlash : msg::VerifyingEeprom),
             static_cast<std::int32_t>(n / kBlockBytes));
  return ReadChip(n, msg::VerifyCaption);
}

// ---- blank check --------------------------------------------------------------------------

BlankCheckOperation::BlankCheckOperation(BoardLink& link, const DeviceRecord& device, const ChipJob& job)
    : TransferOperation(link, device, job) {}

std::int32_t BlankCheckOperation::Run() {
  const MessageCatalog& c = Catalog();
  const std::uint32_t f = device_.FlashSize;
  BeginPhase(c.GetText(msg::BlankCheckCaption), c.GetText(msg::CheckingFlash), static_cast<std::int32_t>(f / kBlockBytes));
  switch (PathFor(device_, true)) {
    case WirePath::At45: {
      const std::uint32_t pageSize = device_.PageSize;
      const std::uint32_t pages = CeilDiv(f, pageSize);
      BeginPhase(c.GetText(msg::BlankCheckCaption), c.GetText(msg::CheckingFlash), static_cast<std::int32_t>(pages));
      if (!wire_.FlashDeselect() || !wire_.FlashSelect() || !wire_.At45ContinuousRead())
        return ResultCommunicationError;
      for (std::uint32_t p = 0; p < pages; ++p) {
        const std::uint32_t count = std::min(pageSize, f - p * pageSize);
        const std::uint8_t* bytes = wire_.SpiReadN(static_cast<std::uint16_t>(count));
        if (!bytes) return ResultCommunicationError;
        // The page is read to its end either way.
        const bool blank = std::all_of(bytes, bytes + count, [](std::uint8_t b) { return b == 0xFF; });
        if (!wire_.SpiReadNEnd()) return blank ? ResultCommunicationError : ResultPollingFailure;
        if (!blank) return ResultPollingFailure;
        if (CancelRequested()) return ResultCancelled;
        ReportProgress(static_cast<std::int32_t>(p));
      }
      return ResultSuccess;
    }
    case WirePath::At89S4Byte:
      for (std::uint32_t i = 0; i < f; ++i) {
        const int b = wire_.At89ReadByte(static_cast<std::uint16_t>(i));
        if (b < 0) return ConnectionFailure();
        if (b != 0xFF) return ResultPollingFailure;
        if (CancelRequested()) return ResultCancelled;
        ReportProgress(static_cast<std::int32_t>(i / kBlockBytes));
      }
      return ResultSuccess;
    default: {
      const std::uint8_t code = ByteDelayCode(job_.transfer.delayByte, job_.transfer.delayByteValue, device_.FlashReadDelay);
      if (!wire_.SetByteDelay(code)) return ConnectionFailure();
      for (std::uint32_t k = 0; k < f / kBlockBytes; ++k) {
        const std::uint32_t count = std::min(kBlockBytes, f - k * kBlockBytes);
        const std::uint8_t* bytes = wire_.ReadBlock(true, static_cast<std::uint8_t>(count));
        if (!bytes) return ConnectionFailure();
        if (!std::all_of(bytes, bytes + count, [](std::uint8_t b) { return b == 0xFF; })) return ResultPollingFailure;
        if (CancelRequested()) return ResultCancelled;
        if (!Delay(job_.delays.pageRead)) return ResultCancelled;
        ReportProgress(static_cast<std::int32_t>(k));
      }
      return ResultSuccess;
    }
  }
}

}  // namespace zr7
