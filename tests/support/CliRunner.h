#pragma once
// zr7-cli run as a user runs it, for the tests of its commands: a folder of the test case's
// own, an empty profile in it, stdout and stderr kept apart. ZR7_CLI_PATH names the program.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace zr7test {

struct CliRun {
  int status = -1;
  std::string out, err;
};

inline std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The last line of a program's output: the verdict a station's script reads.
inline std::string LastLine(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text.substr(text.rfind('\n') + 1);
}

// A fresh folder named after the running test case; the caller removes it.
inline std::filesystem::path CaseDir(const std::string& prefix) {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    (prefix + "-" + std::to_string(getpid()) + "-" + test->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// The profile is dir/config/zr7/zr7.ini, so nothing of the user's is read or written.
// `wrapper` runs the program under another command (e.g. "timeout -s TERM 1"); no run outlives
// two minutes.
inline CliRun RunCli(const std::filesystem::path& dir, const std::string& args, const std::string& wrapper = "") {
  const std::string out = (dir / "stdout").string(), err = (dir / "stderr").string();
  const std::string command = "XDG_CONFIG_HOME='" + (dir / "config").string() + "' timeout 120 " + wrapper + " " +
                              ZR7_CLI_PATH +
                              " " + args +
                              " > '" + out + "' 2> '" + err + "' < /dev/null";
  CliRun r;
  const int status = std::system(command.c_str());
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = ReadWhole(out);
  r.err = ReadWhole(err);
  return r;
}

// RunCli that expects the exit status `status`, naming the run and its output when it differs.
inline CliRun RunCliExpecting(const std::filesystem::path& dir, int status, const std::string& args) {
  CliRun r = RunCli(dir, args);
  EXPECT_EQ(r.status, status) << args << "\n" << r.out << r.err;
  return r;
}

}  // namespace zr7test
