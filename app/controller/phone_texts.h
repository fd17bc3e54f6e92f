// The phone controller's fixed texts: log lines, display texts, list and file-name formats.
// Each is written here once; the controller's parts take them from here.
#pragma once

#include <string_view>

namespace corvina::app::texts {

// Do Not Disturb.
inline constexpr std::string_view kDndOn = "DO NOT DISTURB turned on. You will not receive incoming calls.";
inline constexpr std::string_view kDndOff = "DO NOT DISTURB turned off.";
inline constexpr std::string_view kRecordingStarted = "Recording Started";
inline constexpr std::string_view kRecordingStopped = "Recording Stopped";
inline constexpr std::string_view kCallPutOnHold = "Call put on hold";

// Incoming and outgoing call policy.
inline constexpr std::string_view kIntercomRefused = "Rejecting intercom call because not on the allow list";
inline constexpr std::string_view kEmergencyMapped = "Emergency Number Mapped Dial!";

// The progress tones by name, and the title of the missed-call tray message.
inline constexpr std::string_view kBusyTone = "Busy";
inline constexpr std::string_view kCallingTone = "Calling";
inline constexpr std::string_view kRingingTone = "Ringing";
inline constexpr std::string_view kDialTone = "Dialtone";
inline constexpr std::string_view kMissedCallsTitle = "Missed calls";

// Applying changed settings.
inline constexpr std::string_view kRestartingForSettings = "Restarting so settings take effect.";

// Missed calls: the summary line, then one entry per call.
inline constexpr const char* kMissedSummary = "You have %lld missed call(s).\r\n";
inline constexpr const char* kMissedEntry = "%s <%s> at %s\r\n";
inline constexpr const char* kTimeOfDay = "%.2d:%.2d:%.2d";

// Recent calls and the dial box's list.
inline constexpr const char* kReceivedCallEntry = " %s <%s>";
inline constexpr const char* kAddressBookItem = "%s <%s>";
inline constexpr std::string_view kDialListSeparator = "_____________________";

// The status display.
inline constexpr std::string_view kIdleTitle = "Corvina";
inline constexpr std::string_view kConferenceTitle = "Conference";
inline constexpr std::string_view kTransferTitle = "Transfer";
inline constexpr std::string_view kCallAnsweredTitle = "Call Answered";
inline constexpr const char* kCallingTitle = "Calling %s";
inline constexpr const char* kRingingTitle = "Ringing %s";
inline constexpr const char* kDisplayDate = "%.4d-%.2d-%.2d";
inline constexpr const char* kDisplayClock = "%.2d:%.2d:%.2d";
inline constexpr const char* kDisplayLine = "Line %d";
inline constexpr const char* kDisplayConference = "Conference %d";
inline constexpr const char* kDisplayElapsed = "%ld:%.2ld:%.2d";
inline constexpr const char* kDisplayNote = "[%s]";
// The lower rows: a line's registration when idle ("Line 1: 200@host registered"), the other
// party and the touch tones typed during a call.
inline constexpr const char* kDisplayRegistration = "Line %d:";
inline constexpr const char* kLineTipServer = " (server %s)";
inline constexpr const char* kDisplayParty = "%s <%s>";
inline constexpr const char* kDisplayDigits = "Digits: %s";
inline constexpr std::string_view kRegistering = "registering";
inline constexpr std::string_view kRegistered = "registered";
inline constexpr std::string_view kNoPassword = "refused: no password";
inline constexpr std::string_view kPasswordRefused = "refused: wrong password";
inline constexpr std::string_view kServerNotAnswering = "server not answering";
inline constexpr const char* kRejected = "rejected: %d %s";
inline constexpr std::string_view kPeerToPeer = "peer to peer (no server)";
// How long the display keeps the reason a call ended.
inline constexpr unsigned kEndReasonMs = 5000;

// The phone log: one file per month, one row per finished call.
inline constexpr const char* kPhoneLogFileName = "%.4d-%.2d Phone Log.csv";
inline constexpr const char* kPhoneLogRow =
    "%.4d-%.2d-%.2d, %.2d:%.2d:%.2d, %.2lld:%.2lld, %.2lld:%.2lld, %.2lld:%.2lld, \"%s\",\"%s\"\r\n";

}  // namespace corvina::app::texts
