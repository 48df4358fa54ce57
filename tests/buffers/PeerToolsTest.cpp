// Our Intel HEX against tools nobody here wrote: objcopy (binutils) and srec_cat (srecord)
// must read what we write and we must read what they write, byte for byte; and the zr7-cli
// convert command.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "text/MessageCatalog.h"
#include "support/CliRunner.h"
#include "support/ScriptedOperator.h"
#include "support/TempFolder.h"
#include "buffers/ImageFiles.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using zr7test::RandomBytes;
using zr7test::ReadBytes;
using zr7test::ReadFile;

// Runs a shell command under a deadline; the exit status, or -1 when it did not exit.
int Shell(const std::string& command) {
  const int status = std::system(("timeout 120 " + command).c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
// Whether the tool is on the PATH.
bool Have(const std::string& tool) {
  std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "");
  for (std::string folder; std::getline(path, folder, ':');)
    if (!folder.empty() && access((folder + "/" + tool).c_str(), X_OK) == 0) return true;
  return false;
}

// Below 64 KiB (no address records), below 1 MiB (segment records), above (linear records).
const std::size_t kSizes[] = {40000, 300000, (std::size_t{1} << 20) + 4102};

class PeerTools : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Have("objcopy")) GTEST_SKIP() << "objcopy (binutils) is not installed";
  }
  // `command` with IN and OUT standing for the quoted paths of the files `in` and `out`.
  int Run(std::string command, const std::string& in, const std::string& out) {
    command.replace(command.find("IN"), 2, "'" + (dir / in) + "'");
    command.replace(command.find("OUT"), 3, "'" + (dir / out) + "'");
    return Shell(command);
  }
  // What our reader makes of a file, with no question answered and no box expected.
  Bytes Load(const std::string& name) {
    Bytes image;
    EXPECT_EQ(zr7::ReadForMerge(op, catalog, dir / name, image), zr7::ReadStatus::Ok);
    EXPECT_EQ(op.BoxTexts(), std::vector<std::string>{}) << name;
    return image;
  }
  zr7::ScriptedOperator op;
  zr7::LanguageSettings language;
  zr7::MessageCatalog catalog{language};
  zr7test::TempFolder dir;
};

TEST_F(PeerTools, ObjcopyReadsOurHexToTheSameBytes) {
  for (std::size_t n : kSizes) {
    const Bytes image = RandomBytes(n, static_cast<unsigned>(n));
    ASSERT_TRUE(zr7::WriteImageFile(op, catalog, image, dir / "ours.hex"));
    ASSERT_EQ(Run("objcopy -I ihex -O binary IN OUT", "ours.hex", "back.bin"), 0) << n;
    EXPECT_TRUE(ReadBytes(dir / "back.bin") == image) << n;
  }
}

TEST_F(PeerTools, TheirHexLoadsToTheSameBytesWithEveryKindOfRecord) {
  // The tool's command, the largest image it can address, and the record that makes the
  // variant worth testing.
  const std::string srec = "srec_cat IN -binary -o OUT -intel ";
  const struct { std::string command; std::size_t below; const char* mustContain; } variants[] = {
      {"objcopy -I binary -O ihex IN OUT", SIZE_MAX, ":10"},
      {srec, SIZE_MAX, ":02000004"},
      {srec + "-Output_Block_Size=16", SIZE_MAX, ":10"},
      {srec + "-Output_Block_Size=64", SIZE_MAX, ":40"},
      {srec + "-Output_Block_Size=255", SIZE_MAX, ":FF"},
      {srec + "-execution-start-address=0x1234", SIZE_MAX, ":04000005"},
      {srec + "-address-length=3", std::size_t{1} << 20, ":02000002"},
      {srec + "-address-length=3 -execution-start-address=0x1234", std::size_t{1} << 20, ":04000003"},
      {srec + "-address-length=2", std::size_t{1} << 16, ":20"},
  };
  for (const auto& v : variants)
    for (std::size_t n : kSizes) {
      if (n >= v.below) continue;
      if (v.command.starts_with("srec_cat") && !Have("srec_cat")) GTEST_SKIP() << "srec_cat (srecord) is not installed";
      SCOPED_TRACE(v.command + " " + std::to_string(n));
      const Bytes image = RandomBytes(n, static_cast<unsigned>(n) + 2);
      dir.File("in.bin", image);
      ASSERT_EQ(Run(v.command, "in.bin", "theirs.hex"), 0);
      ASSERT_NE(ReadFile(dir / "theirs.hex").find(v.mustContain), std::string::npos);
      EXPECT_TRUE(Load("theirs.hex") == image);
    }
}

// The command for users, run as a process: its exit codes, its texts and the files it leaves.
class CliConvert : public ::testing::Test {
 protected:
  zr7test::CliRun Convert(const std::string& args) {
    return zr7test::RunCli(dir.path(), "convert " + args);
  }
  // The quoted path of a file in the folder.
  std::string Q(const std::string& name) const { return "'" + (dir / name) + "'"; }
  zr7test::TempFolder dir;
};

TEST_F(CliConvert, QuestionsAreAnsweredByTheFlagAndShownOnStderr) {
  dir.File("odd.bin", Bytes{1, 2, 3});
  zr7test::CliRun r = Convert(Q("odd.bin") + " " + Q("out.txt"));
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(ReadBytes(dir / "out.txt"), (Bytes{1, 2, 3, 0xFF}));  // No by default: raw, padded as Flash
  EXPECT_EQ(r.err, "Would you like to save '" + (dir / "out.txt") + "' in Intel HEX format? [No]\n");
  EXPECT_EQ(r.out, "Flash length: 4 (0x4) bytes, Checksum = 0x0105\n");

  r = Convert("--yes --eeprom " + Q("odd.bin") + " " + Q("out.txt"));
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(ReadFile(dir / "out.txt"), ":03000000010203F7\r\n:00000001FF\r\n");
  EXPECT_EQ(r.out, "Eeprom length: 3 (0x3) bytes, Checksum = 0x0006\n");

  // A bad checksum: No refuses the file, Yes loads it as Intel HEX.
  dir.File("bad.hex", ":0400000001020304F0\r\n:00000001FF\r\n");
  EXPECT_EQ(Convert("--eeprom " + Q("bad.hex") + " " + Q("raw.bin")).status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "raw.bin"));
  ASSERT_EQ(Convert("--yes --eeprom " + Q("bad.hex") + " " + Q("hex.bin")).status, 0);
  EXPECT_EQ(ReadBytes(dir / "hex.bin"), (Bytes{1, 2, 3, 4}));
}

// Failures exit 1 and leave the output as it was (what is not the image is never written out
// as one); usage errors exit 2.
TEST_F(CliConvert, FailuresExitOneAndLeaveTheOutputAloneUsageErrorsExitTwo) {
  dir.File("notes.hex", "firmware notes, not Intel HEX\n");
  dir.File("empty.bin", "");
  dir.File("in.bin", Bytes{1, 2});
  const struct { const char* in; const char* out; std::string err; } cases[] = {
      {"notes.hex", "out.bin",
       "'" + (dir / "notes.hex") + "' is not valid Intel HEX: line 1 does not begin with ':'. Nothing was loaded.\n"},
      {"empty.bin", "out.bin", "'" + (dir / "empty.bin") + "' holds no image data: '" + (dir / "out.bin") +
                                   "' was not written.\n"},
      {"missing.hex", "out.bin", "Cannot read file '" + (dir / "missing.hex") + "'\n"},
      {"in.bin", "no-such-folder/out.bin",
       "Cannot save file '" + (dir / "no-such-folder/out.bin") + "': the folder does not exist.\n"},
  };
  for (const auto& c : cases) {
    dir.File("out.bin", Bytes{1, 2, 3});
    const zr7test::CliRun r = Convert(Q(c.in) + " " + Q(c.out));
    EXPECT_EQ(r.status, 1) << c.in;
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "") << c.in;
    EXPECT_EQ(ReadBytes(dir / "out.bin"), (Bytes{1, 2, 3})) << c.in;
  }
  for (const std::string& args : {std::string(""), Q("in.bin"), "--yes --no " + Q("in.bin") + " " + Q("x.bin"),
                                 "--frobnicate " + Q("in.bin") + " " + Q("x.bin")})
    EXPECT_EQ(Convert(args).status, 2) << args;
  EXPECT_FALSE(std::filesystem::exists(dir / "x.bin"));
}

}  // namespace
