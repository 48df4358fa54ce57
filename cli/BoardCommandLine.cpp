#include "BoardCommandLine.h"

#include <csignal>
#include <pthread.h>

#include "text/MessageCatalog.h"
#include "devices/DeviceTable.h"
#include "link/BoardManagement.h"
#include "link/FirmwareUpdate.h"

namespace zr7cli {

using namespace zr7;

namespace {

// Blocks SIGINT and SIGTERM for its life (threads started meanwhile inherit the mask); a
// signal that came in the meantime takes effect when the mask is lifted.
class HeldSignals {
 public:
  HeldSignals() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set_, &old_);
  }
  ~HeldSignals() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

 private:
  sigset_t set_;
  sigset_t old_;
};

int Search(ChipSession& session, const BoardCommandLine& line) {
  BoardManagement board(session.bench.link);
  const SearchResult found = board.SearchBoard();
  if (found.port == 0) return 1;
  if (line.save && !session.profile.SetComPort(found.port)) return 1;
  return 0;
}

int Calibration(ChipSession& session) {
  BoardManagement board(session.bench.link);
  if (board.ReadCalibration(session.job.connect, session.bench.board.port)) return 0;
  session.ExplainFailure();
  return 1;
}

int Firmware(ChipSession& session, const BoardCommandLine& line, bool yes) {
  ConsoleOperator& op = session.op;
  const MessageCatalog& catalog = session.catalog;
  FirmwareUpdateRequest request;
  request.portNumber = session.bench.board.port;
  request.imagePath = line.firmwareFile;
  request.speed = line.reducedSpeed ? FirmwareSpeed::Reduced : FirmwareSpeed::Normal;
  if (!line.confirmation.empty()) {
    request.confirmation = ParseConfirmation(line.confirmation);
    if (!request.confirmation) {
      op.Note(FormatText(catalog.GetText(msg::FirmwareBadConfirmation), line.confirmation.c_str()));
      return 2;
    }
  }
  // Without --yes nothing reaches the board: the file is checked and the update refused.
  if (!yes) {
    std::vector<std::uint8_t> image;
    if (!LoadFirmwareImage(op, catalog, line.firmwareFile, image)) return 1;
    op.Note(catalog.GetText(msg::FirmwareNeedsYes));
    return 1;
  }

  const auto& r = BoardLink::RequiredVersion;
  auto confirm = [&](const FirmwareVersions& versions) {
    std::string question;
    const std::string& c = versions.current;
    if (versions.boardEmpty || c.empty()) {
      question = FormatText(catalog.GetText(msg::FirmwareUpdateQuestionNoCurrent), 'Z', 'R', '7', r[0], r[1], r[2]);
    } else if (c.size() == 4) {
      // A board of another version: only its three version characters are known.
      question = FormatText(catalog.GetText(msg::FirmwareUpdateQuestion), 'Z', 'R', '7', c[0], c[2], c[3], 'Z', 'R',
                            '7', r[0], r[1], r[2]);
    } else {
      question = FormatText(catalog.GetText(msg::FirmwareUpdateQuestion), c[0], c[1], c[2], c[4], c[6], c[7], 'Z', 'R',
                            '7', r[0], r[1], r[2]);
    }
    op.Note(FormatText(catalog.GetText(msg::FirmwareFileNote), line.firmwareFile.c_str()));
    const BoxAnswer answer =
        op.ShowBox({catalog.GetText(msg::ProgrammerCaption), question, BoxIcon::Question, BoxButtons::YesNo});
    return answer == BoxAnswer::Yes;
  };

  op.Note(catalog.GetText(msg::FirmwareNotInterruptible));
  bool updated;
  {
    HeldSignals held;
    updated = UpdateFirmware(session.bench.link, request, confirm);
  }
  if (!updated) {
    session.ExplainFailure();
    return 1;
  }
  const std::array<char, 6> c = IdentVersionChars(session.bench.link.BoardIdent());
  if (c[3] != static_cast<char>(r[0]) || c[4] != static_cast<char>(r[1]) || c[5] != static_cast<char>(r[2])) {
    op.Note(FormatText(catalog.GetText(msg::FirmwareWrongNewVersion), PrintableText(session.bench.link.BoardIdent()).c_str(),
                       r[0], r[1], r[2]));
    return 1;
  }
  return 0;
}

}  // namespace

void AddBoardCommands(CLI::App& app, BoardCommandLine& line) {
  CLI::App* board = app.add_subcommand("board", "The board itself: find it, show it, read calibration bytes");
  board->require_subcommand(1);
  CLI::App* search = board->add_subcommand("search", "Look for boards on COM1..COM8 (exit 0 when one answered)");
  search->add_flag("--save", line.save, "Store the first board's port in the profile (\"Connect\" \"COM\")");
  search->callback([&line] { line.action = "search"; });
  board->add_subcommand("info", "Show the board's identification and serial number")->callback([&line] {
    line.action = "info";
  });
  board->add_subcommand("calibration", "Read the target chip's calibration bytes")->callback([&line] {
    line.action = "calibration";
  });

  CLI::App* firmware = app.add_subcommand("firmware", "Install a board firmware image (12288 bytes) from FILE");
  firmware->add_option("FILE", line.firmwareFile, "Firmware image, raw binary")->required();
  firmware->add_flag("--reduced-speed", line.reducedSpeed, "Longer pauses, for a board that loses blocks");
  firmware->add_option("--confirmation", line.confirmation,
                       "The loader's 8-byte confirmation sequence as 16 hex digits, when the board asks for one");
  firmware->callback([&line] { line.action = "firmware"; });
}

bool BoardCommandChosen(const BoardCommandLine& line) { return !line.action.empty(); }

int RunBoardCommand(const ChipCommandLine& common, const BoardCommandLine& line, bool progressBar) {
  ChipSession session(common);
  std::optional<ChipAction> action;
  if (line.action == "calibration") action = ChipAction::ReadCalibration;
  if (const int status = session.Prepare(common, progressBar, action, "board " + line.action)) return status;
  if (line.action == "search") return Search(session, line);
  if (line.action == "info") {
    BoardManagement board(session.bench.link);
    if (board.ShowBoardInfo(session.bench.board.port)) return 0;
    session.ExplainFailure();
    return 1;
  }
  if (line.action == "calibration") return Calibration(session);
  if (line.action == "firmware") return Firmware(session, line, common.yes);
  return 2;
}

}  // namespace zr7cli
