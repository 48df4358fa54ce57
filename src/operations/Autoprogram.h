#pragma once
// The one-command production run the project configures: erase, blank check, reload, program
// and verify of Flash and Eeprom, the serial-number increment, the lock and fuse bits. It talks
// to no board itself: it calls the commands the buttons call and judges each from its results.

#include <optional>
#include <string>

#include "link/ChipJob.h"

namespace zr7 {

class ChipCommands;
class Clock;
class LockFuseCommands;
class MemoryBuffer;
class MessageCatalog;
class OperatorInterface;
class Project;

// What the caller reads after a run (the start-up code turns it into the exit status).
struct AutoprogramOutcome {
  bool AutoprogramSucceeded = false;
};

// The image files a project file names ("" for none). A buffer loses its name when its file
// fails to load, so only the project file can tell a missing image from no image.
struct NamedImages {
  std::string flash;
  std::string eeprom;
};
NamedImages ImagesNamedBy(const Project& project);

class Autoprogram {
 public:
  Autoprogram(ChipCommands& chip, MemoryBuffer& flash, MemoryBuffer& eeprom, Project& project,
              LockFuseCommands& lockFuse, Clock& clock);

  // Overrides what an unattended run reads from the project file.
  void SetNamedImages(NamedImages images) { named_ = std::move(images); }

  // One run; true (and outcome.AutoprogramSucceeded set) only when every configured step
  // succeeded. Unattended, an image the project names but that did not load fails the run
  // before any chip step instead of silently skipping its steps.
  bool Run(ChipJob& job, bool unattended, AutoprogramOutcome& outcome);

 private:
  bool Fail(int id);
  bool Fail(const std::string& text);
  void Pause();
  void Settle();
  // The run's judgement of a step: good only at status 0.
  bool Good() const;
  // The reload, program and verify of one memory; false when the run must stop.
  bool MemorySteps(ChipJob& job, bool isFlash, std::int32_t& bytes);
  bool ImageMissing(bool isFlash, const NamedImages& named) const;
  // The buffers' operator and catalog, bound after construction by the buffers' Init.
  OperatorInterface& Op() const;
  const MessageCatalog& Catalog() const;

  ChipCommands& chip_;
  MemoryBuffer& flash_;
  MemoryBuffer& eeprom_;
  Project& project_;
  LockFuseCommands& lockFuse_;
  Clock& clock_;
  std::optional<NamedImages> named_;
  bool anyAction_ = false;
};

}  // namespace zr7
