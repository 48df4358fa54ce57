// The translators' listing, through the real zr7-cli executable.

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <sys/wait.h>

#include "text/CatalogTables.h"
#include "text/MessageCatalog.h"

namespace {

struct CliRun {
  std::string out;
  int status = -1;
};

CliRun RunCli(const std::string& args) {
  CliRun r;
  std::string command = std::string(ZR7_CLI_PATH) + " " + args + " 2>/dev/null";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

TEST(CliCatalog, RussianListingHasEveryRowWithMatchingPlaceholders) {
  CliRun ru = RunCli("catalog --lang ru");
  CliRun en = RunCli("catalog");
  ASSERT_EQ(ru.status, 0);
  ASSERT_EQ(en.status, 0);
  auto ruLines = Lines(ru.out), enLines = Lines(en.out);
  ASSERT_EQ(ruLines.size(), 188u);
  ASSERT_EQ(enLines.size(), 188u);
  auto table = zr7::MessageTable();
  for (std::size_t i = 0; i < ruLines.size(); ++i) {
    const std::string prefix = std::to_string(table[i].id) + "\t";
    ASSERT_EQ(ruLines[i].rfind(prefix, 0), 0u) << ruLines[i];
    ASSERT_EQ(enLines[i].rfind(prefix, 0), 0u) << enLines[i];
    EXPECT_EQ(zr7::Placeholders(ruLines[i].substr(prefix.size())), zr7::Placeholders(enLines[i].substr(prefix.size())))
        << table[i].id;
    // Lock mode names ("LB1", "LB1+LB2" ...) and "COM%d..." read the same in both languages.
    const bool name = (table[i].id >= 1011 && table[i].id <= 1013) || table[i].id == 1137;
    if (!name) {
      EXPECT_NE(ruLines[i], enLines[i]) << table[i].id << " is not translated";
    }
  }
}

TEST(CliCatalog, BadArgumentsAreUsageErrors) {
  EXPECT_EQ(RunCli("catalog --lang de").status, 2);
  EXPECT_EQ(RunCli("").status, 2);
  EXPECT_EQ(RunCli("frobnicate").status, 2);
  EXPECT_EQ(RunCli("catalog --help").status, 0);
}

}  // namespace
