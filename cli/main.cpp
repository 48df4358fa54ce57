// zr7-cli: the command-line front-end of the ZR7 programmer.

#include <CLI/CLI.hpp>

#include <iostream>

#include "ConsoleOperator.h"
#include "app/MessageCatalog.h"
#include "buffers/ConvertImage.h"

int main(int argc, char** argv) {
  CLI::App app{"ZR7 in-system programmer, command line"};
  app.require_subcommand(1);

  std::string lang = "en";
  CLI::App* catalog = app.add_subcommand("catalog", "Print every message of the catalog as id<TAB>text");
  catalog->add_option("--lang", lang, "Language of the texts")->check(CLI::IsMember({"en", "ru"}));
  bool withOwn = false;
  catalog->add_flag("--with-own", withOwn, "Also print the texts of our own (ids from 2001 on)");

  std::string convertIn, convertOut;
  bool yes = false, no = false, eeprom = false;
  CLI::App* convert = app.add_subcommand(
      "convert", "Convert an image file between Intel HEX and binary, as the programmer loads and saves it");
  convert->add_option("IN", convertIn, "Image to read (.bin raw, otherwise Intel HEX or raw)")->required();
  convert->add_option("OUT", convertOut, "Image to write (.bin raw, .hex/.eep Intel HEX, otherwise asked)")->required();
  CLI::Option* yesFlag = convert->add_flag("--yes", yes, "Answer every question Yes");
  convert->add_flag("--no", no, "Answer every question No (the default)")->excludes(yesFlag);
  convert->add_flag("--eeprom", eeprom, "Load as the Eeprom image (no padding to an even length)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Usage errors exit 2, as command-line tools do; --help exits 0.
    return app.exit(e) == 0 ? 0 : 2;
  }

  if (*catalog) {
    zr7::WriteCatalogListing(std::cout, lang == "ru", withOwn);
    std::cout.flush();
    return std::cout ? 0 : 1;
  }
  if (*convert) {
    zr7::LanguageSettings language;
    zr7::MessageCatalog messages(language);
    zr7cli::ConsoleOperator op(std::cout, std::cerr, yes);
    return zr7::ConvertImage(op, messages, convertIn, convertOut, eeprom) ? 0 : 1;
  }
  return 2;
}
