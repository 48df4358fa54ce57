// Our Intel HEX against tools nobody here wrote: objcopy (binutils) and srec_cat (srecord)
// must read what we write and we must read what they write, byte for byte; and the same
// through the zr7-cli convert command.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "buffers/ImageFiles.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
Bytes ReadBytes(const fs::path& p) {
  const std::string s = ReadAll(p);
  return Bytes(s.begin(), s.end());
}
void WriteBytes(const fs::path& p, const Bytes& b) {
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
}
Bytes RandomImage(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(random());
  return b;
}
std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Runs a shell command under a deadline; the exit status, or -1 when it did not exit.
int Shell(const std::string& command) {
  const int status = std::system(("timeout 120 " + command).c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
bool Have(const char* tool) { return Shell(std::string("sh -c 'command -v ") + tool + "' >/dev/null 2>&1") == 0; }

struct TempDir {
  TempDir() {
    path = fs::temp_directory_path() / ("zr7-peer-" + std::to_string(getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
  fs::path path;
};

// Below 64 KiB (no address records), below 1 MiB (segment records), above (linear records).
const std::size_t kSizes[] = {40000, 300000, (std::size_t{1} << 20) + 4102};

class PeerTools : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Have("objcopy")) GTEST_SKIP() << "objcopy (binutils) is not installed";
  }
  // What our reader makes of a file, with no question answered and no box expected.
  Bytes Load(const std::string& path) {
    Bytes image;
    EXPECT_EQ(zr7::ReadForMerge(op, catalog, path, image), zr7::ReadStatus::Ok);
    EXPECT_TRUE(op.Boxes().empty()) << path << ": " << op.Boxes().front().text;
    return image;
  }
  zr7::ScriptedOperator op;
  zr7::LanguageSettings language;
  zr7::MessageCatalog catalog{language};
  TempDir dir;
};

TEST_F(PeerTools, ObjcopyReadsOurHexToTheSameBytes) {
  for (std::size_t n : kSizes) {
    const Bytes image = RandomImage(n, static_cast<unsigned>(n));
    ASSERT_TRUE(zr7::WriteImageFile(op, catalog, image, dir / "ours.hex"));
    ASSERT_EQ(Shell("objcopy -I ihex -O binary " + Quote(dir / "ours.hex") + " " + Quote(dir / "back.bin")), 0) << n;
    EXPECT_TRUE(ReadBytes(dir / "back.bin") == image) << n;
  }
}

TEST_F(PeerTools, ObjcopyHexLoadsToTheSameBytes) {
  for (std::size_t n : kSizes) {
    const Bytes image = RandomImage(n, static_cast<unsigned>(n) + 1);
    WriteBytes(dir / "in.bin", image);
    ASSERT_EQ(Shell("objcopy -I binary -O ihex " + Quote(dir / "in.bin") + " " + Quote(dir / "theirs.hex")), 0);
    EXPECT_TRUE(Load(dir / "theirs.hex") == image) << n;
  }
}

TEST_F(PeerTools, SrecCatHexLoadsToTheSameBytesWithEveryKindOfRecord) {
  if (!Have("srec_cat")) GTEST_SKIP() << "srec_cat (srecord) is not installed";
  struct Variant {
    const char* options;
    std::size_t below;       // the largest image the variant can address
    const char* mustContain;  // the record that makes the variant worth testing
  };
  const Variant variants[] = {
      {"", SIZE_MAX, ":02000004"},
      {"-Output_Block_Size=16", SIZE_MAX, ":10"},
      {"-Output_Block_Size=64", SIZE_MAX, ":40"},
      {"-Output_Block_Size=255", SIZE_MAX, ":FF"},
      {"-execution-start-address=0x1234", SIZE_MAX, ":04000005"},
      {"-address-length=3", std::size_t{1} << 20, ":02000002"},
      {"-address-length=3 -execution-start-address=0x1234", std::size_t{1} << 20, ":04000003"},
      {"-address-length=2", std::size_t{1} << 16, ":20"},
  };
  for (const Variant& v : variants) {
    for (std::size_t n : kSizes) {
      if (n >= v.below) continue;
      const Bytes image = RandomImage(n, static_cast<unsigned>(n) + 2);
      WriteBytes(dir / "in.bin", image);
      ASSERT_EQ(Shell("srec_cat " + Quote(dir / "in.bin") + " -binary -o " + Quote(dir / "theirs.hex") + " -intel " +
                    v.options),
                0)
          << v.options;
      ASSERT_NE(ReadAll(dir / "theirs.hex").find(v.mustContain), std::string::npos) << v.options;
      EXPECT_TRUE(Load(dir / "theirs.hex") == image) << v.options << " " << n;
    }
  }
}

// The command for users, run as a process.
class CliConvert : public ::testing::Test {
 protected:
  struct Result {
    int status;
    std::string out, err;
  };
  Result Convert(const std::string& args) {
    Result r;
    r.status = Shell(std::string(ZR7_CLI_PATH) + " convert " + args + " >" + Quote(dir / "stdout") + " 2>" +
                   Quote(dir / "stderr"));
    r.out = ReadAll(dir / "stdout");
    r.err = ReadAll(dir / "stderr");
    return r;
  }
  TempDir dir;
};

TEST_F(CliConvert, RoundTripsObjcopyFilesByteForByte) {
  if (!Have("objcopy")) GTEST_SKIP() << "objcopy (binutils) is not installed";
  const Bytes image = RandomImage((std::size_t{1} << 20) + 4102, 5);
  WriteBytes(dir / "in.bin", image);
  ASSERT_EQ(Shell("objcopy -I binary -O ihex " + Quote(dir / "in.bin") + " " + Quote(dir / "theirs.hex")), 0);

  Result r = Convert(Quote(dir / "theirs.hex") + " " + Quote(dir / "ours.bin"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(ReadBytes(dir / "ours.bin") == image);
  EXPECT_EQ(r.out.rfind("Flash length: 1052678 (0x101006) bytes, Checksum = 0x", 0), 0u) << r.out;
  EXPECT_EQ(r.err, "");

  r = Convert(Quote(dir / "in.bin") + " " + Quote(dir / "ours.hex"));
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(Shell("objcopy -I ihex -O binary " + Quote(dir / "ours.hex") + " " + Quote(dir / "back.bin")), 0);
  EXPECT_TRUE(ReadBytes(dir / "back.bin") == image);
}

TEST_F(CliConvert, QuestionsAreAnsweredByTheFlagAndShownOnStderr) {
  WriteBytes(dir / "odd.bin", {1, 2, 3});
  Result r = Convert(Quote(dir / "odd.bin") + " " + Quote(dir / "out.txt"));
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(ReadBytes(dir / "out.txt"), (Bytes{1, 2, 3, 0xFF}));  // No by default: raw, padded as Flash
  EXPECT_EQ(r.err, "Would you like to save '" + (dir / "out.txt") + "' in Intel HEX format? [No]\n");
  EXPECT_EQ(r.out, "Flash length: 4 (0x4) bytes, Checksum = 0x0105\n");

  r = Convert("--yes --eeprom " + Quote(dir / "odd.bin") + " " + Quote(dir / "out.txt"));
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(ReadAll(dir / "out.txt"), ":03000000010203F7\r\n:00000001FF\r\n");
  EXPECT_EQ(r.out, "Eeprom length: 3 (0x3) bytes, Checksum = 0x0006\n");

  // A bad checksum: No refuses the file, Yes loads it as Intel HEX.
  std::ofstream(dir / "bad.hex", std::ios::binary) << ":0400000001020304F0\r\n:00000001FF\r\n";
  r = Convert("--eeprom " + Quote(dir / "bad.hex") + " " + Quote(dir / "raw.bin"));
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(fs::exists(dir / "raw.bin"));
  ASSERT_EQ(Convert("--yes --eeprom " + Quote(dir / "bad.hex") + " " + Quote(dir / "hex.bin")).status, 0);
  EXPECT_EQ(ReadBytes(dir / "hex.bin"), (Bytes{1, 2, 3, 4}));
}

// What is not the image is never written out as one: the output stays as it was.
TEST_F(CliConvert, AnInputThatIsNotItsImageLeavesTheOutputAlone) {
  std::ofstream(dir / "notes.hex") << "firmware notes, not Intel HEX\n";
  WriteBytes(dir / "empty.bin", {});
  const struct {
    const char* in;
    std::string err;
  } cases[] = {
      {"notes.hex", "is not valid Intel HEX: line 1 does not begin with ':'. Nothing was loaded.\n"},
      {"empty.bin", "holds no image data: '" + (dir / "out.bin") + "' was not written.\n"},
  };
  for (const auto& c : cases) {
    WriteBytes(dir / "out.bin", {1, 2, 3});
    Result r = Convert(Quote(dir / c.in) + " " + Quote(dir / "out.bin"));
    EXPECT_EQ(r.status, 1) << c.in;
    EXPECT_EQ(r.err, "'" + (dir / c.in) + "' " + c.err);
    EXPECT_EQ(r.out, "") << c.in;
    EXPECT_EQ(ReadBytes(dir / "out.bin"), (Bytes{1, 2, 3})) << c.in;
  }
}

TEST_F(CliConvert, FailuresExitOneAndUsageErrorsExitTwo) {
  Result r = Convert(Quote(dir / "missing.hex") + " " + Quote(dir / "out.bin"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot read file '" + (dir / "missing.hex") + "'\n");
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(fs::exists(dir / "out.bin"));

  WriteBytes(dir / "in.bin", {1, 2});
  r = Convert(Quote(dir / "in.bin") + " " + Quote(dir / "no-such-folder/out.bin"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Cannot save file '" + (dir / "no-such-folder/out.bin") + "': the folder does not exist.\n");

  EXPECT_EQ(Convert("").status, 2);
  EXPECT_EQ(Convert(Quote(dir / "in.bin")).status, 2);
  EXPECT_EQ(Convert("--yes --no " + Quote(dir / "in.bin") + " " + Quote(dir / "x.bin")).status, 2);
  EXPECT_EQ(Convert("--frobnicate " + Quote(dir / "in.bin") + " " + Quote(dir / "x.bin")).status, 2);
  EXPECT_FALSE(fs::exists(dir / "x.bin"));
}

}  // namespace
