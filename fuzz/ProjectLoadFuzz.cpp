// Loads arbitrary bytes as a project file, with both images attached and an operator that
// answers every question. Beyond "no crash, no bad read", a file that loads must hold values
// inside their tables, and writing it and loading that again must give the same settings.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "buffers/MemoryBuffer.h"
#include "devices/DeviceTable.h"
#include "project/Project.h"

using namespace zr7;

namespace {

// One folder for the whole run, also the working folder: relative image names in an input
// then point at files of our own (the input itself, say) and never at the caller's files.
const std::string& WorkDir() {
  // Never destroyed: the exit handler that removes the folder runs after static destructors.
  static const std::string* dir = [] {
    char pattern[] = "/tmp/zr7-project-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made || chdir(made) != 0) abort();
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(WorkDir(), ec);
    });
    return new std::string(made);
  }();
  return *dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& dir = WorkDir();
  std::string_view text(reinterpret_cast<const char*>(data), size);
  // A device or process file named as an image can block or never end; that is no fault of
  // the project reader.
  if (text.find("/dev") != std::string_view::npos || text.find("/proc") != std::string_view::npos ||
      text.find("/sys") != std::string_view::npos) {
    return 0;
  }
  const std::string input = dir + "/input.zr7";
  {
    std::ofstream out(input, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
  }

  ScriptedOperator op;
  op.SetDefaultAnswer(BoxAnswer::No);
  LanguageSettings language;
  MessageCatalog catalog(language);
  Project project(op, catalog);
  MemoryBuffer flash, eeprom;
  project.Attach(nullptr, flash, eeprom);
  flash.Init(op, catalog, false, &project, nullptr);
  eeprom.Init(op, catalog, true, &project, nullptr);
  if (!project.Load(input)) return 0;

  const ProjectSettings& s = project.settings();
  if (s.deviceNo < 0 || s.deviceNo >= DeviceCount || s.spiPeriod < 0 || s.spiPeriod > 7 || s.lockFuse.lockMode < 0 ||
      s.lockFuse.lockMode >= LockModeCount) {
    abort();
  }

  // Written by a project without images, so that nothing but our own file is ever written.
  Project copy(op, catalog);
  copy.settings() = s;
  const std::string output = dir + "/output.zr7";
  std::remove(output.c_str());
  if (!copy.Write(output)) abort();
  Project back(op, catalog);
  if (!back.Load(output) || !(back.settings() == s)) abort();
  return 0;
}
