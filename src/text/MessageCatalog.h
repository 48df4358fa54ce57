#pragma once
// Every text the operator sees, by message id, in English or Russian. Callers fill the
// printf-style placeholders with FormatText after the lookup.

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace zr7 {

struct DialogTextTable;

// The language choice, passed to whoever looks texts up. Nothing is cached from it, so
// switching it and translating the window again is enough to change the language.
struct LanguageSettings {
  bool RussianSelected = false;
};

namespace msg {
inline constexpr int FuseWarningIntro = 1001;
inline constexpr int FuseShouldBeUnprogrammed = 1002;
inline constexpr int FuseShouldBeProgrammed = 1003;
inline constexpr int ContinueQuestion = 1004;
inline constexpr int WarningCaption = 1005;
inline constexpr int CannotSaveFile = 1015;
inline constexpr int ProductTitle = 1016;
inline constexpr int SaveAsHexQuestion = 1017;
inline constexpr int NotEnoughMemory = 1019;
inline constexpr int ErrorInHexFile = 1020;
inline constexpr int HexChecksumQuestion = 1021;
inline constexpr int CannotLoadFile = 1023;
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
inline constexpr int FlashStatus = 1041;
inline constexpr int EepromStatus = 1074;
inline constexpr int CannotReadFile = 1144;
inline constexpr int LoadOverlapQuestion = 1155;
inline constexpr int InternalSyncError = 1168;
inline constexpr int CannotOpenComPort = 1173;
inline constexpr int VersionConflictUpdate = 1174;
inline constexpr int VersionConflictLoader = 1179;
inline constexpr int At45Detected = 1184;
inline constexpr int At45NotDetected = 1187;
inline constexpr int At45NotDetectedAs = 1188;
inline constexpr int LoadAtBeyondLargestImage = 2001;
inline constexpr int FileLongerThanLargestImage = 2002;
inline constexpr int HexFileRefused = 2003;  // with the file and one of the faults 2004..2012
inline constexpr int HexFaultEmpty = 2004;
inline constexpr int HexFaultNoColon = 2005;
inline constexpr int HexFaultLineTooLong = 2006;
inline constexpr int HexFaultNotHexDigit = 2007;
inline constexpr int HexFaultTooShort = 2008;
inline constexpr int HexFaultNoEndRecord = 2009;
inline constexpr int HexFaultBadChecksum = 2010;
inline constexpr int HexFaultBeyondLargestImage = 2011;
inline constexpr int HexFaultEmptyRecordAtZero = 2012;
inline constexpr int NotARegularFile = 2013;
inline constexpr int TakenAsRawStatus = 2014;
inline constexpr int ImageEmptyNotProgrammed = 2015;
inline constexpr int ConvertEmptyNotWritten = 2016;
inline constexpr int ErrorReadingProjectFile = 1024;
inline constexpr int ProjectLoaded = 2020;
inline constexpr int ProjectNotLoaded = 2021;
inline constexpr int ProjectValueOutOfRange = 2022;
inline constexpr int CannotSaveProject = 2023;
inline constexpr int CannotSaveSettings = 2024;
inline constexpr int SettingsIntegerRange = 2025;
inline constexpr int SettingsIntegerNeeded = 2026;
inline constexpr int SettingsTextTooLong = 2027;
inline constexpr int LockFuseSettingsForOtherChip = 2029;
inline constexpr int ErrorReadingProjectFileBecause = 2030;
inline constexpr int ProjectFileMissing = 2031;
inline constexpr int ProjectFileNotRegular = 2032;
inline constexpr int ProjectFileTooLarge = 2033;
inline constexpr int ProjectFileUnreadable = 2034;
inline constexpr int ProjectFileNotAProject = 2035;
inline constexpr int NotAvailableForDevice = 2045;
inline constexpr int StoppedBySignal = 2046;
inline constexpr int NotASerialPort = 2047;
inline constexpr int PortPresentNote = 2060;
inline constexpr int PortAbsentNote = 2061;
inline constexpr int PortPathTip = 2062;
inline constexpr int AboutPlatformLine = 2070;  // the About box's line 1105 for this build
inline constexpr int NoLockFuseBits = 2080;
inline constexpr int LockModeNotEncodable = 2081;
inline constexpr int FusesLockModeLine = 2082;
inline constexpr int FusesGroupLine = 2083;
inline constexpr int FuseGroupLow = 2084;  // 2084..2086: groups 1..3
inline constexpr int FuseGroupHigh = 2085;
inline constexpr int FuseGroupExtended = 2086;
inline constexpr int FusesBootLockLine = 2087;
inline constexpr int FusesNone = 2088;
inline constexpr int FusesLockModeChange = 2089;
inline constexpr int FusesGroupChange = 2090;
inline constexpr int FusesBootLockChange = 2091;
inline constexpr int FusesProgramQuestion = 2092;
inline constexpr int FusesUnsafeRefused = 2093;
inline constexpr int FusesProjectProgramFuseOff = 2094;
inline constexpr int FusesProjectLayoutDiffers = 2095;
inline constexpr int FusesUnknownBit = 2096;
inline constexpr int FusesNoSuchGroup = 2097;
inline constexpr int FusesLockModeUnavailable = 2098;
inline constexpr int FusesNotReadBack = 2099;
inline constexpr int FirmwareFileUnreadable = 2100;
inline constexpr int FirmwareFileWrongSize = 2101;
inline constexpr int FirmwareConfirmationNeeded = 2102;
inline constexpr int FirmwareFileNote = 2103;
inline constexpr int FirmwareNotInterruptible = 2104;
inline constexpr int FirmwareBadConfirmation = 2105;
inline constexpr int FirmwareNeedsYes = 2107;
inline constexpr int FirmwareWrongNewVersion = 2108;
inline constexpr int FirmwareImageLabel = 2109;
inline constexpr int FirmwareBrowse = 2110;
inline constexpr int FirmwareConfirmationLabel = 2111;
inline constexpr int FirmwareFileFilter = 2112;
inline constexpr int AutoprogramLockFuseFailed = 2120;
inline constexpr int AutoprogramNeedsProject = 2121;
inline constexpr int AutoprogramNextSerial = 2122;
inline constexpr int AutoprogramSerialSaved = 2123;
inline constexpr int AutoprogramSerialNotSaved = 2124;
inline constexpr int AutoprogramLockFuseOtherLayout = 2125;
inline constexpr int CannotSaveFileBecause = 2140;  // 1015 with the file and the cause
inline constexpr int CannotSaveProjectBecause = 2141;
inline constexpr int CannotSaveSettingsBecause = 2142;
inline constexpr int FileErrorNoPermission = 2143;  // 2143..2150: causes by errno
inline constexpr int FileErrorReadOnlyFileSystem = 2144;
inline constexpr int FileErrorDiskFull = 2145;
inline constexpr int FileErrorQuota = 2146;
inline constexpr int FileErrorNoFolder = 2147;
inline constexpr int FileErrorNotAFolder = 2148;
inline constexpr int FileErrorIsAFolder = 2149;
inline constexpr int FileErrorNameTooLong = 2150;
inline constexpr int SaveKeepsUnreadableFile = 2151;
inline constexpr int SaveValueHasLineBreak = 2152;
inline constexpr int SettingsHaveNoFolder = 2153;
inline constexpr int SerialNotSaved = 2154;
inline constexpr int SerialNotSavableChipUntouched = 2155;
inline constexpr int SerialFileOtherFormat = 2156;
inline constexpr int SerialFileOtherContents = 2157;
inline constexpr int SerialFileNotRegular = 2158;
inline constexpr int FileNoLongerExists = 2159;
inline constexpr int FlashImageOverOtherContent = 2160;  // with the image's file
inline constexpr int EepromImageOverOtherContent = 2161;
inline constexpr int ProjectUnsavedSaveDiscardCancel = 2162;  // Yes saves, No discards, Cancel goes back
inline constexpr int FlashUnsavedBeforeLoad = 2163;  // with the image's file; Yes, No, Cancel as 2162
inline constexpr int EepromUnsavedBeforeLoad = 2164;
inline constexpr int FlashReadCancelledAfter = 2165;  // bytes read, bytes of the memory
inline constexpr int EepromReadCancelledAfter = 2166;
inline constexpr int FlashUnnamedBeforeLoad = 2167;  // 2163 for an image without a file
inline constexpr int EepromUnnamedBeforeLoad = 2168;
inline constexpr int AutoprogramOk = 1190;
inline constexpr int AutoprogramError = 1191;
}  // namespace msg

// Dialog ids of the translated windows.
namespace dialog {
inline constexpr int MainWindow = 102;
inline constexpr int Progress = 129;
inline constexpr int BoardSettings = 130;
inline constexpr int About = 132;
inline constexpr int ProjectSettings = 138;
inline constexpr int LockFuse = 140;
inline constexpr int Language = 148;
inline constexpr int LoadAddress = 149;
inline constexpr int SelfProgram = 150;
}  // namespace dialog

inline constexpr const char* NotTranslated = "NOT TRANSLATED";

class MessageCatalog {
 public:
  explicit MessageCatalog(const LanguageSettings& language) : language_(&language) {}

  // The text of the first row with this id in the current language, or "NOT TRANSLATED".
  // The text lives as long as the process.
  const char* GetText(int id) const;
  const LanguageSettings& Language() const { return *language_; }
  bool Russian() const { return language_->RussianSelected; }

  // The text of a table row or title in the current language.
  const char* Pick(const char* english, const char* russian) const { return Russian() ? russian : english; }

 private:
  const LanguageSettings* language_;
};

// The first dialog table with this id, or nullptr.
const DialogTextTable* FindDialogTextTable(int dialogId);

// printf-style formatting of a catalog text.
std::string FormatText(const char* format, ...);

// Why a file could not be written, from the errno of the failure, in the current language.
std::string FileErrorText(const MessageCatalog& catalog, int errorNumber);

// The printf conversions of a text in order ("%02X", "%s", ...), without the literal "%%".
std::vector<std::string> Placeholders(std::string_view text);

// Every message row in table order as "id<TAB>text", line breaks written as "\n"; withOwn
// adds our own texts (ids from 2001 on) after them.
void WriteCatalogListing(std::ostream& out, bool russian, bool withOwn = false);

}  // namespace zr7
