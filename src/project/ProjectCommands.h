#pragma once
// The commands of the "Project" menu and of its recent-project entries: what each does to the
// project, the images, the recent list, the profile, the status line and the window.

#include "project/Project.h"
#include "project/RecentList.h"

namespace zr7 {

namespace command {
inline constexpr int ProjectOpen = 32780;
inline constexpr int ProjectSave = 32781;
inline constexpr int ProjectSaveAs = 32782;
inline constexpr int ProjectReload = 32783;
inline constexpr int ProjectNew = 32784;
inline constexpr int ProjectClose = 32792;
}  // namespace command

class ProjectCommands {
 public:
  // The project must be attached to its window and images already.
  ProjectCommands(Project& project, Profile& profile, RecentList& recent, OperatorInterface& op,
                  const MessageCatalog& catalog)
      : project_(&project), profile_(&profile), recent_(&recent), op_(&op), catalog_(&catalog) {}

  // Before the project and its images are left (New, Open, Close, a recent entry, the window
  // closing): with unsaved changes the operator chooses Save, Discard or Cancel (Yes, No,
  // Cancel). True when it may go on: nothing unsaved, all of it saved, or discarded.
  bool ConfirmLeave();

  // The images stay loaded; the next start-up opens no project.
  void New();
  bool Open();
  // Reads the project's file again; the recent list stays as it is.
  bool Reload();
  // A project never saved is saved as Save As does, and then goes to the recent list too.
  bool Save();
  bool SaveAs();
  // Empties the project and both images once unsaved changes are dealt with.
  void Close();
  // Opens the project of recent slot 1..8. Only a project that loaded moves to the front
  // and becomes the one start-up opens; an entry whose file has gone stays where it was.
  bool OpenRecent(int slot);

  // Runs a project or recent-project command; false when the id is not one of them.
  bool Execute(int commandId);

 private:
  bool HasUnsavedChanges() const;
  void AfterLoad(bool loaded);
  void AddToRecent(const std::string& path);
  void Refresh();

  Project* project_;
  Profile* profile_;
  RecentList* recent_;
  OperatorInterface* op_;
  const MessageCatalog* catalog_;
};

}  // namespace zr7
