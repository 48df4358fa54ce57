#pragma once
// The file operations of a memory buffer (load, load at an address, reload, save, save as),
// the main-window commands that run them for the Flash or the Eeprom image, and what a file
// dropped on the window means.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zr7 {

class MemoryBuffer;
class MessageCatalog;

// Buffer operations. Every failure has been shown to the operator when they return false,
// and a failed load leaves the previous image in place.
bool LoadFile(MemoryBuffer& buffer, const std::string& path);
// Merges the file into the image at an address the operator chooses.
bool LoadFileAt(MemoryBuffer& buffer, const std::string& path);
// Before another file is loaded over a modified image: Save (to its file, or Save As), Discard
// or Cancel, on Yes, No and Cancel. True when the load may go on: nothing to lose, the
// changes saved, or discarded.
bool MayReplaceImage(MemoryBuffer& buffer);
// Asks whether to keep a modified image's changes once the file is chosen.
bool Open(MemoryBuffer& buffer);
// The merged image belongs to no file: it counts as modified.
bool OpenAt(MemoryBuffer& buffer);
// Empties the image and loads its file again; a failed reload leaves the image empty.
bool Reload(MemoryBuffer& buffer);
// Nothing to do (true) for an empty image; without a file name it is SaveAs.
bool Save(MemoryBuffer& buffer);
bool SaveAs(MemoryBuffer& buffer);

// "Flash length: ..." or "Eeprom length: ..." with the size and checksum.
std::string ImageStatusText(const MessageCatalog& catalog, bool isEeprom, std::span<const std::uint8_t> image);
std::string BufferStatusText(const MemoryBuffer& buffer);
void ShowBufferStatus(MemoryBuffer& buffer);

// The main window's commands for one buffer; each writes the status line as it should.
bool LoadCommand(MemoryBuffer& buffer);
bool LoadAtCommand(MemoryBuffer& buffer);
// Autoprogram reads the outcome from `lastOperationStatus`: -1 failed, 0 success.
bool ReloadCommand(MemoryBuffer& buffer, std::int32_t& lastOperationStatus);
bool SaveCommand(MemoryBuffer& buffer);
bool SaveAsCommand(MemoryBuffer& buffer);
// Never asks about unsaved changes.
void CloseCommand(MemoryBuffer& buffer);

// Files dropped on the main window.
enum class DropZone { None, FlashView, EepromView };
struct DropDecision {
  enum class Action { Ignore, Beep, OpenProject, LoadFlash, LoadEeprom };
  Action action = Action::Ignore;
  std::string path;  // the file as it was dropped
};
DropDecision DecideDrop(const std::vector<std::string>& files, DropZone zone);

}  // namespace zr7
