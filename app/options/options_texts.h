// The fixed texts of the option pages: message boxes, captions and progress titles.
#pragma once

#include <string_view>

namespace corvina::app::options_texts {

// Lines chooser and the advanced button.
inline constexpr std::string_view kDefaultLineEntry = "Default Line Settings";
inline constexpr std::string_view kLineEntry = "Line %d";
inline constexpr std::string_view kAdvanced = "Advanced Line Settings";
inline constexpr std::string_view kAdvancedModified = "Advanced Line Settings [Modified]";

inline constexpr std::string_view kInvalidOutboundTitle = "Invalid Outbound Server";
inline constexpr std::string_view kInvalidOutbound = "Please enter the outbound server address that you want to use.";
inline constexpr std::string_view kInvalidAuthTitle = "Invalid Default Authentication ID";
inline constexpr std::string_view kInvalidAuth = "Please enter the default authentication id that you want to use.";

inline constexpr std::string_view kInvalidLocalPortTitle = "Invalid Local Port Number";
inline constexpr std::string_view kInvalidLocalPort =
    "Please enter a valid local SIP port number.\r\nThe default value is 5070";
inline constexpr std::string_view kInvalidLocalRtpTitle = "Invalid Local RTP Port Number";
inline constexpr std::string_view kInvalidLocalRtp =
    "Please enter a valid start local RTP port number.\r\nThe default value is 8000";
inline constexpr std::string_view kOddRtp = "Rtp ports must be even.";

inline constexpr std::string_view kInvalidStunTitle = "Invalid STUN Server";
inline constexpr std::string_view kInvalidStun = "Please enter a valid STUN server address.\r\nThe default value is ";
inline constexpr std::string_view kInvalidExternalPortTitle = "Invalid External Port Number";
inline constexpr std::string_view kInvalidExternalPort =
    "Please enter a valid external SIP port number.\r\nThe default value is 5070";
inline constexpr std::string_view kInvalidExternalRtpTitle = "Invalid External RTP Port Number";
inline constexpr std::string_view kInvalidExternalRtp =
    "Please enter a valid start external RTP port number.\r\nThe default value is 8000";
inline constexpr std::string_view kInvalidPublicIpTitle = "Invalid Public IP Address";
inline constexpr std::string_view kInvalidPublicIp = "Please enter the public IP address as four numbers, such as 203.0.113.5.";

inline constexpr std::string_view kInvalidServerTitle = "Invalid Server";
inline constexpr std::string_view kInvalidOrrinServer =
    "Please enter a valid Orrin Recording Server.\r\nThe default is: localhost:4080";
inline constexpr std::string_view kInvalidAccessCodeTitle = "Invalid Access Code";
inline constexpr std::string_view kInvalidAccessCode =
    "Please enter the access code for the Orrin VoIP Line. This code is used to indentify the line to the Orrin "
    "server.";
inline constexpr std::string_view kTestingOrrin = "Testing Orrin Server";
inline constexpr std::string_view kConnectionFailedTitle = "Connection Failed";
inline constexpr std::string_view kOrrinFailed =
    "Unable to connect to the Orrin Recorder Server.\r\nCheck the server name and port, that the server is "
    "running and that the access code is right.";
inline constexpr std::string_view kInvalidFolderTitle = "Invalid Folder";
inline constexpr std::string_view kInvalidFolder =
    "Please enter a valid folder that you want to store the call recordings.";
inline constexpr std::string_view kFolderNotWritable = "This folder cannot be written to.";
inline constexpr std::string_view kLocateFolder = "Locate folder:";

inline constexpr std::string_view kInvalidLumoTitle = "Invalid Lumo Server";
inline constexpr std::string_view kInvalidLumo =
    "Please enter a valid Lumo server name and port.\r\nThe default value is localhost:606";
inline constexpr std::string_view kTestingLumo = "Testing Lumo Server";
inline constexpr std::string_view kLumoFailed =
    "Unable to connect to the Lumo On-Hold Player Server.\r\nCheck the server name and port and that the server "
    "is running.";

inline constexpr std::string_view kInvalidMailHostTitle = "Invalid Mail Server";
inline constexpr std::string_view kInvalidMailHost =
    "Please enter the mail server as a name or address, optionally followed by a colon and a port from 1 to "
    "65535, such as mail.example.com:587.";
inline constexpr std::string_view kInvalidMailUserTitle = "Invalid User Name";
inline constexpr std::string_view kInvalidMailUser =
    "Please enter the user name for the mail server, or switch authentication off.";
inline constexpr std::string_view kInvalidReplyToTitle = "Invalid Email Address";
inline constexpr std::string_view kInvalidReplyTo = "Please enter a valid reply-to email address, or leave it empty.";
// Shown in the Email Settings window while authentication is on.
inline constexpr std::string_view kClearAuthNote =
    "Note: the user name and password are sent unencrypted when the mail server does not offer STARTTLS.";

// The refusals of the text checks (%s: the control's label).
inline constexpr std::string_view kInvalidTextTitle = "Invalid Entry";
inline constexpr const char* kControlCharacters = "The %s must not contain control characters (such as line breaks).";
inline constexpr const char* kTooLong = "The %s is too long: at most 259 characters are kept.";

}  // namespace corvina::app::options_texts
