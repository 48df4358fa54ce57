// Image conversion of a full 8 MiB image (random bytes, about 23.6 MB of Intel HEX) as whole
// processes: `zr7-cli convert` side by side with `objcopy`, alternating runs on the same files.
// Targets: Intel HEX to binary at least 3 times faster than objcopy, binary to Intel HEX at
// least as fast, and under 64 MiB peak memory for the Intel HEX load.
//
//   zr7-convert-bench [--rounds N] [--cli PATH]
//
// Exits 1 when a target is missed or a conversion gives wrong bytes.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Run {
  double seconds = 0;
  long maxRssKb = 0;
  bool ok = false;
};

// Runs the command with stdout and stderr on /dev/null and measures it from fork to reaping.
Run RunProcess(const std::vector<std::string>& argv) {
  Run r;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) return r;
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
      dup2(null, 1);
      dup2(null, 2);
    }
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.maxRssKb = usage.ru_maxrss;
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return r;
}

std::vector<char> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 7;
  std::string cli = ZR7_CLI_PATH;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--rounds") && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (!std::strcmp(argv[i], "--cli") && i + 1 < argc) {
      cli = argv[++i];
    } else {
      std::fprintf(stderr, "usage: %s [--rounds N] [--cli PATH]\n", argv[0]);
      return 2;
    }
  }

  const fs::path dir = fs::temp_directory_path() / ("zr7-convert-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string bin = (dir / "image.bin").string();
  const std::string hex = (dir / "image.hex").string();
  {
    std::vector<char> image(8u << 20);
    std::mt19937_64 random(20050701);
    for (std::size_t i = 0; i < image.size(); i += 8) {
      const std::uint64_t v = random();
      std::memcpy(&image[i], &v, 8);
    }
    std::ofstream(bin, std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));
  }
  if (!RunProcess({cli, "convert", bin, hex}).ok) {
    std::fprintf(stderr, "%s cannot write the Intel HEX file\n", cli.c_str());
    fs::remove_all(dir);
    return 1;
  }

  struct Case {
    const char* name;
    std::vector<std::string> ours, theirs;
    const std::string oursOut, theirsOut;
    std::vector<double> oursTimes, theirsTimes;
    long oursRss = 0;
  };
  const std::string ob = (dir / "ours.bin").string(), tb = (dir / "objcopy.bin").string();
  const std::string oh = (dir / "ours.hex").string(), th = (dir / "objcopy.hex").string();
  std::vector<Case> cases;
  cases.push_back({"Intel HEX -> binary", {cli, "convert", hex, ob}, {"objcopy", "-I", "ihex", "-O", "binary", hex, tb}, ob, tb, {}, {}});
  cases.push_back({"binary -> Intel HEX", {cli, "convert", bin, oh}, {"objcopy", "-I", "binary", "-O", "ihex", bin, th}, oh, th, {}, {}});

  bool ok = true;
  for (int round = -1; round < rounds; ++round) {  // round -1 warms the caches
    for (Case& c : cases) {
      // Alternate who goes first, so neither always finds the other's dirty pages.
      const bool oursFirst = round % 2 == 0;
      Run a = RunProcess(oursFirst ? c.ours : c.theirs);
      Run b = RunProcess(oursFirst ? c.theirs : c.ours);
      const Run& ours = oursFirst ? a : b;
      const Run& theirs = oursFirst ? b : a;
      if (!ours.ok || !theirs.ok) {
        std::fprintf(stderr, "%s: a conversion failed (ours %d, objcopy %d)\n", c.name, ours.ok, theirs.ok);
        ok = false;
      }
      if (round < 0) continue;
      c.oursTimes.push_back(ours.seconds);
      c.theirsTimes.push_back(theirs.seconds);
      c.oursRss = std::max(c.oursRss, ours.maxRssKb);
    }
  }

  // Same bytes from both, or the timing means nothing.
  const std::vector<char> original = ReadAll(bin);
  if (ReadAll(ob) != original || ReadAll(tb) != original) {
    std::fprintf(stderr, "Intel HEX -> binary: the outputs differ from the image\n");
    ok = false;
  }
  const std::string back = (dir / "back.bin").string();
  if (!RunProcess({"objcopy", "-I", "ihex", "-O", "binary", oh, back}).ok || ReadAll(back) != original) {
    std::fprintf(stderr, "binary -> Intel HEX: objcopy does not read our file back to the image\n");
    ok = false;
  }

  std::printf("8 MiB image, Intel HEX file of %ju bytes, %d rounds (median wall time per process)\n",
              static_cast<std::uintmax_t>(fs::file_size(hex)), rounds);
  const double wanted[] = {3.0, 1.0};
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    const double ours = Median(c.oursTimes), theirs = Median(c.theirsTimes);
    const double ratio = ours > 0 ? theirs / ours : 0;
    const bool met = ratio >= wanted[i];
    ok = ok && met;
    std::printf("  %-20s ours %7.1f ms  objcopy %7.1f ms  ratio %.2f (target >= %.1f: %s)  our peak %ld KiB\n",
                c.name, ours * 1e3, theirs * 1e3, ratio, wanted[i], met ? "met" : "MISSED", c.oursRss);
  }
  const long limitKb = 64 * 1024;
  const bool memoryMet = cases[0].oursRss < limitKb;
  ok = ok && memoryMet;
  std::printf("  peak memory of the Intel HEX load: %.1f MiB (target < 64 MiB: %s)\n", cases[0].oursRss / 1024.0,
              memoryMet ? "met" : "MISSED");
  fs::remove_all(dir);
  return ok ? 0 : 1;
}
