// The call layer's fixed texts: activity-log lines and the reason phrases of the responses a
// line sends itself.
#pragma once

#include <string_view>

namespace corvina::call::texts {

inline constexpr std::string_view kInitiatedCall = "Initiated sip call to: ";
inline constexpr std::string_view kTransferring = "Transferring sip call to: ";
inline constexpr std::string_view kInvalidAddress = "Error sip address or phone number is invalid: ";
inline constexpr std::string_view kNoServer = "No server specified in the address or phone number: ";
inline constexpr std::string_view kYouMustEither = "You must either...";
inline constexpr std::string_view kServerExample =
    "Specify the server in the address or phone number, for example 1234@sip.example.com";
inline constexpr std::string_view kSpecifyServer = "Specify a server for this line in settings.";
inline constexpr std::string_view kOtherSideSaid = "Error. Other side said: ";
inline constexpr std::string_view kTimedOut = "Error call attempt timed-out.";
inline constexpr std::string_view kServerNotReplying = "The server is not replying.";
inline constexpr std::string_view kAbandoned = "Call initiate attempt abandoned";
inline constexpr std::string_view kAnswered = "Call answered";
inline constexpr std::string_view kDisconnected = "Call has disconnected";
inline constexpr std::string_view kIncomingCall = "Incoming SIP call";
inline constexpr std::string_view kAnswering = "Answering call...";
inline constexpr std::string_view kNoCodecs = "Incoming connection does not support proper SIP codecs";
inline constexpr std::string_view kJoinIdleLine = "Joining the two lines: the other line has no call";
inline constexpr std::string_view kJoinNoHandOver = "Joining the two lines: the other line did not hand its call over";
inline constexpr std::string_view kJoinFailed = "Joining the two parties failed";
inline constexpr std::string_view kJoinNotALine = "Joining the two lines refused: the other line is not a SIP line";

// Why a call ended, as the display shows it.
inline constexpr std::string_view kEndNoReply = "Server not replying";
inline constexpr std::string_view kEndAuthorization = "Authorization failed";
inline constexpr std::string_view kEndNoCodec = "No common codec";
inline constexpr std::string_view kEndFarHangUp = "Other side hung up";

inline constexpr std::string_view kReasonRinging = "Ringing";
inline constexpr std::string_view kReasonUnsupportedMedia = "Unsupported Media Type";
inline constexpr std::string_view kReasonServerError = "Server Internal Error";
inline constexpr std::string_view kReasonAccepted = "Accepted";
inline constexpr std::string_view kReasonBadRequest = "Bad Request";
inline constexpr std::string_view kReasonMethodNotAllowed = "Method Not Allowed";
inline constexpr std::string_view kReasonServiceUnavailable = "Service Unavailable";

inline constexpr std::string_view kSdpSendOnly = "a=sendonly";
inline constexpr std::string_view kAnswerModeAuto = "Auto";

}  // namespace corvina::call::texts
