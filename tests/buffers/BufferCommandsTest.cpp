// Loading, merging, reloading and saving image files through a buffer, the window's commands
// for them, and what a dropped file means.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "buffers/BufferCommands.h"
#include "buffers/ImageFiles.h"
#include "buffers/MemoryBuffer.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;
using zr7::BoxAnswer;
using zr7::BoxIcon;

struct Label : zr7::BufferLabel {
  void SetText(std::string_view t) override { text = t; }
  std::string text;
};
struct Project : zr7::ModificationListener {
  void SetModified() override { ++setModified; }
  void ClearModifiedIfClean() override { ++clearIfClean; }
  int setModified = 0, clearIfClean = 0;
};
struct Owner : zr7::ControlsOwner {
  void RefreshControls() override { ++refreshes; }
  int refreshes = 0;
};

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
void Write(const fs::path& p, std::string_view bytes) { std::ofstream(p, std::ios::binary) << bytes; }
void Write(const fs::path& p, const Bytes& bytes) {
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}
Bytes AsBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }
Bytes RandomImage(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(random());
  return b;
}
std::size_t Count(const Bytes& v, std::uint8_t value) {
  return static_cast<std::size_t>(std::count(v.begin(), v.end(), value));
}

class BufferCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("zr7-buffers-" + std::to_string(getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    flash.Init(op, catalog, false, &flashLabel, &project, &owner);
    eeprom.Init(op, catalog, true, nullptr, &project, &owner);
    flash.Clear();
    eeprom.Clear();
    op.SetDefaultAnswer(BoxAnswer::No);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string File(const std::string& name, std::string_view contents) {
    Write(dir / name, contents);
    return (dir / name).string();
  }
  std::string File(const std::string& name, const Bytes& contents) {
    Write(dir / name, contents);
    return (dir / name).string();
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> out;
    for (const auto& b : op.Boxes()) out.push_back(b.text);
    return out;
  }
  std::string Text(int id) const { return catalog.GetText(id); }
  std::size_t Entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {})); }

  fs::path dir;
  zr7::ScriptedOperator op;
  zr7::LanguageSettings language;
  zr7::MessageCatalog catalog{language};
  Label flashLabel;
  Project project;
  Owner owner;
  zr7::MemoryBuffer flash, eeprom;
};

TEST_F(BufferCommandsTest, AFlashImageIsPaddedToEvenLengthAnEepromImageIsNot) {
  const std::string path = File("three.bin", Bytes{1, 2, 3});
  flash.MarkModified();
  ASSERT_TRUE(zr7::LoadFile(flash, path));
  EXPECT_EQ(flash.data(), (Bytes{1, 2, 3, 0xFF}));
  EXPECT_EQ(flash.states(), Bytes(4, zr7::StateFromFile));
  EXPECT_FALSE(flash.modified());
  EXPECT_GT(project.clearIfClean, 0);
  EXPECT_EQ(flashLabel.text, path);
  ASSERT_TRUE(zr7::LoadFile(eeprom, path));
  EXPECT_EQ(eeprom.data(), (Bytes{1, 2, 3}));
  EXPECT_TRUE(op.Boxes().empty());
}

TEST_F(BufferCommandsTest, TheReaderIsChosenByTheNameAndFallsBackToRawBytes) {
  const std::string hex = ":0400000001020304F2\r\n:00000001FF\r\n";
  ASSERT_TRUE(zr7::LoadFile(eeprom, File("image.BIN", hex)));  // the ".bin" rule ignores case
  EXPECT_EQ(eeprom.data(), AsBytes(hex));
  ASSERT_TRUE(zr7::LoadFile(eeprom, File("image.eep", hex)));
  EXPECT_EQ(eeprom.data(), (Bytes{1, 2, 3, 4}));

  const std::string text = "\r\nnot a hex file";
  ASSERT_TRUE(zr7::LoadFile(eeprom, File("notes.hex", text)));
  EXPECT_EQ(eeprom.data(), AsBytes(text));
  EXPECT_TRUE(op.Boxes().empty());

  // A broken record is reported, then the file is loaded as its characters.
  const std::string broken = ":0400000001020304\r\n:00000001FF\r\n";
  ASSERT_TRUE(zr7::LoadFile(eeprom, File("broken.hex", broken)));
  EXPECT_EQ(eeprom.data(), AsBytes(broken));
  ASSERT_EQ(op.Boxes().size(), 1u);
  EXPECT_EQ(op.Boxes()[0].text, Text(zr7::msg::ErrorInHexFile));
  EXPECT_EQ(op.Boxes()[0].caption, Text(zr7::msg::ProductTitle));
  EXPECT_EQ(op.Boxes()[0].icon, BoxIcon::Error);
  // The status line after the load says so, once.
  zr7::ShowBufferStatus(eeprom);
  EXPECT_EQ(op.LastStatus(), "Eeprom length: 32 (0x20) bytes, Checksum = 0x05BD; '" + (dir / "broken.hex").string() +
                                 "' is not Intel HEX and was taken as raw bytes");
  zr7::ShowBufferStatus(eeprom);
  EXPECT_EQ(op.LastStatus(), "Eeprom length: 32 (0x20) bytes, Checksum = 0x05BD");
}

// The command line reads strictly: a file that is not the Intel HEX its name promises (or that
// begins as Intel HEX under another name) is refused with the file, the line and the fault,
// and the previous image stays; a raw file under another name still loads, and says so.
TEST_F(BufferCommandsTest, StrictReadingRefusesWhatIsNotTheImage) {
  flash.SetRawFallback(false);
  ASSERT_TRUE(zr7::LoadFile(flash, File("good.bin", Bytes{9, 8})));
  const struct {
    const char* name;
    std::string text;
    const char* fault;
  } cases[] = {
      {"notes.hex", "\r\nnot a hex file", "line 1 does not begin with ':'"},
      {"binary.EEP", std::string("\x7F" "ELF\0\1", 6), "line 1 does not begin with ':'"},
      {"empty.hex", "", "the file is empty"},
      {"broken.dat", ":0400000001020304\r\n:00000001FF\r\n", "line 1 is shorter than its record"},
      {"high.hex", ":0200000480007A\r\n:0100000001FE\r\n:00000001FF\r\n",
       "line 2 puts data at 0x80000000, beyond the largest image of 8388608 bytes"},
      {"sum.hex", ":0100000001FF\r\n:00000001FF\r\n", "the checksum of line 1 is wrong"},  // answered No
  };
  for (const auto& c : cases) {
    op.ClearEvents();
    const std::string path = File(c.name, c.text);
    EXPECT_FALSE(zr7::LoadFile(flash, path)) << c.name;
    ASSERT_FALSE(op.Boxes().empty()) << c.name;
    EXPECT_EQ(op.Boxes().back().text, "'" + path + "' is not valid Intel HEX: " + c.fault + ". Nothing was loaded.");
    EXPECT_EQ(flash.data(), (Bytes{9, 8})) << c.name;
  }
  const std::string raw = File("raw.dat", "raw bytes!");
  ASSERT_TRUE(zr7::LoadFile(flash, raw));
  EXPECT_EQ(flash.data(), AsBytes("raw bytes!"));
  zr7::ShowBufferStatus(flash);
  EXPECT_EQ(op.LastStatus(), "Flash length: 10 (0xA) bytes, Checksum = 0x03B2; '" + raw +
                                 "' is not Intel HEX and was taken as raw bytes");
}

// A pipe would block the reader until someone writes into it, a device would never end: both are
// refused at once. Should the reader wait for a writer all the same, writers come and go after a
// deadline until it is done, so that the test fails rather than hangs.
TEST_F(BufferCommandsTest, APipeOrDeviceIsRefusedWithoutWaiting) {
  ASSERT_TRUE(zr7::LoadFile(flash, File("good.bin", Bytes{9, 8})));
  const std::string fifo = (dir / "pipe.hex").string(), device = (dir / "zero.bin").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(mknod(device.c_str(), S_IFCHR | 0400, makedev(1, 5)), 0);  // reads as endless zeros
  const std::string link = (dir / "link.bin").string();
  fs::create_symlink(dir / "good.bin", link);
  for (const std::string& path : {fifo, device}) {
    op.ClearEvents();
    auto load = std::async(std::launch::async, [&] { return zr7::LoadFile(flash, path); });
    bool waited = false;
    while (load.wait_for(std::chrono::milliseconds(waited ? 100 : 5000)) != std::future_status::ready) {
      waited = true;
      const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) close(writer);
    }
    EXPECT_FALSE(waited) << path << " kept the reader waiting";
    EXPECT_FALSE(load.get()) << path;
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"'" + path +
                                                   "' is not a regular file (a pipe, a device or a socket): only image "
                                                   "files are loaded."});
    EXPECT_EQ(flash.data(), (Bytes{9, 8}));
  }
  ASSERT_TRUE(zr7::LoadFile(flash, link));  // a link to a regular file is a regular file
  EXPECT_EQ(flash.data(), (Bytes{9, 8}));
}

TEST_F(BufferCommandsTest, TheChecksumQuestionDecidesBetweenHexAndRaw) {
  const std::string path = File("bad.hex", ":0400000001020304F0\r\n:0400040005060708E0\r\n:00000001FF\r\n");
  op.QueueAnswer(BoxAnswer::Yes);
  ASSERT_TRUE(zr7::LoadFile(eeprom, path));
  EXPECT_EQ(eeprom.data(), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  ASSERT_EQ(op.Boxes().size(), 1u);
  EXPECT_EQ(op.Boxes()[0].text, Text(zr7::msg::HexChecksumQuestion));
  EXPECT_EQ(op.Boxes()[0].buttons, zr7::BoxButtons::YesNo);

  op.ClearEvents();
  op.QueueAnswer(BoxAnswer::No);
  ASSERT_TRUE(zr7::LoadFile(eeprom, path));
  EXPECT_EQ(eeprom.data(), AsBytes(ReadAll(path)));
  EXPECT_EQ(op.Boxes().size(), 1u);
}

TEST_F(BufferCommandsTest, AFailedLoadSaysWhyAndKeepsThePreviousImage) {
  ASSERT_TRUE(zr7::LoadFile(flash, File("good.bin", Bytes{9, 8})));
  const std::string missing = (dir / "missing.hex").string();
  EXPECT_FALSE(zr7::LoadFile(flash, missing));
  EXPECT_FALSE(zr7::LoadFile(flash, dir.string()));  // a folder is not a file
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{zr7::FormatText(catalog.GetText(zr7::msg::CannotReadFile), missing.c_str()),
                                                  zr7::FormatText(catalog.GetText(zr7::msg::CannotReadFile), dir.c_str())}));
  EXPECT_EQ(flash.data(), (Bytes{9, 8}));
  EXPECT_EQ(flash.fileName(), (dir / "good.bin").string());
}

TEST_F(BufferCommandsTest, AHexFileOfAFullImageIsReadWhole) {
  const Bytes image = RandomImage(zr7::MaxImageSize, 3);
  const std::string text = zr7::FormatHex(image);
  ASSERT_GT(text.size(), 2 * std::size_t{zr7::MaxImageSize});  // far beyond the old read limit
  const std::string path = File("full.hex", text);
  ASSERT_TRUE(zr7::LoadFile(flash, path));
  EXPECT_TRUE(flash.data() == image);
  EXPECT_TRUE(op.Boxes().empty());

  // The same text broken at its end falls back to raw bytes: the first 8 MiB, after a warning.
  std::string broken = text;
  broken.replace(broken.size() - 13, 13, ":0400000001\r\n");
  ASSERT_TRUE(zr7::LoadFile(flash, File("full-broken.hex", broken)));
  EXPECT_TRUE(flash.data() == AsBytes(std::string_view(broken).substr(0, zr7::MaxImageSize)));
  ASSERT_EQ(op.Boxes().size(), 2u);
  EXPECT_EQ(op.Boxes()[0].text, Text(zr7::msg::ErrorInHexFile));
  EXPECT_EQ(op.Boxes()[1].icon, BoxIcon::Warning);
}

TEST_F(BufferCommandsTest, ARawFileLongerThanTheLargestImageLoadsItsStartAfterAWarning) {
  Bytes big = RandomImage(zr7::MaxImageSize + 5, 4);
  big[0] = 'x';
  const std::string path = File("huge.bin", big);
  big.resize(zr7::MaxImageSize);
  ASSERT_TRUE(zr7::LoadFile(eeprom, path));
  EXPECT_TRUE(eeprom.data() == big);
  const unsigned max = zr7::MaxImageSize;
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{
                            zr7::FormatText(catalog.GetText(zr7::msg::FileLongerThanLargestImage), path.c_str(), max, max)}));
  // Exactly the largest image is no reason for a warning.
  op.ClearEvents();
  ASSERT_TRUE(zr7::LoadFile(eeprom, File("exact.dat", big)));  // not ".bin", not Intel HEX either
  EXPECT_TRUE(eeprom.data() == big);
  EXPECT_TRUE(op.Boxes().empty());
}

TEST_F(BufferCommandsTest, LoadAtGrowsTheImageAndAsksOnlyAboutAnOverlap) {
  const std::string ten = File("ten.bin", Bytes(10, 0x11));
  const auto start = [&] {
    flash.Allocate(100);
    std::fill(flash.data().begin(), flash.data().end(), 0x22);
    op.ClearEvents();
  };
  start();
  ASSERT_TRUE(zr7::LoadFileAt(flash, ten));  // the dialog proposes the end of the image
  EXPECT_EQ(flash.size(), 110u);
  EXPECT_EQ(Count(flash.data(), 0x11), 10u);
  EXPECT_TRUE(op.Boxes().empty());
  EXPECT_EQ(flashLabel.text, ten);  // the merged file's name, no star
  EXPECT_FALSE(flash.modified());
  EXPECT_EQ(flash.states(), Bytes(110, zr7::StateFromFile));

  start();
  op.QueueLoadAddress(200);
  ASSERT_TRUE(zr7::LoadFileAt(flash, ten));
  ASSERT_EQ(flash.size(), 210u);
  EXPECT_EQ(Bytes(flash.data().begin() + 100, flash.data().begin() + 200), Bytes(100, 0xFF));

  start();
  op.QueueLoadAddress(50);
  op.QueueAnswer(BoxAnswer::Yes);
  ASSERT_TRUE(zr7::LoadFileAt(flash, ten));
  EXPECT_EQ(flash.size(), 100u);
  EXPECT_EQ(Bytes(flash.data().begin() + 50, flash.data().begin() + 60), Bytes(10, 0x11));
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{Text(zr7::msg::LoadOverlapQuestion)}));

  // Refusing the overlap or cancelling the dialog leaves the image alone.
  for (bool cancel : {false, true}) {
    start();
    op.QueueLoadAddress(cancel ? std::nullopt : std::optional<std::uint32_t>(50));
    EXPECT_FALSE(zr7::LoadFileAt(flash, ten));
    EXPECT_EQ(flash.data(), Bytes(100, 0x22));
    EXPECT_EQ(BoxTexts().back(), Text(zr7::msg::CannotLoadFile));
  }

  // Nothing to merge into: no dialog, no message.
  flash.Clear();
  op.ClearEvents();
  EXPECT_FALSE(zr7::LoadFileAt(flash, ten));
  EXPECT_TRUE(op.Events().empty());
}

TEST_F(BufferCommandsTest, LoadAtRefusesAnAddressBeyondTheLargestImage) {
  const std::string ten = File("ten.bin", Bytes(10, 0x11));
  flash.Allocate(100);
  op.ClearEvents();
  op.QueueLoadAddress(zr7::MaxImageSize - 9);
  EXPECT_FALSE(zr7::LoadFileAt(flash, ten));
  EXPECT_EQ(flash.data(), Bytes(100, 0xFF));
  EXPECT_TRUE(flash.modified());  // still the allocated, unsaved image
  const unsigned address = zr7::MaxImageSize - 9, max = zr7::MaxImageSize;
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{zr7::FormatText(catalog.GetText(zr7::msg::LoadAtBeyondLargestImage),
                                                                  ten.c_str(), address, 10u, max)}));
  // Ending exactly at the largest image is allowed.
  op.QueueLoadAddress(zr7::MaxImageSize - 10);
  ASSERT_TRUE(zr7::LoadFileAt(flash, ten));
  EXPECT_EQ(flash.size(), zr7::MaxImageSize);
}

TEST_F(BufferCommandsTest, ReloadOfADeletedFileEmptiesTheImageButKeepsTheName) {
  const std::string path = File("image.hex", ":0400000001020304F2\r\n:00000001FF\r\n");
  ASSERT_TRUE(zr7::LoadFile(flash, path));
  fs::remove(path);
  std::int32_t status = 7;
  EXPECT_FALSE(zr7::ReloadCommand(flash, status));
  EXPECT_EQ(status, -1);
  EXPECT_TRUE(flash.empty());
  EXPECT_EQ(flashLabel.text, "[Unspecified]");
  EXPECT_EQ(flash.fileName(), path);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{zr7::FormatText(catalog.GetText(zr7::msg::CannotReadFile), path.c_str())}));
  EXPECT_TRUE(op.StatusTexts().empty());

  File("image.hex", ":0400000005060708E2\r\n:00000001FF\r\n");  // the file is back: the same name is tried
  EXPECT_TRUE(zr7::ReloadCommand(flash, status));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(flash.data(), (Bytes{5, 6, 7, 8}));
  EXPECT_EQ(op.LastStatus(), "Flash length: 4 (0x4) bytes, Checksum = 0x001A");
}

TEST_F(BufferCommandsTest, SaveWritesTheChosenFormatAndMarksTheImageSaved) {
  ASSERT_TRUE(zr7::LoadFile(eeprom, File("in.bin", Bytes{0xA, 0xB, 0xC})));
  eeprom.MarkModified();
  const std::string txt = (dir / "dump.txt").string();
  op.QueueFile(txt);
  op.QueueAnswer(BoxAnswer::No);
  ASSERT_TRUE(zr7::SaveAsCommand(eeprom));
  EXPECT_EQ(ReadAll(txt), "\x0A\x0B\x0C");
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{zr7::FormatText(catalog.GetText(zr7::msg::SaveAsHexQuestion), txt.c_str())}));
  EXPECT_EQ(eeprom.fileName(), txt);
  EXPECT_FALSE(eeprom.modified());
  EXPECT_EQ(eeprom.states(), Bytes(3, zr7::StateSaved));
  EXPECT_EQ(op.LastStatus(), "Eeprom length: 3 (0x3) bytes, Checksum = 0x0021");

  op.ClearEvents();
  op.QueueAnswer(BoxAnswer::Yes);
  ASSERT_TRUE(zr7::SaveCommand(eeprom));  // the same name, Intel HEX this time
  EXPECT_EQ(ReadAll(txt), ":030000000A0B0CDC\r\n:00000001FF\r\n");

  // Save of an empty image writes nothing but still reports it.
  eeprom.Clear();
  op.ClearEvents();
  EXPECT_TRUE(zr7::SaveCommand(eeprom));
  EXPECT_TRUE(op.Boxes().empty());
  EXPECT_EQ(op.LastStatus(), "Eeprom length: 0 (0x0) bytes, Checksum = 0x0000");
  EXPECT_FALSE(zr7::SaveAs(eeprom));
}

TEST_F(BufferCommandsTest, AFailedSaveKeepsTheOldFileTheFlagAndTheStates) {
  const std::string path = File("image.hex", ":0400000001020304F2\r\n:00000001FF\r\n");
  ASSERT_TRUE(zr7::LoadFile(flash, path));
  flash.data()[0] = 0x55;
  flash.states()[0] = zr7::StateChanged;
  flash.MarkModified();
  const Bytes states = flash.states();
  const std::string old = ReadAll(path);

  // The box names the file and the cause; a device with the numbers of the full device
  // stands for a full disk.
  const std::string folder = (dir / "folder.hex").string();
  fs::create_directory(folder);
  const std::string full = (dir / "full.hex").string();
  ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
  const struct {
    std::string path;
    const char* cause;
  } cases[] = {
      {folder, "it is a folder"},
      {(dir / "no-such-folder" / "x.hex").string(), "the folder does not exist"},
      {full, "the disk is full"},
  };
  for (const auto& c : cases) {
    op.ClearEvents();
    op.QueueFile(c.path);
    EXPECT_FALSE(zr7::SaveAsCommand(flash));
    ASSERT_EQ(op.Boxes().size(), 1u) << c.path;
    EXPECT_EQ(op.Boxes()[0].text, "Cannot save file '" + c.path + "': " + c.cause + ".");
    EXPECT_EQ(op.Boxes()[0].icon, BoxIcon::Error);
  }
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(fs::is_character_file(full));
  EXPECT_EQ(flash.fileName(), path);  // the image still belongs to its old file
  EXPECT_TRUE(flash.modified());
  EXPECT_EQ(flash.states(), states);
  EXPECT_EQ(flashLabel.text, path + "*");
  EXPECT_EQ(ReadAll(path), old);
  EXPECT_EQ(Entries(), 3u);  // image.hex, folder.hex, full.hex: no temporary file left behind
  EXPECT_TRUE(op.StatusTexts().empty());
}

TEST_F(BufferCommandsTest, CloseEmptiesWithoutAskingAndTheStatusNamesTheBuffer) {
  ASSERT_TRUE(zr7::LoadFile(flash, File("a.bin", Bytes{0xFF, 0x01, 0x02})));
  flash.MarkModified();
  const int refreshes = owner.refreshes;
  zr7::CloseCommand(flash);
  EXPECT_TRUE(flash.empty());
  EXPECT_GT(owner.refreshes, refreshes);
  EXPECT_TRUE(op.Boxes().empty());

  op.QueueFile(File("b.eep", ":03000000FF0102FB\r\n:00000001FF\r\n"));
  ASSERT_TRUE(zr7::LoadCommand(eeprom));
  EXPECT_EQ(op.LastStatus(), "Eeprom length: 3 (0x3) bytes, Checksum = 0x0102");
  EXPECT_FALSE(zr7::LoadCommand(eeprom));  // dialog cancelled: no status
  EXPECT_EQ(op.StatusTexts().size(), 1u);
}

// Loading over a modified image asks first: Yes saves it (to its file, or Save As), No discards
// it, Cancel keeps it; a save that did not happen keeps it too.
TEST_F(BufferCommandsTest, LoadingOverAModifiedImageAsksSaveDiscardOrCancel) {
  const std::string next = File("next.bin", Bytes{7, 7});
  struct Case {
    BoxAnswer answer;
    bool named;
    bool loads;
  };
  for (Case c : {Case{BoxAnswer::Cancel, true, false}, {BoxAnswer::No, true, true}, {BoxAnswer::Yes, true, true},
                 {BoxAnswer::Yes, false, false}}) {
    const std::string own = File("own.bin", Bytes{1, 2});
    ASSERT_TRUE(zr7::LoadFile(flash, own));
    flash.data()[0] = 0x11;
    flash.MarkModified();
    if (!c.named) flash.SetFileName(std::string(zr7::Unspecified));
    op.ClearEvents();
    op.QueueFile(next);  // the file to load; none is left for a Save As, which is cancelled
    op.QueueAnswer(c.answer);
    EXPECT_EQ(zr7::LoadCommand(flash), c.loads);
    ASSERT_EQ(op.Boxes().size(), 1u);
    EXPECT_EQ(op.Boxes()[0].buttons, zr7::BoxButtons::YesNoCancel);
    EXPECT_EQ(op.Boxes()[0].text, c.named ? zr7::FormatText(catalog.GetText(zr7::msg::FlashUnsavedBeforeLoad), own.c_str())
                                          : Text(zr7::msg::FlashUnnamedBeforeLoad));
    EXPECT_EQ(flash.data(), c.loads ? (Bytes{7, 7}) : (Bytes{0x11, 2}));
    EXPECT_EQ(ReadAll(own), c.named && c.answer == BoxAnswer::Yes ? "\x11\x02" : "\x01\x02");
  }
}

TEST_F(BufferCommandsTest, DroppedFilesAreDecidedByTheirExtensionAndKeepTheirName) {
  using Action = zr7::DropDecision::Action;
  using zr7::DecideDrop;
  using zr7::DropZone;
  EXPECT_EQ(DecideDrop({"/a.hex", "/b.hex"}, DropZone::FlashView).action, Action::Ignore);
  EXPECT_EQ(DecideDrop({}, DropZone::FlashView).action, Action::Ignore);
  EXPECT_EQ(DecideDrop({"/tmp/a.hex"}, DropZone::None).action, Action::Beep);
  EXPECT_EQ(DecideDrop({"/tmp/.hex"}, DropZone::FlashView).action, Action::Ignore);
  EXPECT_EQ(DecideDrop({"/tmp/job.ZR7"}, DropZone::None).action, Action::OpenProject);
  EXPECT_EQ(DecideDrop({"/tmp/job.zr7"}, DropZone::EepromView).action, Action::OpenProject);
  // A dot in a folder name is no extension.
  EXPECT_EQ(DecideDrop({"/tmp/v1.zr7/image"}, DropZone::EepromView).action, Action::LoadEeprom);

  // On a case-sensitive file system "x.HEX" must be loaded as "x.HEX".
  const std::string upper = File("x.HEX", ":0400000001020304F2\r\n:00000001FF\r\n");
  const zr7::DropDecision d = DecideDrop({upper}, DropZone::FlashView);
  ASSERT_EQ(d.action, Action::LoadFlash);
  EXPECT_EQ(d.path, upper);
  ASSERT_TRUE(zr7::LoadFile(flash, d.path));
  EXPECT_EQ(flashLabel.text, upper);
  EXPECT_EQ(flash.data(), (Bytes{1, 2, 3, 4}));
}

}  // namespace
