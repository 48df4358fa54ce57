// zr7-cli: the command-line front-end of the ZR7 programmer.

#include <CLI/CLI.hpp>

#include <iostream>

#include "app/MessageCatalog.h"

int main(int argc, char** argv) {
  CLI::App app{"ZR7 in-system programmer, command line"};
  app.require_subcommand(1);

  std::string lang = "en";
  CLI::App* catalog = app.add_subcommand("catalog", "Print every message of the catalog as id<TAB>text");
  catalog->add_option("--lang", lang, "Language of the texts")->check(CLI::IsMember({"en", "ru"}));
  bool withOwn = false;
  catalog->add_flag("--with-own", withOwn, "Also print the texts of our own (ids from 2001 on)");

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
  return 2;
}
