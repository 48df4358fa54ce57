#include "app/MessageCatalog.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace zr7 {

namespace {

struct MessageRow {
  int id;
  const char* english;
};

// The texts of the board link; the full bilingual catalog takes this table's place.
constexpr MessageRow kMessages[] = {
    {1025, "ZR7 Programmer"},
    {1026, "Warning: incorrect disconnection."},
    {1027, "Connection error"},
    {1029, "Unknown firmware version"},
    {1030, "Reading firmware version..."},
    {1031, "Select COM port or click 'search board'"},
    {1032, "No board specified"},
    {1033, "Error reading version"},
    {1034, "Unknown version"},
    {1035, "Error reading serial number"},
    {1036, " (Serial number %02X %02X %02X %02X %02X)"},
    {1037, "Connecting to COM%d... "},
    {1038, "Version conflict.\nZR7 version: %c.%c%c\nRequired version %c.%c%c.\nUpdate version and try again."},
    {1039, "Reset strobe... (%d ms)"},
    {1040, "Connection accepted"},
    {1168, "Internal error while synchronizing with ZR7"},
    {1173, "Connection error: cannot open COM port. Check for other applications using it."},
    {1174, "Version conflict. You need to update firmware version."},
    {1179, "Version conflict. Update firmware version with '\\Advanced\\Update firmware version...' command."},
    {1184, "AT45 memory detected"},
    {1187, "AT45 memory not detected"},
    {1188, "AT45 memory not detected (signature as %s)"},
};

}  // namespace

const char* MessageCatalog::GetText(int id) const {
  for (const MessageRow& row : kMessages)
    if (row.id == id) return row.english;
  return "NOT TRANSLATED";
}

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    std::vector<char> buf(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, args);
    out.assign(buf.data(), static_cast<std::size_t>(n));
  }
  va_end(args);
  return out;
}

}  // namespace zr7
