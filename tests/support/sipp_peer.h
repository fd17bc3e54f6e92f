// SIPp on loopback as a test peer: one scenario in a folder of its own, one call, bounded by
// its own time-out, with every message it saw written to msg.txt in that folder.
#pragma once

#include <sys/wait.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/phone_under_test.h"

namespace corvina::testing {

inline constexpr const char* kSippHead = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n<scenario name=\"call\">\n";

// The body of a PCMU offer or answer, SIPp filling in its addresses.
inline constexpr const char* kSippPcmuSdp = R"(v=0
o=user1 53655765 2353687637 IN IP[local_ip_type] [local_ip]
s=-
c=IN IP[media_ip_type] [media_ip]
t=0 0
m=audio [media_port] RTP/AVP 0
a=rtpmap:0 PCMU/8000
)";

// A response of SIPp as the called party to the request it received last: `status` is the code
// and reason, `toTag` adds SIPp's tag to the To, `extra` holds complete header lines, `attrs`
// attributes of the send step.
inline std::string UasReply(const std::string& status, bool toTag, const std::string& cseq = "[last_CSeq:]",
                            const std::string& extra = "", const std::string& attrs = "") {
  return "<send" + attrs + "><![CDATA[\n\nSIP/2.0 " + status + "\n[last_Via:]\n[last_From:]\n[last_To:]" +
         (toTag ? ";tag=[pid]SIPpTag01[call_number]" : "") + "\n[last_Call-ID:]\n" + cseq + "\n" + extra +
         "Content-Length: 0\n\n]]></send>\n";
}

// SIPp's 200 with a PCMU body to the request it received last, resent every 500 ms until the
// ACK; `toTag` adds SIPp's tag to the To.
inline std::string UasSdpReply(bool toTag) {
  return std::string(R"(<send retrans="500"><![CDATA[

SIP/2.0 200 OK
[last_Via:]
[last_From:]
[last_To:])") + (toTag ? ";tag=[pid]SIPpTag01[call_number]" : "") + R"(
[last_Call-ID:]
[last_CSeq:]
Contact: <sip:200@[local_ip]:[local_port]>
Content-Type: application/sdp
Content-Length: [len]

)" + kSippPcmuSdp + "]]></send>\n";
}

// SIPp as the called party answers the INVITE (after a 180 when `ring`) with a PCMU answer and
// takes the ACK.
inline std::string UasAnswers(bool ring) {
  return std::string("<recv request=\"INVITE\"/>\n") + (ring ? UasReply("180 Ringing", true) : std::string()) +
         UasSdpReply(true) + "<recv request=\"ACK\"/>\n";
}

// SIPp takes the BYE of a call and answers it.
inline const std::string kSippTakesBye = "<recv request=\"BYE\"/>\n" + UasReply("200 OK", false);

// SIPp as the called party: answers the call, then takes the ACK and the BYE.
inline std::string AnsweringUas(bool ring) { return UasAnswers(ring) + kSippTakesBye + "</scenario>\n"; }

// SIPp on 127.0.0.1:`port` running `xml` in `dir`; it calls 127.0.0.1:`remotePort` unless that is 0.
// As the called party it is listening on `port` when this returns (or 5 s have passed).
inline std::unique_ptr<ChildProcess> StartSippPeer(const std::string& dir, const std::string& xml, std::uint16_t port,
                                                   std::uint16_t remotePort, const std::string& extra = {}) {
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/scenario.xml") << xml;
  std::string command = "cd " + dir + " && exec sipp -sf scenario.xml -i 127.0.0.1 -p " + std::to_string(port) +
                        " -m 1 -nostdin -timeout 40s -timeout_error -mp " + std::to_string(FreeUdpPort() & ~1) +
                        " -trace_msg -message_file msg.txt" + extra;
  if (remotePort != 0) command += " 127.0.0.1:" + std::to_string(remotePort);
  command += " >out.txt 2>&1";
  auto sipp = std::make_unique<ChildProcess>(std::vector<std::string>{"/bin/sh", "-c", command},
                                             std::vector<std::string>{"HOME=" + dir, "TERM=dumb", "TZ=UTC"});
  if (remotePort == 0) WaitForUdpBind(port, 5000);
  return sipp;
}

// SIPp's exit code, -1 when it has not ended within `timeoutMs`, -2 when a signal ended it.
inline int ExitOf(ChildProcess& p, int timeoutMs) {
  const int status = p.Wait(timeoutMs);
  if (status < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

// One message of SIPp's msg.txt: whether SIPp sent or received it, when (SIPp's clock) and its text.
struct SippMessage {
  bool sent = false;
  std::chrono::microseconds at{0};
  std::string firstLine;
  std::string text;

  bool Is(bool wasSent, const std::string& firstLinePrefix) const {
    return sent == wasSent && firstLine.starts_with(firstLinePrefix);
  }
  // The value of the first header `name` (e.g. "Via"), empty when there is none.
  std::string Header(const std::string& name) const {
    const std::size_t at = text.find("\n" + name + ":");
    if (at == std::string::npos) return {};
    std::size_t begin = at + name.size() + 2;
    while (begin < text.size() && text[begin] == ' ') ++begin;
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    if (end > begin && text[end - 1] == '\r') --end;
    return text.substr(begin, end - begin);
  }
  // The body, without trailing line ends; empty when there is none.
  std::string Body() const {
    const std::size_t at = text.find("\n\n");
    if (at == std::string::npos) return {};
    std::string body = text.substr(at + 2);
    body.erase(body.find_last_not_of('\n') + 1);
    return body;
  }
};

// The tag parameter of a From or To value, empty when there is none.
inline std::string TagOf(const std::string& party) {
  const std::size_t at = party.find(";tag=");
  if (at == std::string::npos) return {};
  const std::size_t end = party.find_first_of(";> ", at + 5);
  return party.substr(at + 5, end == std::string::npos ? std::string::npos : end - at - 5);
}

// The messages of a msg.txt in order. SIPp starts each with a line of dashes and
// "YYYY-MM-DD HH:MM:SS.micro", then "UDP message sent (N bytes):" or "UDP message received [N]
// bytes :", an empty line and the message.
inline std::vector<SippMessage> ReadSippTrace(const std::string& path) {
  std::vector<SippMessage> out;
  std::istringstream in(ReadFile(path));
  std::string line;
  SippMessage* current = nullptr;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    int year, month, day, hour, minute, second, micro;
    if (line.starts_with("-----") && std::sscanf(line.c_str() + line.find_first_not_of('-'), " %d-%d-%d %d:%d:%d.%d",
                                                 &year, &month, &day, &hour, &minute, &second, &micro) == 7) {
      const std::chrono::sys_days date{std::chrono::year(year) / month / day};
      out.push_back({});
      current = &out.back();
      current->at = std::chrono::duration_cast<std::chrono::microseconds>(date.time_since_epoch()) +
                    std::chrono::hours(hour) + std::chrono::minutes(minute) + std::chrono::seconds(second) +
                    std::chrono::microseconds(micro);
      if (std::getline(in, line)) current->sent = line.find(" sent ") != std::string::npos;
      continue;
    }
    if (current == nullptr) continue;
    if (current->firstLine.empty()) {
      current->firstLine = line;
      if (line.empty()) continue;
    }
    current->text += line + "\n";
  }
  return out;
}

// The messages of `trace` SIPp sent (or received, `sent` false) whose first line starts with `prefix`.
inline std::vector<SippMessage> SippMessagesLike(const std::vector<SippMessage>& trace, bool sent,
                                                 const std::string& prefix) {
  std::vector<SippMessage> out;
  for (const SippMessage& m : trace) {
    if (m.Is(sent, prefix)) out.push_back(m);
  }
  return out;
}

// Now on the clock of SIPp's trace (SIPp writes local time and runs with TZ=UTC).
inline std::chrono::microseconds SippClockNow() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch());
}

// The time in milliseconds from `from` to `to` on SIPp's clock.
inline double MsBetween(const SippMessage& from, const SippMessage& to) {
  return static_cast<double>((to.at - from.at).count()) / 1000.0;
}

// The gaps in milliseconds between consecutive messages of `messages`.
inline std::vector<double> GapsMs(const std::vector<SippMessage>& messages) {
  std::vector<double> gaps;
  for (std::size_t i = 1; i < messages.size(); ++i) gaps.push_back(MsBetween(messages[i - 1], messages[i]));
  return gaps;
}

}  // namespace corvina::testing
