#pragma once
// The built-in table of the 41 supported chips. A row's position is its device number,
// stored in project files, so the order of rows is part of the file format.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace zr7 {

enum class DeviceFamily : std::uint32_t {
  At25 = 0,    // AT25 SPI serial EEPROMs
  At45 = 1,    // AT45 DataFlash
  At86 = 2,    // AT86RF401
  At89S = 3,   // AT89S microcontrollers
  At90 = 4,    // AT90S and AT90CAN
  ATtiny = 5,
  ATmega = 6,
};
inline constexpr int FamilyCount = 7;

// Family combo labels, in combo order (index = DeviceFamily).
inline constexpr std::array<std::string_view, FamilyCount> FamilyLabels = {
    "AT25...", "AT45...", "AT86...", "AT89S...", "AT90...", "ATtiny...", "ATmega...",
};

// Serial programming variants.
enum ProgrammingClassCode : std::uint32_t {
  ClassAvr = 0,         // AVR 4-byte instructions, also AT45 and AT86RF401
  ClassAt89S3Byte = 1,  // AT89S8252
  ClassAt89S53 = 3,     // AT89S53, 3-byte instructions
  ClassAt89S4Byte = 4,  // AT89S2051/4051/51/52
  ClassAt25 = 10,       // AT25 serial EEPROM
};

struct DeviceRecord {
  DeviceFamily Family;
  std::string_view Name;
  // AVR: Flash page in 16-bit words (0 = byte by byte); AT45, AT25: page in bytes; AT89S, AT86: 0.
  std::uint32_t PageSize;
  // Bytes; AT45: the whole memory; AT25: 0.
  std::uint32_t FlashSize;
  // Bytes, 0 = none (every AT45); AT25: the whole memory.
  std::uint32_t EepromSize;
  std::array<std::uint8_t, 3> Signature;
  std::array<std::uint8_t, 3> AltSignature;
  // A third accepted signature, for the one row whose two slots are taken; none elsewhere, so
  // no reply can match it by accident.
  std::optional<std::array<std::uint8_t, 3>> ExtraSignature = std::nullopt;
  std::uint32_t ProgrammingClass;
  // Board byte-delay codes; only the low 8 bits are sent.
  std::int32_t FlashWriteDelay;
  std::int32_t FlashReadDelay;
  std::int32_t EepromWriteDelay;
  std::int32_t EepromReadDelay;
  std::uint32_t PageDelay;  // default minimum milliseconds per page write
  std::uint32_t BoardDeviceCode;
  std::uint32_t LockFuseLayoutIndex;
  std::uint32_t NoSyncFlag;
  std::uint32_t CalibrationCount;  // 0, 1, 2 or 4
  // DataFlash only, apart from the memory sizes so that no other field changes meaning by
  // family: the two high bytes of a DataFlash address are the page number shifted left by
  // At45PageShift (1 for 264-byte pages, 2 for 528, 3 for 1056), and the status byte names
  // the memory when (status AND At45StatusMask) == At45StatusBits.
  std::uint32_t At45PageShift = 0;
  std::uint8_t At45StatusBits = 0;
  std::uint8_t At45StatusMask = 0;
};

inline constexpr int DeviceCount = 41;

// All rows, in device-number order.
std::span<const DeviceRecord, DeviceCount> DeviceTable();

// The record of a device number; nullptr when the number is outside the table.
const DeviceRecord* DeviceAt(int deviceNumber);

// First row whose Signature, AltSignature or ExtraSignature equals the triple; -1 when none,
// and always -1 when b0 is not 0x1E (the manufacturer byte).
int FindDeviceBySignature(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);

// First AT45 row with (status AND Signature[1]) == Signature[0]; -1 when none.
int FindAt45ByStatus(std::uint8_t status);

// First row whose Name equals the text exactly; 0 when none does.
int FindDeviceByName(std::string_view name);

// Board byte-delay code for a delay in milliseconds: (255 - 14 * ms) modulo 256.
std::uint8_t DelayCodeFromMs(int milliseconds);

// Name of the default device of a new project (row 8).
inline constexpr std::string_view DefaultDeviceName = "ATmega8";

}  // namespace zr7
