// Loading, merging, reloading and saving image files through a buffer, the window's commands
// for them, and what a dropped file means.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "text/MessageCatalog.h"
#include "support/ScriptedOperator.h"
#include "support/TempFolder.h"
#include "buffers/BufferCommands.h"
#include "buffers/ImageFiles.h"
#include "buffers/MemoryBuffer.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;
using zr7::BoxAnswer;
using zr7::BoxIcon;
using zr7test::RandomBytes;
using zr7test::ReadFile;

// The project and the window around the Flash image: the label as the window shows it.
struct Surroundings : zr7::ViewInterface, zr7::ModificationListener {
  void ImageChanged(zr7::ImageKind which, std::uint32_t, std::uint32_t) override {
    if (which == zr7::ImageKind::Flash) label = zr7::ImageLabelText(*flash), ++refreshes;
  }
  void SetModified() override {}
  void ClearModifiedIfClean() override { ++clearIfClean; }
  const zr7::MemoryBuffer* flash = nullptr;
  std::string label;
  int clearIfClean = 0, refreshes = 0;
};

Bytes AsBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

const std::string kHex1234 = ":0400000001020304F2\r\n:00000001FF\r\n";

class BufferCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s.flash = &flash;
    flash.Init(op, catalog, false, &s, &s);
    eeprom.Init(op, catalog, true, &s, &s);
    flash.Clear();
    eeprom.Clear();
    op.SetDefaultAnswer(BoxAnswer::No);
  }
  std::string Text(int id) const { return catalog.GetText(id); }
  template <typename... Args>
  std::string Format(int id, Args... args) const { return zr7::FormatText(catalog.GetText(id), args...); }
  // The status line's text for the buffer as it is now.
  std::string Status(zr7::MemoryBuffer& buffer) {
    zr7::ShowBufferStatus(buffer);
    return op.LastStatus();
  }

  zr7test::TempFolder dir;
  zr7::ScriptedOperator op;
  zr7::LanguageSettings language;
  zr7::MessageCatalog catalog{language};
  Surroundings s;
  zr7::MemoryBuffer flash, eeprom;
};

// The reader is chosen by the name (".bin" in any case: raw); what is not Intel HEX is loaded
// as its raw bytes, after a box when it began as a broken record or the checksum question was
// answered No; an Eeprom image keeps an odd length. A file that cannot be read is named and the
// previous image stays; a pipe would block the reader and a device never end, so both are
// refused at once; a link to a regular file is one.
TEST_F(BufferCommandsTest, EachFileIsReadAsItsNameAndContentSay) {
  const std::string text = "\r\nnot a hex file!", broken = ":0400000001020304\r\n:00000001FF\r\n",
                    badSum = ":0400000001020304F0\r\n:0400040005060708E0\r\n:00000001FF\r\n";
  const std::string fifo = dir / "pipe.hex", device = dir / "zero.bin";
  fs::create_directory(dir / "folder.hex");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(mknod(device.c_str(), S_IFCHR | 0400, makedev(1, 5)), 0);  // reads as endless zeros
  fs::create_symlink(dir / "good.bin", dir / "link.bin");
  const std::string notRegular = "' is not a regular file (a pipe, a device or a socket): only image files are loaded.";
  const Bytes previous = {9, 8};
  // The file, its contents (none: not written here), the answer to a question, the image after
  // the load (the previous one: refused) and the box shown.
  const struct { std::string name, contents; std::optional<BoxAnswer> answer; Bytes image; std::string box; }
      cases[] = {
          {"image.BIN", kHex1234, {}, AsBytes(kHex1234), ""},
          {"image.eep", kHex1234, {}, {1, 2, 3, 4}, ""},
          {"notes.hex", text, {}, AsBytes(text), ""},
          {"broken.hex", broken, {}, AsBytes(broken), Text(zr7::msg::ErrorInHexFile)},
          {"sum.hex", badSum, BoxAnswer::Yes, {1, 2, 3, 4, 5, 6, 7, 8}, Text(zr7::msg::HexChecksumQuestion)},
          {"sum.hex", badSum, BoxAnswer::No, AsBytes(badSum), Text(zr7::msg::HexChecksumQuestion)},
          {"missing.hex", "", {}, previous, Format(zr7::msg::CannotReadFile, (dir / "missing.hex").c_str())},
          {"folder.hex", "", {}, previous, Format(zr7::msg::CannotReadFile, (dir / "folder.hex").c_str())},
          {"pipe.hex", "", {}, previous, "'" + fifo + notRegular},
          {"zero.bin", "", {}, previous, "'" + device + notRegular},
          {"link.bin", "", {}, previous, ""},
      };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + (c.answer == BoxAnswer::No ? " No" : ""));
    ASSERT_TRUE(zr7::LoadFile(eeprom, dir.File("good.bin", previous)));
    op.ClearEvents();
    if (c.answer) op.QueueAnswer(*c.answer);
    const std::string path = c.contents.empty() ? dir / c.name : dir.File(c.name, c.contents);
    // Should the reader wait for a writer all the same, writers come and go after a deadline
    // until it is done, so that the test fails rather than hangs.
    auto load = std::async(std::launch::async, [&] { return zr7::LoadFile(eeprom, path); });
    bool waited = false;
    while (load.wait_for(std::chrono::milliseconds(waited ? 100 : 5000)) != std::future_status::ready) {
      waited = true;
      if (const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK); writer >= 0) close(writer);
    }
    EXPECT_FALSE(waited) << "the reader was kept waiting";
    const bool loads = c.box.empty() || c.image != previous;
    EXPECT_EQ(load.get(), loads);
    EXPECT_EQ(eeprom.data(), c.image);
    EXPECT_EQ(eeprom.fileName(), loads ? path : dir / "good.bin");
    EXPECT_EQ(op.BoxTexts(), c.box.empty() ? Texts{} : Texts{c.box});
  }
  ASSERT_TRUE(zr7::LoadFile(eeprom, dir / "sum.hex"));  // answered No
  EXPECT_EQ(op.Boxes().back().buttons, zr7::BoxButtons::YesNo);

  // The box about a broken record; the status line after a load taken raw says so, once.
  ASSERT_TRUE(zr7::LoadFile(eeprom, dir / "broken.hex"));
  const zr7::ScriptedOperator::Event box = op.Boxes().back();
  EXPECT_EQ(std::tuple(box.caption, box.icon), std::tuple(Text(zr7::msg::ProductTitle), BoxIcon::Error));
  EXPECT_EQ(Status(eeprom), "Eeprom length: 32 (0x20) bytes, Checksum = 0x05BD; '" + (dir / "broken.hex") +
                                "' is not Intel HEX and was taken as raw bytes");
  EXPECT_EQ(Status(eeprom), "Eeprom length: 32 (0x20) bytes, Checksum = 0x05BD");
}

// The command line reads strictly: a file that is not the Intel HEX its name promises (or that
// begins as Intel HEX under another name) is refused with the file, the line and the fault,
// and the previous image stays; a raw file under another name still loads, and says so.
TEST_F(BufferCommandsTest, StrictReadingRefusesWhatIsNotTheImage) {
  flash.SetRawFallback(false);
  ASSERT_TRUE(zr7::LoadFile(flash, dir.File("good.bin", Bytes{9, 8})));
  const struct { const char* name; std::string text; const char* fault; } cases[] = {
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
    const std::string path = dir.File(c.name, c.text);
    EXPECT_FALSE(zr7::LoadFile(flash, path)) << c.name;
    ASSERT_FALSE(op.Boxes().empty()) << c.name;
    EXPECT_EQ(op.BoxTexts().back(), "'" + path + "' is not valid Intel HEX: " + c.fault + ". Nothing was loaded.");
    EXPECT_EQ(flash.data(), (Bytes{9, 8})) << c.name;
  }
  op.ClearEvents();  // a merge reads as strictly
  const std::string broken = dir.File("merge.hex", ":0400000001020304\r\n");
  EXPECT_FALSE(zr7::LoadFileAt(flash, broken));
  EXPECT_EQ(op.BoxTexts(), std::vector<std::string>{"'" + broken +
                                                    "' is not valid Intel HEX: line 1 is shorter than its record. "
                                                    "Nothing was loaded."});
  const std::string raw = dir.File("raw.dat", "raw bytes!");
  ASSERT_TRUE(zr7::LoadFile(flash, raw));
  EXPECT_EQ(flash.data(), AsBytes("raw bytes!"));
  EXPECT_EQ(Status(flash), "Flash length: 10 (0xA) bytes, Checksum = 0x03B2; '" + raw +
                               "' is not Intel HEX and was taken as raw bytes");
}

// A HEX file of a full image is read whole, far beyond the old read limit; the same text broken
// at its end falls back to raw bytes: the first 8 MiB, after a warning. So does a raw file
// longer than the largest image; one of exactly the largest image loads without a word.
TEST_F(BufferCommandsTest, ImagesUpToTheLargestAreReadWholeAndLongerFilesCut) {
  const Bytes image = RandomBytes(zr7::MaxImageSize, 3);
  std::string text = zr7::FormatHex(image);
  ASSERT_GT(text.size(), 2 * std::size_t{zr7::MaxImageSize});
  ASSERT_TRUE(zr7::LoadFile(flash, dir.File("full.hex", text)));
  EXPECT_TRUE(flash.data() == image);
  EXPECT_TRUE(op.Boxes().empty());

  text.replace(text.size() - 13, 13, ":0400000001\r\n");
  ASSERT_TRUE(zr7::LoadFile(flash, dir.File("full-broken.hex", text)));
  EXPECT_TRUE(flash.data() == AsBytes(std::string_view(text).substr(0, zr7::MaxImageSize)));
  ASSERT_EQ(op.Boxes().size(), 2u);
  EXPECT_EQ(op.Boxes()[0].text, Text(zr7::msg::ErrorInHexFile));
  EXPECT_EQ(op.Boxes()[1].icon, BoxIcon::Warning);

  Bytes big = RandomBytes(zr7::MaxImageSize + 5, 4);
  big[0] = 'x';
  const std::string path = dir.File("huge.bin", big);
  big.resize(zr7::MaxImageSize);
  op.ClearEvents();
  ASSERT_TRUE(zr7::LoadFile(eeprom, path));
  EXPECT_TRUE(eeprom.data() == big);
  const unsigned max = zr7::MaxImageSize;
  EXPECT_EQ(op.BoxTexts(), Texts{Format(zr7::msg::FileLongerThanLargestImage, path.c_str(), max, max)});
  op.ClearEvents();
  ASSERT_TRUE(zr7::LoadFile(eeprom, dir.File("exact.dat", big)));  // not ".bin", not Intel HEX either
  EXPECT_TRUE(eeprom.data() == big);
  EXPECT_TRUE(op.Boxes().empty());
}

TEST_F(BufferCommandsTest, LoadAtGrowsTheImageAndAsksOnlyAboutAnOverlap) {
  const std::string ten = dir.File("ten.bin", Bytes(10, 0x11));
  const Bytes before(100, 0x22);
  // Merges `ten` into an image of 100 bytes 0x22 at the address the dialog returns.
  const auto loadAt = [&](std::optional<std::optional<std::uint32_t>> address) {
    flash.Allocate(100);
    flash.data() = before;
    op.ClearEvents();
    if (address) op.QueueLoadAddress(*address);
    return zr7::LoadFileAt(flash, ten);
  };
  ASSERT_TRUE(loadAt({}));  // the dialog proposes the end of the image
  Bytes want = before;
  want.insert(want.end(), 10, 0x11);
  EXPECT_EQ(flash.data(), want);
  EXPECT_TRUE(op.Boxes().empty());
  EXPECT_EQ(s.label, ten);  // the merged file's name, no star
  EXPECT_FALSE(flash.modified());
  EXPECT_EQ(flash.states(), Bytes(110, zr7::StateFromFile));

  ASSERT_TRUE(loadAt(200));
  want.insert(want.begin() + 100, 100, 0xFF);
  EXPECT_EQ(flash.data(), want);

  op.QueueAnswer(BoxAnswer::Yes);
  ASSERT_TRUE(loadAt(50));
  want = before;
  std::fill(want.begin() + 50, want.begin() + 60, 0x11);
  EXPECT_EQ(flash.data(), want);
  EXPECT_EQ(op.BoxTexts(), Texts{Text(zr7::msg::LoadOverlapQuestion)});

  // Refusing the overlap or cancelling the dialog leaves the image alone.
  for (auto address : {std::optional<std::uint32_t>(50), std::optional<std::uint32_t>()}) {
    EXPECT_FALSE(loadAt(address));
    EXPECT_EQ(flash.data(), before);
    EXPECT_EQ(op.BoxTexts().back(), Text(zr7::msg::CannotLoadFile));
  }

  // An address whose end lies beyond the largest image is refused; ending at it is allowed.
  const unsigned address = zr7::MaxImageSize - 9, max = zr7::MaxImageSize;
  EXPECT_FALSE(loadAt(address));
  EXPECT_EQ(flash.data(), before);
  EXPECT_TRUE(flash.modified());  // still the allocated, unsaved image
  EXPECT_EQ(op.BoxTexts(), Texts{Format(zr7::msg::LoadAtBeyondLargestImage, ten.c_str(), address, 10u, max)});
  ASSERT_TRUE(loadAt(address - 1));
  EXPECT_EQ(flash.size(), zr7::MaxImageSize);

  // Nothing to merge into: no dialog, no message.
  flash.Clear();
  op.ClearEvents();
  EXPECT_FALSE(zr7::LoadFileAt(flash, ten));
  EXPECT_TRUE(op.Events().empty());
}

TEST_F(BufferCommandsTest, ReloadOfADeletedFileEmptiesTheImageButKeepsTheName) {
  const std::string path = dir.File("image.hex", kHex1234);
  ASSERT_TRUE(zr7::LoadFile(flash, path));
  fs::remove(path);
  std::int32_t status = 7;
  EXPECT_FALSE(zr7::ReloadCommand(flash, status));
  EXPECT_EQ(status, -1);
  EXPECT_TRUE(flash.empty());
  EXPECT_EQ(s.label, "[Unspecified]");
  EXPECT_EQ(flash.fileName(), path);
  EXPECT_EQ(op.BoxTexts(), Texts{Format(zr7::msg::CannotReadFile, path.c_str())});
  EXPECT_TRUE(op.StatusTexts().empty());

  dir.File("image.hex", ":0400000005060708E2\r\n:00000001FF\r\n");  // the file is back: the same name is tried
  EXPECT_TRUE(zr7::ReloadCommand(flash, status));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(flash.data(), (Bytes{5, 6, 7, 8}));
  EXPECT_EQ(op.LastStatus(), "Flash length: 4 (0x4) bytes, Checksum = 0x001A");
}

TEST_F(BufferCommandsTest, SaveWritesTheChosenFormatAndMarksTheImageSaved) {
  ASSERT_TRUE(zr7::LoadFile(eeprom, dir.File("in.bin", Bytes{0xA, 0xB, 0xC})));
  eeprom.MarkModified();
  const std::string txt = dir / "dump.txt";
  op.QueueFile(txt);
  op.QueueAnswer(BoxAnswer::No);
  ASSERT_TRUE(zr7::SaveAsCommand(eeprom));
  EXPECT_EQ(ReadFile(txt), "\x0A\x0B\x0C");
  EXPECT_EQ(op.BoxTexts(), Texts{Format(zr7::msg::SaveAsHexQuestion, txt.c_str())});
  EXPECT_EQ(eeprom.fileName(), txt);
  EXPECT_FALSE(eeprom.modified());
  EXPECT_EQ(eeprom.states(), Bytes(3, zr7::StateSaved));
  EXPECT_EQ(op.LastStatus(), "Eeprom length: 3 (0x3) bytes, Checksum = 0x0021");

  op.QueueAnswer(BoxAnswer::Yes);
  ASSERT_TRUE(zr7::SaveCommand(eeprom));  // the same name, Intel HEX this time
  EXPECT_EQ(ReadFile(txt), ":030000000A0B0CDC\r\n:00000001FF\r\n");

  // Save of an empty image writes nothing but still reports it.
  eeprom.Clear();
  op.ClearEvents();
  EXPECT_TRUE(zr7::SaveCommand(eeprom));
  EXPECT_TRUE(op.Boxes().empty());
  EXPECT_EQ(op.LastStatus(), "Eeprom length: 0 (0x0) bytes, Checksum = 0x0000");
  EXPECT_FALSE(zr7::SaveAs(eeprom));
}

// The box names the file and the cause (a device with the numbers of the full device stands
// for a full disk); the image still belongs to its old file, unsaved, and nothing is left behind.
TEST_F(BufferCommandsTest, AFailedSaveKeepsTheOldFileTheFlagAndTheStates) {
  const std::string path = dir.File("image.hex", kHex1234);
  ASSERT_TRUE(zr7::LoadFile(flash, path));
  flash.data()[0] = 0x55;
  flash.states()[0] = zr7::StateChanged;
  flash.MarkModified();
  const Bytes states = flash.states();
  const std::string folder = dir / "folder.hex", full = dir / "full.hex";
  fs::create_directory(folder);
  ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
  const std::pair<std::string, const char*> cases[] = {
      {folder, "it is a folder"},
      {dir / "no-such-folder/x.hex", "the folder does not exist"},
      {full, "the disk is full"},
  };
  for (const auto& [target, cause] : cases) {
    op.ClearEvents();
    op.QueueFile(target);
    EXPECT_FALSE(zr7::SaveAsCommand(flash));
    EXPECT_EQ(op.BoxTexts(), Texts{"Cannot save file '" + target + "': " + cause + "."});
    EXPECT_EQ(op.Boxes().at(0).icon, BoxIcon::Error);
    EXPECT_TRUE(op.StatusTexts().empty());
  }
  EXPECT_TRUE(fs::is_directory(folder) && fs::is_character_file(full));
  EXPECT_EQ(std::tuple(flash.fileName(), flash.modified(), s.label), std::tuple(path, true, path + "*"));
  EXPECT_EQ(flash.states(), states);
  EXPECT_EQ(ReadFile(path), kHex1234);
  EXPECT_EQ(dir.Entries(), 3u);  // image.hex, folder.hex, full.hex
}

TEST_F(BufferCommandsTest, CloseEmptiesWithoutAskingAndTheStatusNamesTheBuffer) {
  ASSERT_TRUE(zr7::LoadFile(flash, dir.File("a.bin", Bytes{0xFF, 0x01, 0x02})));
  flash.MarkModified();
  const int refreshes = s.refreshes;
  zr7::CloseCommand(flash);
  EXPECT_TRUE(flash.empty());
  EXPECT_GT(s.refreshes, refreshes);
  EXPECT_TRUE(op.Boxes().empty());

  op.QueueFile(dir.File("b.eep", ":03000000FF0102FB\r\n:00000001FF\r\n"));
  ASSERT_TRUE(zr7::LoadCommand(eeprom));
  EXPECT_EQ(op.LastStatus(), "Eeprom length: 3 (0x3) bytes, Checksum = 0x0102");
  EXPECT_FALSE(zr7::LoadCommand(eeprom));  // dialog cancelled: no status
  EXPECT_EQ(op.StatusTexts().size(), 1u);
}

// Loading over a modified image asks first: Yes saves it (to its file, or Save As), No discards
// it, Cancel keeps it; a save that did not happen keeps it too.
TEST_F(BufferCommandsTest, LoadingOverAModifiedImageAsksSaveDiscardOrCancel) {
  const std::string next = dir.File("next.bin", Bytes{7, 7});
  struct Case {
    BoxAnswer answer;
    bool named;
    bool loads;
  };
  for (Case c : {Case{BoxAnswer::Cancel, true, false}, {BoxAnswer::No, true, true}, {BoxAnswer::Yes, true, true},
                 {BoxAnswer::Yes, false, false}}) {
    const std::string own = dir.File("own.bin", Bytes{1, 2});
    ASSERT_TRUE(zr7::LoadFile(flash, own));
    flash.data()[0] = 0x11;
    flash.MarkModified();
    if (!c.named) flash.SetFileName(std::string(zr7::Unspecified));
    op.ClearEvents();
    op.QueueFile(next);  // the file to load; none is left for a Save As, which is cancelled
    op.QueueAnswer(c.answer);
    EXPECT_EQ(zr7::LoadCommand(flash), c.loads);
    EXPECT_EQ(op.BoxTexts(), Texts{c.named ? Format(zr7::msg::FlashUnsavedBeforeLoad, own.c_str())
                                           : Text(zr7::msg::FlashUnnamedBeforeLoad)});
    EXPECT_EQ(op.Boxes().at(0).buttons, zr7::BoxButtons::YesNoCancel);
    EXPECT_EQ(flash.data(), c.loads ? (Bytes{7, 7}) : (Bytes{0x11, 2}));
    EXPECT_EQ(ReadFile(own), c.named && c.answer == BoxAnswer::Yes ? "\x11\x02" : "\x01\x02");
  }
}

TEST_F(BufferCommandsTest, DroppedFilesAreDecidedByTheirExtensionAndKeepTheirName) {
  using Action = zr7::DropDecision::Action;
  using zr7::DropZone;
  const std::tuple<std::vector<std::string>, DropZone, Action> cases[] = {
      {{"/a.hex", "/b.hex"}, DropZone::FlashView, Action::Ignore},
      {{}, DropZone::FlashView, Action::Ignore},
      {{"/tmp/a.hex"}, DropZone::None, Action::Beep},
      {{"/tmp/.hex"}, DropZone::FlashView, Action::Ignore},
      {{"/tmp/job.ZR7"}, DropZone::None, Action::OpenProject},
      {{"/tmp/job.zr7"}, DropZone::EepromView, Action::OpenProject},
      {{"/tmp/v1.zr7/image"}, DropZone::EepromView, Action::LoadEeprom},  // a dot in a folder name is no extension
  };
  for (const auto& [files, zone, action] : cases)
    EXPECT_EQ(zr7::DecideDrop(files, zone).action, action) << (files.empty() ? "" : files[0]);

  // On a case-sensitive file system "x.BIN" must be loaded as "x.BIN": as a Flash image, padded
  // to an even length, from its file, which it now matches.
  const std::string upper = dir.File("x.BIN", Bytes{1, 2, 3});
  const zr7::DropDecision d = zr7::DecideDrop({upper}, DropZone::FlashView);
  ASSERT_EQ(d.action, Action::LoadFlash);
  EXPECT_EQ(d.path, upper);
  flash.MarkModified();
  ASSERT_TRUE(zr7::LoadFile(flash, d.path));
  EXPECT_EQ(s.label, upper);
  EXPECT_EQ(flash.data(), (Bytes{1, 2, 3, 0xFF}));
  EXPECT_EQ(flash.states(), Bytes(4, zr7::StateFromFile));
  EXPECT_FALSE(flash.modified());
  EXPECT_GT(s.clearIfClean, 0);
}

}  // namespace
