#include "devices/DeviceTable.h"

#include <cstddef>

namespace zr7 {
namespace {

constexpr std::uint8_t CodeFromMs(int milliseconds) {
  // Wrapping unsigned arithmetic: any int, however large or negative, gives the right residue.
  const auto ms = static_cast<std::uint64_t>(static_cast<std::int64_t>(milliseconds));
  return static_cast<std::uint8_t>((255u - 14u * ms) & 0xFFu);
}

// The byte-delay codes the rows use, by the delay they stand for.
constexpr std::int32_t k0ms = CodeFromMs(0);
constexpr std::int32_t k5ms = CodeFromMs(5);
constexpr std::int32_t k9ms = CodeFromMs(9);
constexpr std::int32_t k15ms = CodeFromMs(15);
constexpr std::int32_t k25ms = CodeFromMs(25);
constexpr std::int32_t k50ms = CodeFromMs(50);
static_assert(k0ms == 255 && k5ms == 185 && k9ms == 129 && k15ms == 45 && k25ms == 161 && k50ms == 67);

using enum DeviceFamily;

// Row position is the device number saved in project files: never reorder.
constexpr std::array<DeviceRecord, DeviceCount> kTable = {{
    // 0
    {.Family = ATtiny, .Name = "ATtiny12", .PageSize = 0, .FlashSize = 1024, .EepromSize = 64,
     .Signature = {0x1E, 0x90, 0x05}, .AltSignature = {0x1E, 0x90, 0x05}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k5ms, .EepromReadDelay = k5ms,
     .PageDelay = 15, .BoardDeviceCode = 4, .LockFuseLayoutIndex = 8, .NoSyncFlag = 0,
     .CalibrationCount = 1},
    // 1: ATtiny13 data sheet: two calibration bytes (9.6 and 4.8 MHz)
    {.Family = ATtiny, .Name = "ATtiny13", .PageSize = 16, .FlashSize = 1024, .EepromSize = 64,
     .Signature = {0x1E, 0x90, 0x07}, .AltSignature = {0x1E, 0x90, 0x07}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k5ms, .EepromReadDelay = k5ms,
     .PageDelay = 15, .BoardDeviceCode = 4, .LockFuseLayoutIndex = 23, .NoSyncFlag = 0,
     .CalibrationCount = 2},
    // 2
    {.Family = ATtiny, .Name = "ATtiny15", .PageSize = 0, .FlashSize = 1024, .EepromSize = 64,
     .Signature = {0x1E, 0x90, 0x06}, .AltSignature = {0x1E, 0x90, 0x06}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k5ms, .EepromReadDelay = k5ms,
     .PageDelay = 15, .BoardDeviceCode = 4, .LockFuseLayoutIndex = 4, .NoSyncFlag = 0,
     .CalibrationCount = 1},
    // 3: ATtiny2313 data sheet: two calibration bytes (4 and 8 MHz)
    {.Family = ATtiny, .Name = "ATtiny2313", .PageSize = 16, .FlashSize = 2048, .EepromSize = 128,
     .Signature = {0x1E, 0x91, 0x0A}, .AltSignature = {0x1E, 0x91, 0x0A}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k50ms, .EepromReadDelay = k5ms,
     .PageDelay = 15, .BoardDeviceCode = 0, .LockFuseLayoutIndex = 24, .NoSyncFlag = 0,
     .CalibrationCount = 2},
    // 4
    {.Family = ATtiny, .Name = "ATtiny26", .PageSize = 16, .FlashSize = 2048, .EepromSize = 128,
     .Signature = {0x1E, 0x91, 0x09}, .AltSignature = {0x1E, 0x91, 0x09}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k50ms, .EepromReadDelay = k5ms,
     .PageDelay = 15, .BoardDeviceCode = 0, .LockFuseLayoutIndex = 14, .NoSyncFlag = 0,
     .CalibrationCount = 4},
    // 5
    {.Family = At90, .Name = "AT90S2313", .PageSize = 0, .FlashSize = 2048, .EepromSize = 128,
     .Signature = {0x1E, 0x91, 0x01}, .AltSignature = {0x1E, 0x91, 0x01}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k5ms, .EepromReadDelay = k5ms,
     .PageDelay = 15, .BoardDeviceCode = 0, .LockFuseLayoutIndex = 0, .NoSyncFlag = 0,
     .CalibrationCount = 0},
    // 6
    {.Family = At90, .Name = "AT90S8515", .PageSize = 0, .FlashSize = 8192, .EepromSize = 512,
     .Signature = {0x1E, 0x93, 0x01}, .AltSignature = {0x1E, 0x93, 0x01}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k5ms, .EepromReadDelay = k5ms,
     .PageDelay = 15, .BoardDeviceCode = 0, .LockFuseLayoutIndex = 0, .NoSyncFlag = 0,
     .CalibrationCount = 0},
    // 7: ATmega48 data sheet: one calibration byte
    {.Family = ATmega, .Name = "ATmega48", .PageSize = 32, .FlashSize = 4096, .EepromSize = 256,
     .Signature = {0x1E, 0x92, 0x05}, .AltSignature = {0x1E, 0x92, 0x05}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k5ms, .EepromReadDelay = k5ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 25, .NoSyncFlag = 0,
     .CalibrationCount = 1},
    // 8
    {.Family = ATmega, .Name = "ATmega8", .PageSize = 32, .FlashSize = 8192, .EepromSize = 512,
     .Signature = {0x1E, 0x93, 0x07}, .AltSignature = {0x1E, 0x93, 0x07}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k5ms, .EepromReadDelay = k5ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 12, .NoSyncFlag = 0,
     .CalibrationCount = 4},
    // 9: ATmega88 data sheet: one calibration byte
    {.Family = ATmega, .Name = "ATmega88", .PageSize = 32, .FlashSize = 8192, .EepromSize = 512,
     .Signature = {0x1E, 0x93, 0x0A}, .AltSignature = {0x1E, 0x93, 0x0A}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k5ms, .EepromReadDelay = k5ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 26, .NoSyncFlag = 0,
     .CalibrationCount = 1},
    // 10
    {.Family = ATmega, .Name = "ATmega8515", .PageSize = 32, .FlashSize = 8192, .EepromSize = 512,
     .Signature = {0x1E, 0x93, 0x06}, .AltSignature = {0x1E, 0x93, 0x06}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k50ms, .EepromReadDelay = k5ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 17, .NoSyncFlag = 0,
     .CalibrationCount = 4},
    // 11
    {.Family = ATmega, .Name = "ATmega8535", .PageSize = 32, .FlashSize = 8192, .EepromSize = 512,
     .Signature = {0x1E, 0x93, 0x08}, .AltSignature = {0x1E, 0x93, 0x08}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k50ms, .EepromReadDelay = k9ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 18, .NoSyncFlag = 0,
     .CalibrationCount = 4},
    // 12: ATmega16 data sheet: four calibration bytes (1, 2, 4 and 8 MHz)
    {.Family = ATmega, .Name = "ATmega16", .PageSize = 64, .FlashSize = 16384, .EepromSize = 512,
     .Signature = {0x1E, 0x94, 0x03}, .AltSignature = {0x1E, 0x94, 0x03}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k9ms, .EepromReadDelay = k9ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 13, .NoSyncFlag = 0,
     .CalibrationCount = 4},
    // 13: ATmega161 data sheet: no calibrated oscillator, so no calibration byte
    {.Family = ATmega, .Name = "ATmega161", .PageSize = 64, .FlashSize = 16384, .EepromSize = 512,
     .Signature = {0x1E, 0x94, 0x01}, .AltSignature = {0x1E, 0x94, 0x01}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k9ms, .EepromReadDelay = k9ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 11, .NoSyncFlag = 0,
     .CalibrationCount = 0},
    // 14
    {.Family = ATmega, .Name = "ATmega162", .PageSize = 64, .FlashSize = 16384, .EepromSize = 512,
     .Signature = {0x1E, 0x94, 0x04}, .AltSignature = {0x1E, 0x94, 0x04}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k9ms, .EepromReadDelay = k9ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 19, .NoSyncFlag = 0,
     .CalibrationCount = 1},
    // 15
    {.Family = ATmega, .Name = "ATmega165", .PageSize = 64, .FlashSize = 16384, .EepromSize = 512,
     .Signature = {0x1E, 0x94, 0x07}, .AltSignature = {0x1E, 0x94, 0x07}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k9ms, .EepromReadDelay = k9ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 21, .NoSyncFlag = 0,
     .CalibrationCount = 1},
    // 16: ATmega168 data sheet: one calibration byte
    {.Family = ATmega, .Name = "ATmega168", .PageSize = 64, .FlashSize = 16384, .EepromSize = 512,
     .Signature = {0x1E, 0x94, 0x06}, .AltSignature = {0x1E, 0x94, 0x06}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k5ms, .EepromReadDelay = k5ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 26, .NoSyncFlag = 0,
     .CalibrationCount = 1},
    // 17
    {.Family = ATmega, .Name = "ATmega169", .PageSize = 64, .FlashSize = 16384, .EepromSize = 512,
     .Signature = {0x1E, 0x94, 0x05}, .AltSignature = {0x1E, 0x94, 0x05}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k9ms, .EepromReadDelay = k9ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 21, .NoSyncFlag = 0,
     .CalibrationCount = 1},
    // 18
    {.Family = ATmega, .Name = "ATmega32", .PageSize = 64, .FlashSize = 32768, .EepromSize = 1024,
     .Signature = {0x1E, 0x95, 0x02}, .AltSignature = {0x1E, 0x95, 0x02}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k15ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k9ms, .EepromReadDelay = k9ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 16, .NoSyncFlag = 0,
     .CalibrationCount = 4},
    // 19: one row for two chips, one signature each.
    {.Family = ATmega, .Name = "ATmega325/3250", .PageSize = 64, .FlashSize = 32768, .EepromSize = 1024,
     .Signature = {0x1E, 0x95, 0x05}, .AltSignature = {0x1E, 0x95, 0x06}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k15ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k9ms, .EepromReadDelay = k9ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 30, .NoSyncFlag = 0,
     .CalibrationCount = 1},
    // 20
    {.Family = ATmega, .Name = "ATmega64", .PageSize = 128, .FlashSize = 65536, .EepromSize = 2048,
     .Signature = {0x1E, 0x96, 0x02}, .AltSignature = {0x1E, 0x96, 0x02}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k9ms, .EepromReadDelay = k9ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 20, .NoSyncFlag = 0,
     .CalibrationCount = 4},
    // 21: ATmega644 data sheet: signature 1E 96 09, one calibration byte; 1E 96 07 stays accepted.
    {.Family = ATmega, .Name = "ATmega644", .PageSize = 128, .FlashSize = 65536, .EepromSize = 2048,
     .Signature = {0x1E, 0x96, 0x07}, .AltSignature = {0x1E, 0x96, 0x09}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k9ms, .EepromReadDelay = k9ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 32, .NoSyncFlag = 0,
     .CalibrationCount = 1},
    // 22: one row for two chips, one signature each. ATmega645/6450 data sheet: one calibration byte
    {.Family = ATmega, .Name = "ATmega645/6450", .PageSize = 128, .FlashSize = 65536, .EepromSize = 2048,
     .Signature = {0x1E, 0x96, 0x05}, .AltSignature = {0x1E, 0x96, 0x06}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k9ms, .EepromReadDelay = k9ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 30, .NoSyncFlag = 0,
     .CalibrationCount = 1},
    // 23: also accepts 1E 01 02.
    {.Family = ATmega, .Name = "ATmega128", .PageSize = 128, .FlashSize = 131072, .EepromSize = 4096,
     .Signature = {0x1E, 0x97, 0x02}, .AltSignature = {0x1E, 0x01, 0x02}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k9ms, .EepromReadDelay = k9ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 10, .NoSyncFlag = 0,
     .CalibrationCount = 4},
    // 24: one row for two chips; also accepts 1E 01 03. ATmega2560/2561 data sheet: signatures
    // 1E 98 01 (ATmega2560) and 1E 98 02 (ATmega2561), 4 KB Eeprom, the fuses of layout 32, one
    // calibration byte.
    {.Family = ATmega, .Name = "ATmega2560/2561", .PageSize = 128, .FlashSize = 262144, .EepromSize = 4096,
     .Signature = {0x1E, 0x98, 0x02}, .AltSignature = {0x1E, 0x01, 0x03},
     .ExtraSignature = std::array<std::uint8_t, 3>{0x1E, 0x98, 0x01}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k9ms, .EepromReadDelay = k9ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 32, .NoSyncFlag = 0,
     .CalibrationCount = 1},
    // 25
    {.Family = At89S, .Name = "AT89S2051", .PageSize = 0, .FlashSize = 2048, .EepromSize = 0,
     .Signature = {0x1E, 0x23, 0xFF}, .AltSignature = {0x1E, 0x23, 0xFF}, .ProgrammingClass = ClassAt89S4Byte,
     .FlashWriteDelay = k25ms, .FlashReadDelay = k25ms, .EepromWriteDelay = k5ms, .EepromReadDelay = k25ms,
     .PageDelay = 15, .BoardDeviceCode = 3, .LockFuseLayoutIndex = 28, .NoSyncFlag = 0,
     .CalibrationCount = 0},
    // 26
    {.Family = At89S, .Name = "AT89S4051", .PageSize = 0, .FlashSize = 4096, .EepromSize = 0,
     .Signature = {0x1E, 0x43, 0xFF}, .AltSignature = {0x1E, 0x43, 0xFF}, .ProgrammingClass = ClassAt89S4Byte,
     .FlashWriteDelay = k25ms, .FlashReadDelay = k25ms, .EepromWriteDelay = k5ms, .EepromReadDelay = k25ms,
     .PageDelay = 15, .BoardDeviceCode = 3, .LockFuseLayoutIndex = 28, .NoSyncFlag = 0,
     .CalibrationCount = 0},
    // 27
    {.Family = At89S, .Name = "AT89S51", .PageSize = 0, .FlashSize = 4096, .EepromSize = 0,
     .Signature = {0x1E, 0x51, 0x06}, .AltSignature = {0x1E, 0x51, 0x06}, .ProgrammingClass = ClassAt89S4Byte,
     .FlashWriteDelay = k25ms, .FlashReadDelay = k25ms, .EepromWriteDelay = k5ms, .EepromReadDelay = k25ms,
     .PageDelay = 15, .BoardDeviceCode = 1, .LockFuseLayoutIndex = 1, .NoSyncFlag = 0,
     .CalibrationCount = 0},
    // 28
    {.Family = At89S, .Name = "AT89S52", .PageSize = 0, .FlashSize = 8192, .EepromSize = 0,
     .Signature = {0x1E, 0x52, 0x06}, .AltSignature = {0x1E, 0x52, 0x06}, .ProgrammingClass = ClassAt89S4Byte,
     .FlashWriteDelay = k25ms, .FlashReadDelay = k25ms, .EepromWriteDelay = k5ms, .EepromReadDelay = k25ms,
     .PageDelay = 15, .BoardDeviceCode = 1, .LockFuseLayoutIndex = 1, .NoSyncFlag = 0,
     .CalibrationCount = 0},
    // 29, 30: 00 FF 00 is never found by signature, which must start with 1E.
    {.Family = At89S, .Name = "AT89S8252", .PageSize = 0, .FlashSize = 8192, .EepromSize = 2048,
     .Signature = {0x00, 0xFF, 0x00}, .AltSignature = {0x00, 0xFF, 0x00}, .ProgrammingClass = ClassAt89S3Byte,
     .FlashWriteDelay = k25ms, .FlashReadDelay = k25ms, .EepromWriteDelay = k5ms, .EepromReadDelay = k25ms,
     .PageDelay = 15, .BoardDeviceCode = 1, .LockFuseLayoutIndex = 27, .NoSyncFlag = 0,
     .CalibrationCount = 0},
    // 30
    {.Family = At89S, .Name = "AT89S53", .PageSize = 0, .FlashSize = 12288, .EepromSize = 0,
     .Signature = {0x00, 0xFF, 0x00}, .AltSignature = {0x00, 0xFF, 0x00}, .ProgrammingClass = ClassAt89S53,
     .FlashWriteDelay = k25ms, .FlashReadDelay = k25ms, .EepromWriteDelay = k5ms, .EepromReadDelay = k25ms,
     .PageDelay = 15, .BoardDeviceCode = 3, .LockFuseLayoutIndex = 28, .NoSyncFlag = 0,
     .CalibrationCount = 0},
    // 31
    {.Family = At86, .Name = "AT86RF401", .PageSize = 0, .FlashSize = 2048, .EepromSize = 128,
     .Signature = {0x1E, 0x91, 0x81}, .AltSignature = {0x1E, 0x91, 0x81}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k5ms, .EepromReadDelay = k5ms,
     .PageDelay = 15, .BoardDeviceCode = 0, .LockFuseLayoutIndex = 22, .NoSyncFlag = 0,
     .CalibrationCount = 0},
    // 32: AT25 rows: no Flash, EepromSize is the whole memory, PageSize in bytes; no signature
    // to read and no byte delays.
    {.Family = At25, .Name = "AT25256", .PageSize = 64, .FlashSize = 0, .EepromSize = 32768,
     .Signature = {0x00, 0x00, 0x00}, .AltSignature = {0x00, 0x00, 0x00}, .ProgrammingClass = ClassAt25,
     .FlashWriteDelay = 0, .FlashReadDelay = 0, .EepromWriteDelay = 0, .EepromReadDelay = 0,
     .PageDelay = 0, .BoardDeviceCode = 0, .LockFuseLayoutIndex = 0, .NoSyncFlag = 0,
     .CalibrationCount = 0},
    // 33
    {.Family = At25, .Name = "AT25HP256", .PageSize = 128, .FlashSize = 0, .EepromSize = 32768,
     .Signature = {0x00, 0x00, 0x00}, .AltSignature = {0x00, 0x00, 0x00}, .ProgrammingClass = ClassAt25,
     .FlashWriteDelay = 0, .FlashReadDelay = 0, .EepromWriteDelay = 0, .EepromReadDelay = 0,
     .PageDelay = 0, .BoardDeviceCode = 0, .LockFuseLayoutIndex = 0, .NoSyncFlag = 0,
     .CalibrationCount = 0},
    // 34
    {.Family = At25, .Name = "AT25HP512", .PageSize = 128, .FlashSize = 0, .EepromSize = 65536,
     .Signature = {0x00, 0x00, 0x00}, .AltSignature = {0x00, 0x00, 0x00}, .ProgrammingClass = ClassAt25,
     .FlashWriteDelay = 0, .FlashReadDelay = 0, .EepromWriteDelay = 0, .EepromReadDelay = 0,
     .PageDelay = 0, .BoardDeviceCode = 0, .LockFuseLayoutIndex = 0, .NoSyncFlag = 0,
     .CalibrationCount = 0},
    // 35: AT90CAN128 data sheet: one calibration byte
    {.Family = At90, .Name = "AT90CAN128", .PageSize = 128, .FlashSize = 131072, .EepromSize = 4096,
     .Signature = {0x1E, 0x97, 0x81}, .AltSignature = {0x1E, 0x97, 0x81}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k5ms, .FlashReadDelay = k5ms, .EepromWriteDelay = k9ms, .EepromReadDelay = k9ms,
     .PageDelay = 15, .BoardDeviceCode = 2, .LockFuseLayoutIndex = 29, .NoSyncFlag = 0,
     .CalibrationCount = 1},
    // 36: AT45 rows: PageSize in bytes, FlashSize the whole memory, EepromSize the page-address
    // shift; Signature holds {status bits, status mask, 0}, AltSignature unused.
    {.Family = At45, .Name = "AT45DB041", .PageSize = 264, .FlashSize = 524288, .EepromSize = 0,
     .Signature = {0x00, 0x00, 0x00}, .AltSignature = {0x00, 0x00, 0x00}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k0ms, .FlashReadDelay = k0ms, .EepromWriteDelay = k0ms, .EepromReadDelay = k0ms,
     .PageDelay = 40, .BoardDeviceCode = 0, .LockFuseLayoutIndex = 0, .NoSyncFlag = 0,
     .CalibrationCount = 0, .At45PageShift = 1, .At45StatusBits = 0x1C, .At45StatusMask = 0x3C},
    // 37
    {.Family = At45, .Name = "AT45DB081", .PageSize = 264, .FlashSize = 1048576, .EepromSize = 0,
     .Signature = {0x00, 0x00, 0x00}, .AltSignature = {0x00, 0x00, 0x00}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k0ms, .FlashReadDelay = k0ms, .EepromWriteDelay = k0ms, .EepromReadDelay = k0ms,
     .PageDelay = 40, .BoardDeviceCode = 0, .LockFuseLayoutIndex = 0, .NoSyncFlag = 0,
     .CalibrationCount = 0, .At45PageShift = 1, .At45StatusBits = 0x24, .At45StatusMask = 0x3C},
    // 38
    {.Family = At45, .Name = "AT45DB161", .PageSize = 528, .FlashSize = 2097152, .EepromSize = 0,
     .Signature = {0x00, 0x00, 0x00}, .AltSignature = {0x00, 0x00, 0x00}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k0ms, .FlashReadDelay = k0ms, .EepromWriteDelay = k0ms, .EepromReadDelay = k0ms,
     .PageDelay = 40, .BoardDeviceCode = 0, .LockFuseLayoutIndex = 0, .NoSyncFlag = 0,
     .CalibrationCount = 0, .At45PageShift = 2, .At45StatusBits = 0x2C, .At45StatusMask = 0x3C},
    // 39
    {.Family = At45, .Name = "AT45DB321", .PageSize = 528, .FlashSize = 4194304, .EepromSize = 0,
     .Signature = {0x00, 0x00, 0x00}, .AltSignature = {0x00, 0x00, 0x00}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k0ms, .FlashReadDelay = k0ms, .EepromWriteDelay = k0ms, .EepromReadDelay = k0ms,
     .PageDelay = 40, .BoardDeviceCode = 0, .LockFuseLayoutIndex = 0, .NoSyncFlag = 0,
     .CalibrationCount = 0, .At45PageShift = 2, .At45StatusBits = 0x34, .At45StatusMask = 0x3C},
    // 40
    {.Family = At45, .Name = "AT45DB642", .PageSize = 1056, .FlashSize = 8388608, .EepromSize = 0,
     .Signature = {0x00, 0x00, 0x00}, .AltSignature = {0x00, 0x00, 0x00}, .ProgrammingClass = ClassAvr,
     .FlashWriteDelay = k0ms, .FlashReadDelay = k0ms, .EepromWriteDelay = k0ms, .EepromReadDelay = k0ms,
     .PageDelay = 40, .BoardDeviceCode = 0, .LockFuseLayoutIndex = 0, .NoSyncFlag = 0,
     .CalibrationCount = 0, .At45PageShift = 3, .At45StatusBits = 0x3C, .At45StatusMask = 0x3C},
}};

static_assert(kTable.size() == DeviceCount);
static_assert(kTable[8].Name == DefaultDeviceName);
// The file readers cap images at the largest memory here, the AT45DB642.
static_assert(kTable[40].FlashSize == 8388608);

}  // namespace

std::span<const DeviceRecord, DeviceCount> DeviceTable() { return kTable; }

const DeviceRecord* DeviceAt(int deviceNumber) {
  if (deviceNumber < 0 || deviceNumber >= DeviceCount) return nullptr;
  return &kTable[static_cast<std::size_t>(deviceNumber)];
}

int FindDeviceBySignature(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2) {
  // Only the manufacturer's own signatures are searched; rows holding 00 FF 00 or zeros never match.
  if (b0 != 0x1E) return -1;
  const std::array<std::uint8_t, 3> wanted = {b0, b1, b2};
  for (int i = 0; i < DeviceCount; ++i) {
    const DeviceRecord& row = kTable[static_cast<std::size_t>(i)];
    if (row.Signature == wanted || row.AltSignature == wanted || row.ExtraSignature == wanted) return i;
  }
  return -1;
}

int FindAt45ByStatus(std::uint8_t status) {
  for (int i = 0; i < DeviceCount; ++i) {
    const DeviceRecord& row = kTable[static_cast<std::size_t>(i)];
    if (row.Family == At45 && (status & row.At45StatusMask) == row.At45StatusBits) return i;
  }
  return -1;
}

int FindDeviceByName(std::string_view name) {
  for (int i = 0; i < DeviceCount; ++i) {
    if (kTable[static_cast<std::size_t>(i)].Name == name) return i;
  }
  return 0;
}

std::uint8_t DelayCodeFromMs(int milliseconds) { return CodeFromMs(milliseconds); }

}  // namespace zr7
