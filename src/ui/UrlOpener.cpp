#include "ui/UrlOpener.h"

#include <QCoreApplication>
#include <QProcess>
#include <memory>

namespace zr7 {

OpenOutcome XdgUrlOpener::Open(const std::string& url) {
  if (std::optional<std::string> refusal = XdgOpenRefusal(url)) return {false, *refusal};
  auto process = std::make_unique<QProcess>();
  process->setProgram(program_);
  process->setArguments({QString::fromStdString(url)});
  // Nothing to read from us, and its messages go where ours go: no pipe can fill up and stall it.
  process->setStandardInputFile(QProcess::nullDevice());
  process->setProcessChannelMode(QProcess::ForwardedChannels);
  process->start();
  if (!process->waitForStarted(waitMs_)) return {false, XdgOpenMissingReason()};
  if (!process->waitForFinished(waitMs_) && process->state() != QProcess::NotRunning) {
    // Destroying it would kill what it started; it goes once it ends, or with the program.
    QProcess* running = process.release();
    running->setParent(QCoreApplication::instance());
    QObject::connect(running, &QProcess::finished, running, &QObject::deleteLater);
    return {true, {}};
  }
  if (process->exitStatus() != QProcess::NormalExit) return {false, XdgOpenExitReason(-1)};
  if (process->exitCode() == 0) return {true, {}};
  return {false, XdgOpenExitReason(process->exitCode())};
}

}  // namespace zr7
