// The firmware update as the main window runs it against a simulated board: the dialog shows
// the board's versions, stays open on what will not do, and what was typed reaches the loader.

#include <QRadioButton>
#include <algorithm>

#include "BoardSimulator.h"
#include "WindowFixture.h"
#include "link/Commands.h"
#include "ui/SelfProgramDialog.h"

namespace zr7test {
namespace {

using BoardCommandsTest = WindowTest;

TEST_F(BoardCommandsTest, UpdateDialogShowsTheVersionsKeepsWhatWillNotDoAndSendsWhatWasTyped) {
  zr7sim::SimOptions o;
  o.loaderConfirmation = std::array<std::uint8_t, 8>{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  zr7sim::BoardSimulator sim(o);
  ASSERT_TRUE(sim.Start());
  WriteProfile(2, sim.SlavePath());
  Start();
  std::vector<std::uint8_t> image(FirmwareImageSize);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 13 + i / 256);
  const std::string good = WriteBytes(dir / "fw.bin", image);
  const std::string shortImage = WriteBytes(dir / "short.bin", std::vector<std::uint8_t>(FirmwareImageSize - 1));
  auto loaderEntered = [&] {
    const auto commands = sim.Log().Commands();
    return std::any_of(commands.begin(), commands.end(), [](const auto& c) { return c.code == CmdEnterLoader; });
  };
  WhenModalOf<SelfProgramDialog> update([&](SelfProgramDialog& d) {
    // The versions survive the table's "-" rows.
    EXPECT_EQ(Find<QLineEdit>(d, 1155)->text(), QStringLiteral("ZR7 9.10"));
    EXPECT_EQ(Find<QLineEdit>(d, 1157)->text(), QStringLiteral("ZR7 9.10"));
    EXPECT_TRUE(Find<QRadioButton>(d, 1158)->isChecked());
    auto* path = Find<QLineEdit>(d, "imagePath");
    auto* sequence = Find<QLineEdit>(d, "confirmation");
    EXPECT_TRUE(path->text().isEmpty()) << "no file until one is named";
    const std::pair<std::string, const char*> refused[] = {{good, "0123456789abcdeg"},
                                                           {shortImage, "0123456789abcdef"}};
    for (const auto& [file, typed] : refused) {
      path->setText(QString::fromStdString(file));
      sequence->setText(QString::fromUtf8(typed));
      Click(d, 1);
      EXPECT_TRUE(d.isVisible()) << typed;
    }
    ASSERT_EQ(op.boxes.size(), 2u);
    EXPECT_EQ(op.boxes[0].text, FormatText(catalog.GetText(msg::FirmwareBadConfirmation), "0123456789abcdeg"));
    EXPECT_FALSE(loaderEntered());
    op.files.push_back(good);  // Browse names another file; the dialog then takes it
    Find<QPushButton>(d, "browse")->click();
    QTest::keyClick(sequence, Qt::Key_Return);
  });
  Trigger(command::UpdateFirmware);
  EXPECT_TRUE(loaderEntered());
  EXPECT_EQ(sim.FirmwareImage(), image);
  EXPECT_EQ(op.boxes.size(), 2u);
}

}  // namespace
}  // namespace zr7test
