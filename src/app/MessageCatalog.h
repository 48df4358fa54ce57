#pragma once
// Every text the operator sees, by message id. Callers fill printf-style placeholders
// with FormatText after the lookup.

#include <string>

namespace zr7 {

// The language choice, passed to whoever looks texts up.
struct LanguageSettings {
  bool RussianSelected = false;
};

namespace msg {
inline constexpr int ProgrammerCaption = 1025;
inline constexpr int IncorrectDisconnection = 1026;
inline constexpr int ConnectionError = 1027;
inline constexpr int UnknownFirmwareVersion = 1029;
inline constexpr int ReadingFirmwareVersion = 1030;
inline constexpr int SelectComPort = 1031;
inline constexpr int NoBoardSpecified = 1032;
inline constexpr int ErrorReadingVersion = 1033;
inline constexpr int UnknownVersion = 1034;
inline constexpr int ErrorReadingSerial = 1035;
inline constexpr int SerialNumberSuffix = 1036;
inline constexpr int ConnectingToCom = 1037;
inline constexpr int VersionConflictDetails = 1038;
inline constexpr int ResetStrobe = 1039;
inline constexpr int ConnectionAccepted = 1040;
inline constexpr int InternalSyncError = 1168;
inline constexpr int CannotOpenComPort = 1173;
inline constexpr int VersionConflictUpdate = 1174;
inline constexpr int VersionConflictLoader = 1179;
inline constexpr int At45Detected = 1184;
inline constexpr int At45NotDetected = 1187;
inline constexpr int At45NotDetectedAs = 1188;
}  // namespace msg

class MessageCatalog {
 public:
  explicit MessageCatalog(const LanguageSettings& language) : language_(&language) {}

  // The text of the first row with this id, or "NOT TRANSLATED". Lives as long as the process.
  const char* GetText(int id) const;
  const LanguageSettings& Language() const { return *language_; }

 private:
  const LanguageSettings* language_;
};

// printf-style formatting of a catalog text.
std::string FormatText(const char* format, ...);

}  // namespace zr7
