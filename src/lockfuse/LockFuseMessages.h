#pragma once
// Catalog ids of the lock and fuse texts (our own, from 2080, are in MessageCatalog.h).

namespace zr7::msg {
inline constexpr int LockModeAvrNone = 1006;  // 1006..1009: modes 0..3 of class 0
inline constexpr int LockModeOtherNone = 1010;  // 1010..1013: modes 0..3 of the other classes
inline constexpr int UnusedBit = 1014;
inline constexpr int SignatureMismatchContinue = 1049;
inline constexpr int NoLockFuseRead = 1059;
inline constexpr int ConnectionErrorReadingSignature = 1105;
inline constexpr int OperationCancelled = 1106;
inline constexpr int VerifyingSignature = 1107;
inline constexpr int ErrorProgrammingLockFuse = 1108;
inline constexpr int LockFuseProgrammed = 1109;
inline constexpr int UnrecognizedLockBits = 1158;
inline constexpr int LockFuseVerifyOk = 1159;
inline constexpr int LockFuseVerifyFailed = 1160;
inline constexpr int LockModeShouldBe = 1161;
inline constexpr int BitShouldBeProgrammed = 1162;
inline constexpr int BitShouldBeUnprogrammed = 1163;
inline constexpr int ExternalClockOnly = 1165;
inline constexpr int SelectProperChipFirst = 1166;
}  // namespace zr7::msg
