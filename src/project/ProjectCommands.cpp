#include "project/ProjectCommands.h"

#include <optional>

#include "text/MessageCatalog.h"
#include "operator/OperatorInterface.h"

namespace zr7 {

void ProjectCommands::Refresh() {
  if (ViewInterface* v = project_->View()) v->ProjectChanged();
}

void ProjectCommands::AddToRecent(const std::string& path) {
  recent_->AddToRecent(path);
  if (ViewInterface* v = project_->View()) v->RecentListChanged();
}

// The common end of Open, Reload and a recent entry.
void ProjectCommands::AfterLoad(bool loaded) {
  if (loaded) {
    op_->SetStatus(catalog_->GetText(msg::ProjectLoaded));
    profile_->SetLoadMostRecent(true);
    if (ViewInterface* v = project_->View()) v->DeviceSelected(project_->settings().deviceNo);
  } else {
    op_->SetStatus(catalog_->GetText(msg::ProjectNotLoaded));
  }
  Refresh();
}

bool ProjectCommands::HasUnsavedChanges() const {
  auto unsaved = [](const MemoryBuffer* b) { return b && !b->empty() && b->modified(); };
  return project_->modified() || unsaved(project_->FlashBuffer()) || unsaved(project_->EepromBuffer());
}

bool ProjectCommands::ConfirmLeave() {
  if (!HasUnsavedChanges()) return true;
  const BoxAnswer answer = op_->ShowBox({catalog_->GetText(msg::ProductTitle),
                                         catalog_->GetText(msg::ProjectUnsavedSaveDiscardCancel), BoxIcon::Question,
                                         BoxButtons::YesNoCancel});
  switch (answer) {
    case BoxAnswer::Yes:
      // On only once everything is in its files: a declined image or a cancelled name stops.
      return Save() && !HasUnsavedChanges();
    case BoxAnswer::No:
      return true;
    default:
      return false;
  }
}

void ProjectCommands::New() {
  if (!ConfirmLeave()) return;
  project_->Reset();
  project_->ClearModified();
  profile_->SetLoadMostRecent(false);
  Refresh();
}

bool ProjectCommands::Open() {
  // The file first: a cancelled dialog has nothing to ask about.
  const std::optional<std::string> chosen = op_->ChooseFileToOpen(project_->OpenRequest());
  if (chosen && !ConfirmLeave()) return false;
  bool loaded = chosen && project_->Load(*chosen);
  if (loaded) AddToRecent(project_->path());
  AfterLoad(loaded);
  return loaded;
}

bool ProjectCommands::Reload() {
  bool loaded = project_->Reload();
  AfterLoad(loaded);
  return loaded;
}

bool ProjectCommands::Save() {
  bool hadPath = project_->HasPath();
  bool written = project_->Save();
  if (written && !hadPath) AddToRecent(project_->path());
  Refresh();
  return written;
}

bool ProjectCommands::SaveAs() {
  bool written = project_->SaveAs();
  if (written) AddToRecent(project_->path());
  Refresh();
  return written;
}

void ProjectCommands::Close() {
  if (!ConfirmLeave()) return;
  project_->Reset();
  if (MemoryBuffer* b = project_->FlashBuffer()) b->Clear();
  if (MemoryBuffer* b = project_->EepromBuffer()) b->Clear();
  // Nothing is left that differs from a file: the title must not claim unsaved changes.
  project_->ClearModified();
  profile_->SetLoadMostRecent(false);
  Refresh();
}

bool ProjectCommands::OpenRecent(int slot) {
  std::string path = recent_->Slot(slot);  // a copy: the list moves under it
  if (path.empty() || !ConfirmLeave()) return false;
  bool loaded = project_->Load(path);
  if (loaded) AddToRecent(path);
  AfterLoad(loaded);
  return loaded;
}

bool ProjectCommands::Execute(int commandId) {
  switch (commandId) {
    case command::ProjectNew: New(); return true;
    case command::ProjectOpen: Open(); return true;
    case command::ProjectReload: Reload(); return true;
    case command::ProjectSave: Save(); return true;
    case command::ProjectSaveAs: SaveAs(); return true;
    case command::ProjectClose: Close(); return true;
    default: break;
  }
  if (commandId >= FirstRecentCommand && commandId < FirstRecentCommand + RecentSlotCount) {
    OpenRecent(commandId - RecentPlaceholderCommand);
    return true;
  }
  return false;
}

}  // namespace zr7
