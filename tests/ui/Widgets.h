#pragma once
// Driving dialogs as an operator does: acting once one is up, controls found by their id, clicks
// where a click counts, typing over an edit; and a scratch folder of the running test case's own.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>

// Acts on a modal dialog once it is up. Whatever is still modal at the deadline is rejected, so
// that a dialog that fails to close fails the test instead of hanging it.
template <typename D>
class WhenModalOf {
 public:
  explicit WhenModalOf(std::function<void(D&)> act) {
    QObject::connect(&poll_, &QTimer::timeout, [this, act] {
      if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
        poll_.stop();
        acted_ = true;
        act(*d);
      }
    });
    QObject::connect(&deadline_, &QTimer::timeout, [] {
      ADD_FAILURE() << "a dialog was still open at the deadline";
      if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) d->reject();
    });
    poll_.start(5);
    deadline_.setSingleShot(true);
    deadline_.start(30000);
  }
  bool Acted() const { return acted_; }

 private:
  QTimer poll_, deadline_;
  bool acted_ = false;
};

using WhenModal = WhenModalOf<QDialog>;

// Failures show texts, not code units.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace zr7test {

inline QString U(const char* text) { return QString::fromUtf8(text); }

template <class T = QWidget>
T* Find(QWidget& parent, const QString& name) {
  T* w = parent.findChild<T*>(name);
  EXPECT_NE(w, nullptr) << name.toStdString();
  return w;
}

template <class T = QWidget>
T* Find(QWidget& parent, int id) {
  return Find<T>(parent, QStringLiteral("id%1").arg(id));
}

// Radio buttons and check boxes answer only on their mark and text, not on their whole width.
inline void Click(QWidget& parent, int id) {
  auto* b = Find<QAbstractButton>(parent, id);
  if (!b) return;
  const bool push = qobject_cast<QPushButton*>(b) != nullptr;
  QTest::mouseClick(b, Qt::LeftButton, {}, push ? b->rect().center() : QPoint(4, b->height() / 2));
}

inline void Retype(QLineEdit* edit, const char* text) {
  ASSERT_NE(edit, nullptr);
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  QTest::keyClicks(edit, U(text));
}

struct ScratchDir {
  ScratchDir() {
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~ScratchDir() { std::filesystem::remove_all(path); }
  std::string operator/(const std::string& name) const { return (path / name).string(); }
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
      ("zr7-ui-" + std::to_string(getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

inline std::string WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace zr7test
