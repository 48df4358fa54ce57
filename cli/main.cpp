// zr7-cli: the command-line front-end of the ZR7 programmer.

#include <CLI/CLI.hpp>

#include <iostream>
#include <unistd.h>

#include "AutoprogramCommandLine.h"
#include "BoardCommandLine.h"
#include "ChipCommandLine.h"
#include "ConsoleOperator.h"
#include "FuseCommandLine.h"
#include "StopSignals.h"
#include "text/MessageCatalog.h"
#include "buffers/ConvertImage.h"

namespace {

// "program flash FILE" and its kind: the memory and the file.
CLI::App* MemoryCommand(CLI::App& app, const char* name, const char* what, zr7cli::ChipCommandLine& line) {
  CLI::App* c = app.add_subcommand(name, what);
  c->add_option("MEMORY", line.memory, "flash or eeprom")->required()->check(CLI::IsMember({"flash", "eeprom"}));
  c->add_option("FILE", line.file, "Image file (.bin raw, .hex/.eep Intel HEX)")->required();
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"ZR7 in-system programmer, command line"};
  app.require_subcommand(1);
  app.fallthrough();  // the common options may also follow the command

  zr7cli::ChipCommandLine line;
  std::string simulatorChip;
  app.add_option("--port", line.port, "Board port: 1..8 (COM1..COM8, mapped by the profile) or a device path");
  CLI::Option* simulator =
      app.add_option("--simulator", simulatorChip, "Use the built-in simulated board, with this chip (default: the device)")
          ->expected(0, 1);
  app.add_option("--device", line.device, "Device name, e.g. ATmega8 (any letter case; default: the project's)");
  app.add_option("--project", line.project, "Project file (.zr7) for the device and options");
  app.add_flag("--high-speed", line.highSpeed, "Transfer Flash and Eeprom at 115200 baud");
  bool no = false;
  CLI::Option* yes = app.add_flag("--yes", line.yes, "Answer every question Yes");
  app.add_flag("--no", no, "Answer every question No (the default)")->excludes(yes);
  app.add_option("--lang", line.lang, "Language of the texts (default: the profile's)")
      ->check(CLI::IsMember({"en", "ru"}));

  CLI::App* catalog = app.add_subcommand("catalog", "Print every message of the catalog as id<TAB>text");
  bool withOwn = false;
  catalog->add_flag("--with-own", withOwn, "Also print the texts of our own (ids from 2001 on)");

  std::string convertIn, convertOut;
  bool eeprom = false;
  CLI::App* convert = app.add_subcommand(
      "convert", "Convert an image file between Intel HEX and binary, as the programmer loads and saves it");
  convert->add_option("IN", convertIn,
                      "Image to read (.bin raw, .hex/.eep Intel HEX only, otherwise Intel HEX, or raw when it "
                      "does not begin as Intel HEX)")
      ->required();
  convert->add_option("OUT", convertOut, "Image to write (.bin raw, .hex/.eep Intel HEX, otherwise asked)")->required();
  convert->add_flag("--eeprom", eeprom, "Load as the Eeprom image (no padding to an even length)");

  CLI::App* signature = app.add_subcommand("signature", "Read the chip's signature and name it");
  CLI::App* erase = app.add_subcommand("erase", "Erase the chip");
  CLI::App* blank = app.add_subcommand("blank-check", "Check that the Flash is erased (exit 0 when blank)");
  CLI::App* program = MemoryCommand(app, "program", "Load FILE and program it into the chip", line);
  CLI::App* read = MemoryCommand(app, "read", "Read the chip into FILE", line);
  CLI::App* verify = MemoryCommand(app, "verify", "Load FILE and compare the chip with it (exit 0 on a full match)", line);
  zr7cli::FuseCommandLine fuseLine;
  CLI::App* fuses = zr7cli::AddFuseCommand(app, fuseLine);
  zr7cli::BoardCommandLine boardLine;
  zr7cli::AddBoardCommands(app, boardLine);
  zr7cli::AutoprogramCommandLine autoLine;
  zr7cli::AddAutoprogramCommand(app, autoLine);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Usage errors exit 2, as command-line tools do; --help exits 0.
    return app.exit(e) == 0 ? 0 : 2;
  }

  if (*catalog) {
    zr7::WriteCatalogListing(std::cout, line.lang == "ru", withOwn);
    std::cout.flush();
    return std::cout ? 0 : 1;
  }
  if (*convert) {
    zr7::LanguageSettings language{line.lang == "ru"};
    zr7::MessageCatalog messages(language);
    zr7cli::ConsoleOperator op(std::cout, std::cerr, line.yes);
    return zr7::ConvertImage(op, messages, convertIn, convertOut, eeprom) ? 0 : 1;
  }
  if (simulator->count() > 0) line.simulator = simulatorChip;
  for (auto [sub, name] : {std::pair{signature, "signature"}, {erase, "erase"}, {blank, "blank-check"},
                           {program, "program"}, {read, "read"}, {verify, "verify"}})
    if (*sub) line.command = name;

  // From here on a board may be in a session: a signal stops the command where it safely can.
  zr7cli::InstallStopHandlers();
  const bool bar = isatty(STDERR_FILENO) == 1;
  int status = 2;
  if (autoLine.chosen)
    status = zr7cli::RunAutoprogramCommand(line, autoLine, bar);
  else if (*fuses)
    status = zr7cli::RunFuseCommand(line, fuseLine, bar);
  else if (zr7cli::BoardCommandChosen(boardLine))
    status = zr7cli::RunBoardCommand(line, boardLine, bar);
  else if (!line.command.empty())
    status = zr7cli::RunChipCommand(line, bar);
  if (zr7cli::StopRequested() && status != 2) {
    zr7::LanguageSettings language{line.lang == "ru"};
    std::cerr << zr7::MessageCatalog(language).GetText(zr7::msg::StoppedBySignal) << '\n';
    return 1;
  }
  return status;
}
