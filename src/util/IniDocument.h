#pragma once
// Files of sections and keys: the project file and the per-user profile.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zr7 {

// The leading decimal number of a text, as "%d" reads it: blanks, an optional sign, digits;
// 0 when the text does not start with a number. Saturates at the 32-bit limits.
std::int32_t LeadingNumber(std::string_view text);

// One file of sections and keys in the private-profile format that project files written on
// Windows use: section and key names in any letter case, CR LF or LF, blanks around values
// and one pair of enclosing quotes dropped on reading, the first of duplicate keys counting.
// Edits keep the order, the unknown keys and the comments of what was read; a key that is
// new goes after the keys of its section, a new section after the others.
class IniDocument {
 public:
  enum class ReadResult { Read, Missing, Failed };
  enum class ReadFailure { NotRegular, TooLarge, CannotOpen, ReadError };

  IniDocument();
  ~IniDocument();
  IniDocument(IniDocument&&) noexcept;
  IniDocument& operator=(IniDocument&&) noexcept;

  // Replaces the contents with the file's. A file that does not exist gives an empty document
  // and Missing; one that cannot be read (or is far too large to be a settings file) gives
  // Failed with the reason in `why`.
  ReadResult ReadFile(const std::string& path, ReadFailure* why = nullptr);
  void Parse(std::string_view text);

  bool Has(std::string_view section, std::string_view key) const;
  // The value with blanks and one pair of enclosing quotes removed; nothing when absent.
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;
  std::string Text(std::string_view section, std::string_view key, std::string_view fallback) const;
  // LeadingNumber of the value; `fallback` when the key is absent or its value empty.
  std::int32_t Number(std::string_view section, std::string_view key, std::int32_t fallback) const;
  bool Flag(std::string_view section, std::string_view key, bool fallback) const {
    return Number(section, key, fallback ? 1 : 0) != 0;
  }

  // False, and nothing changed, for a value with a line break: the format cannot hold one.
  bool Set(std::string_view section, std::string_view key, std::string_view value);
  void SetNumber(std::string_view section, std::string_view key, std::int32_t value);
  void SetFlag(std::string_view section, std::string_view key, bool value) { SetNumber(section, key, value ? 1 : 0); }

  std::string Serialize() const;
  // Replaces the file (AtomicFile); on failure `errorNumber` gets the errno.
  bool WriteFile(const std::string& path, int* errorNumber = nullptr) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zr7
