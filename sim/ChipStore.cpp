#include "ChipStore.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include <unistd.h>

namespace zr7sim {

namespace {

constexpr char kMagic[] = "zr7-sim state 1";

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

bool ReadFile(const std::string& path, std::string& out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(error, "cannot open " + path + ": " + std::strerror(errno));
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return Fail(error, "cannot read " + path);
  return true;
}

std::string Hex2(std::uint8_t b) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02X", b);
  return buf;
}

bool ParseHex(const std::string& text, std::uint8_t& out) {
  if (text.size() != 2) return false;
  unsigned value = 0;
  for (char c : text) {
    value <<= 4;
    if (c >= '0' && c <= '9') value |= static_cast<unsigned>(c - '0');
    else if (c >= 'A' && c <= 'F') value |= static_cast<unsigned>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f') value |= static_cast<unsigned>(c - 'a' + 10);
    else return false;
  }
  out = static_cast<std::uint8_t>(value);
  return true;
}

// Walks the file: text lines, and raw sections of a stated length.
class Reader {
 public:
  explicit Reader(const std::string& data) : data_(data) {}

  bool Line(std::string& out) {
    const std::size_t end = data_.find('\n', pos_);
    if (end == std::string::npos) return false;
    out = data_.substr(pos_, end - pos_);
    pos_ = end + 1;
    return true;
  }

  bool Raw(std::vector<std::uint8_t>& out, std::size_t length) {
    if (data_.size() - pos_ < length) return false;
    out.assign(data_.begin() + static_cast<std::ptrdiff_t>(pos_),
               data_.begin() + static_cast<std::ptrdiff_t>(pos_ + length));
    pos_ += length;
    return true;
  }

 private:
  const std::string& data_;
  std::size_t pos_ = 0;
};

// "name value..." with the expected name.
bool Field(Reader& r, const std::string& name, std::istringstream& values) {
  std::string line;
  if (!r.Line(line) || line.rfind(name + " ", 0) != 0) return false;
  values.clear();
  values.str(line.substr(name.size() + 1));
  return true;
}

bool Section(Reader& r, const std::string& name, std::vector<std::uint8_t>& memory,
             const std::string& path, std::string* error) {
  std::istringstream values;
  std::size_t size = 0;
  if (!Field(r, name, values) || !(values >> size))
    return Fail(error, path + ": no " + name + " section where one belongs");
  if (size != memory.size())
    return Fail(error, path + ": " + name + " holds " + std::to_string(size) +
                           " bytes, the chip has " + std::to_string(memory.size()));
  std::vector<std::uint8_t> bytes;
  std::string rest;
  if (!r.Raw(bytes, size) || !r.Line(rest) || !rest.empty())
    return Fail(error, path + ": the " + name + " section is cut short");
  memory = std::move(bytes);
  return true;
}

}  // namespace

bool LoadImage(const std::string& path, std::vector<std::uint8_t>& memory, const std::string& what,
               std::string* error) {
  std::string data;
  if (!ReadFile(path, data, error)) return false;
  if (memory.empty()) return Fail(error, "the chip has no " + what + " for the image " + path);
  if (data.size() > memory.size())
    return Fail(error, "image " + path + " holds " + std::to_string(data.size()) + " bytes, the " +
                           what + " only " + std::to_string(memory.size()));
  std::copy(data.begin(), data.end(), memory.begin());
  return true;
}

bool LoadState(const std::string& path, TargetChip& chip, std::string* error) {
  std::string data;
  if (!ReadFile(path, data, error)) return false;
  Reader r(data);
  std::string line;
  if (!r.Line(line) || line != kMagic) return Fail(error, path + " is no simulator state file");

  std::istringstream values;
  std::string name;
  if (!Field(r, "chip", values) || !std::getline(values, name))
    return Fail(error, path + ": no chip line");
  if (name != chip.Record().Name)
    return Fail(error, path + " holds the state of " + name + ", not of " +
                           std::string(chip.Record().Name));

  std::string lockText;
  std::uint8_t lock = 0;
  if (!Field(r, "lock", values) || !(values >> lockText) || !ParseHex(lockText, lock))
    return Fail(error, path + ": no valid lock line");
  std::array<std::uint8_t, 3> fuses{};
  std::istringstream fuseValues;
  if (!Field(r, "fuses", fuseValues)) return Fail(error, path + ": no fuses line");
  for (std::uint8_t& f : fuses) {
    std::string text;
    if (!(fuseValues >> text) || !ParseHex(text, f)) return Fail(error, path + ": bad fuses line");
  }

  std::vector<std::uint8_t> flash = chip.Flash(), eeprom = chip.Eeprom();
  if (!Section(r, "flash", flash, path, error) || !Section(r, "eeprom", eeprom, path, error))
    return false;
  chip.Flash() = std::move(flash);
  chip.Eeprom() = std::move(eeprom);
  chip.SetLockBits(lock);
  chip.SetFuses(fuses);
  chip.ClearDirty();  // what is on disk is what the chip holds
  return true;
}

bool SaveState(const std::string& path, const TargetChip& chip, std::string* error) {
  std::string out = std::string(kMagic) + "\nchip " + std::string(chip.Record().Name) + "\nlock " +
                    Hex2(chip.LockBits()) + "\nfuses " + Hex2(chip.Fuses()[0]) + " " +
                    Hex2(chip.Fuses()[1]) + " " + Hex2(chip.Fuses()[2]) + "\n";
  auto section = [&out](const char* name, const std::vector<std::uint8_t>& memory) {
    out += std::string(name) + " " + std::to_string(memory.size()) + "\n";
    out.append(memory.begin(), memory.end());
    out += "\n";
  };
  section("flash", chip.Flash());
  section("eeprom", chip.Eeprom());

  const std::string temp = path + ".tmp" + std::to_string(getpid());
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return Fail(error, "cannot create " + temp + ": " + std::strerror(errno));
  const bool written = std::fwrite(out.data(), 1, out.size(), f) == out.size() &&
                       std::fflush(f) == 0 && fsync(fileno(f)) == 0;
  const int writeErrno = errno;
  if (std::fclose(f) != 0 || !written) {
    std::remove(temp.c_str());
    return Fail(error, "cannot write " + temp + ": " + std::strerror(writeErrno));
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    std::remove(temp.c_str());
    return Fail(error, "cannot rename " + temp + " to " + path + ": " + reason);
  }
  return true;
}

}  // namespace zr7sim
