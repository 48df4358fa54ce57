// libFuzzer target for the Intel HEX reader. Beyond "no crash, no read out of bounds" it checks
// that feeding the text in arbitrary pieces (as the file reader does) gives exactly what the
// whole text gives, the same fault on the same line included, and that an image read back from
// our own writer is unchanged.
//
//   clang++ -std=c++20 -fsanitize=fuzzer,address -Isrc fuzz/ParseHexFuzz.cpp src/buffers/ImageFiles.cpp \
//     src/buffers/MemoryBuffer.cpp src/app/MessageCatalog.cpp src/app/CatalogTables.cpp \
//     src/util/AtomicFile.cpp -o parsehex-fuzz
//   ./parsehex-fuzz -max_total_time=20 fuzz/corpus/parsehex

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "buffers/ImageFiles.h"
#include "buffers/MemoryBuffer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> text(data, size);
  // One byte of the input decides the answer, so both branches of the question are explored.
  const bool yes = size > 0 && (data[size / 2] & 1) != 0;
  int asked = 0;
  const auto ask = [&] {
    ++asked;
    return yes;
  };

  std::vector<std::uint8_t> whole;
  zr7::HexFailure failure;
  const zr7::HexStatus status = zr7::ParseHexImage(text, whole, ask, &failure);
  if (asked > 1) std::abort();  // the question comes once per text at most
  if (status != zr7::HexStatus::Ok && !whole.empty()) std::abort();
  if (whole.size() > zr7::MaxImageSize) std::abort();

  // The same text in pieces of 1 to 97 bytes, the lengths taken from the text itself.
  zr7::HexParser parser(ask, size);
  std::size_t at = 0;
  for (std::size_t k = 0; at < size; ++k) {
    const std::size_t n = std::min<std::size_t>(size - at, 1 + data[k % size] % 97);
    if (!parser.Feed(text.subspan(at, n))) break;
    at += n;
  }
  std::vector<std::uint8_t> pieces;
  if (parser.Finish(pieces) != status || pieces != whole) std::abort();
  // The fault and its line are the text's, not the pieces'.
  if (status != zr7::HexStatus::Ok &&
      (parser.Failure().fault != failure.fault || parser.Failure().line != failure.line))
    std::abort();

  // Our own text of a (not too large) image reads back to the same image, without questions.
  if (status == zr7::HexStatus::Ok && whole.size() <= (std::size_t{1} << 17)) {
    const std::string written = zr7::FormatHex(whole);
    std::vector<std::uint8_t> back;
    const auto never = [] {
      std::abort();
      return false;
    };
    const zr7::HexStatus again = zr7::ParseHexImage(
        {reinterpret_cast<const std::uint8_t*>(written.data()), written.size()}, back, never);
    if (again != zr7::HexStatus::Ok || back != whole) std::abort();
  }
  return 0;
}
