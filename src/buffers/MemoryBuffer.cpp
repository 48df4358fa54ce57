#include "buffers/MemoryBuffer.h"

#include <new>

#include "text/MessageCatalog.h"
#include "buffers/ImageFiles.h"

namespace zr7 {

namespace {
// Frees the memory too; clear() alone would keep up to 8 MiB per array reserved.
void Release(std::vector<std::uint8_t>& v) { std::vector<std::uint8_t>().swap(v); }
}  // namespace

void MemoryBuffer::Init(OperatorInterface& op, const MessageCatalog& catalog, bool isEeprom,
                        ModificationListener* project, ViewInterface* view) {
  op_ = &op;
  catalog_ = &catalog;
  isEeprom_ = isEeprom;
  project_ = project;
  view_ = view;
}

void MemoryBuffer::Detach() {
  view_ = nullptr;
  Release(states_);
}

void MemoryBuffer::Changed(std::uint32_t offset, std::uint32_t length) const {
  if (view_) view_->ImageChanged(Kind(), offset, length);
}

void MemoryBuffer::MarkModified() {
  if (!modified_) {
    modified_ = true;
    Changed();
  }
  if (project_) project_->SetModified();
}

bool MemoryBuffer::Clear() {
  busy = false;
  Release(data_);
  Release(states_);
  fileName_ = std::string(Unspecified);
  takenAsRaw_.clear();
  Changed();
  return true;
}

bool MemoryBuffer::Allocate(std::uint32_t n) {
  busy = false;
  Release(data_);
  Release(states_);
  takenAsRaw_.clear();
  try {
    data_.assign(n, 0xFF);
    states_.assign(n, StatePending);
  } catch (const std::bad_alloc&) {
    Release(data_);
    Release(states_);
    if (op_ && catalog_)
      op_->ShowBox({catalog_->GetText(msg::ProductTitle), catalog_->GetText(msg::NotEnoughMemory), BoxIcon::Error,
                    BoxButtons::Ok});
    Changed();
    return false;
  }
  MarkModified();
  Changed();
  return true;
}

std::uint16_t MemoryBuffer::Checksum() const { return ImageChecksum(data_); }

// The filter patterns are matched case-sensitively on Linux, so the default extension is
// lower case too: an appended "HEX" would name a file the dialog's own filter hides.
FileRequest MemoryBuffer::OpenRequest() const {
  FileRequest r;
  r.initialPath = "Untitled";
  if (isEeprom_) {
    r.filter = "EEP Files|*.eep|HEX Files|*.hex|BIN Files|*.bin|All Files|*.*";
    r.defaultExtension = "eep";
  } else {
    r.filter = "HEX Files|*.hex|BIN Files|*.bin|All Files|*.*";
    r.defaultExtension = "hex";
  }
  return r;
}

FileRequest MemoryBuffer::SaveRequest() const {
  FileRequest r;
  r.initialPath = "Untitled";
  if (isEeprom_) {
    r.filter = "EEP Files|*.eep|HEX Files|*.hex|BIN Files|*.bin|All Files|*.*";
    r.defaultExtension = "eep";
  } else {
    r.filter = "HEX Files|*.hex|EEP Files|*.eep|BIN Files|*.bin|All Files|*.*";
    r.defaultExtension = "hex";
  }
  return r;
}

std::string ImageLabelText(const MemoryBuffer& buffer) {
  std::string text = buffer.fileName().empty() ? std::string(Unspecified) : buffer.fileName();
  if (buffer.modified() && !buffer.empty()) text += '*';
  return text;
}

}  // namespace zr7
