#pragma once

namespace zorvik {

// The front's fixed records on the "daemon" log, the same on every platform.
inline constexpr const char* kStartingMessage = "zorvik-helper запускается";
inline constexpr const char* kOwnTeamIDUnreadable = "не удалось прочитать собственный Team ID";
inline constexpr const char* kConnectionClosed = "XPC-соединение закрыто";
inline constexpr const char* kUntrustedRejected = "отклонено недоверенное подключение";
inline constexpr const char* kNoClientSecCode = "не удалось получить SecCode клиента";
/// Followed by the signed status.
inline constexpr const char* kSignatureCheckFailed = "клиент не прошёл проверку подписи: ";
/// Followed by the signal's number; the tunnel is then taken down and the process exits.
inline constexpr const char* kStopSignalReceived = "zorvik-helper завершается по сигналу ";
/// The status a peer that fails the requirement gets (errSecCSReqFailed).
inline constexpr int kRequirementFailedStatus = -67050;

}  // namespace zorvik
