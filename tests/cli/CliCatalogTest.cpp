// The translators' listing through the real zr7-cli executable: the catalog's own listing on
// stdout, in the language asked for; bad arguments are usage errors.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support/CliRunner.h"
#include "text/MessageCatalog.h"

namespace {

TEST(CliCatalog, PrintsTheListingAndRefusesBadArguments) {
  const std::filesystem::path dir = zr7test::CaseDir("zr7-clicatalog");
  // The listing expected on stdout (for status 0 but --help): in Russian, with our own texts.
  const struct { std::string args; int status; bool russian, withOwn; } runs[] = {
      {"catalog", 0, false, false},      {"catalog --lang ru", 0, true, false}, {"catalog --with-own", 0, false, true},
      {"catalog --lang de", 2, false, false}, {"", 2, false, false}, {"frobnicate", 2, false, false},
      {"catalog --help", 0, false, false}};
  for (const auto& r : runs) {
    const zr7test::CliRun c = zr7test::RunCliExpecting(dir, r.status, r.args);
    if (r.status != 0 || r.args.ends_with("--help")) continue;
    std::ostringstream listing;
    zr7::WriteCatalogListing(listing, r.russian, r.withOwn);
    EXPECT_EQ(c.out, listing.str()) << r.args;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
