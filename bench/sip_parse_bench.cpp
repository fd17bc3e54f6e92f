// Parse throughput on a realistic mix of datagrams (INVITE with SDP, 200 OK with SDP,
// REGISTER with digest credentials, 100 Trying, BYE), ours beside libre's SIP decoder on the
// same bytes, one core.
#include <benchmark/benchmark.h>

#include <re.h>

#include <string>
#include <vector>

#include "sip/sip_parser.h"

namespace {

const std::string kSdp =
    "v=0\r\n"
    "o=Corvina 3344 3344 IN IP4 192.168.1.20\r\n"
    "s=Corvina\r\n"
    "c=IN IP4 192.168.1.20\r\n"
    "t=0 0\r\n"
    "m=audio 8000 RTP/AVP 0 8 2 3 101\r\n"
    "a=rtpmap:0 PCMU/8000\r\n"
    "a=rtpmap:8 PCMA/8000\r\n"
    "a=rtpmap:2 G726-32/8000\r\n"
    "a=rtpmap:3 GSM/8000\r\n"
    "a=rtpmap:101 telephone-event/8000\r\n"
    "a=fmtp:101 0-15\r\n"
    "a=sendrecv\r\n";

std::vector<std::string> Mix() {
  const std::string length = std::to_string(kSdp.size());
  return {
      "INVITE sip:200@pbx.example.com SIP/2.0\r\n"
      "Via: SIP/2.0/UDP 203.0.113.7:5070;rport;branch=z9hG4bK171234\r\n"
      "To: <sip:200@pbx.example.com>\r\n"
      "From: \"Desk 100\" <sip:100@pbx.example.com>;tag=4711\r\n"
      "Call-ID: 1733400000-1234-Windows%20Mobile%20Device@203.0.113.7\r\n"
      "CSeq: 512 INVITE\r\n"
      "Max-Forwards: 20\r\n"
      "User-Agent: Tessaly Corvina 4.01\r\n"
      "Contact: <sip:100@203.0.113.7:5070>\r\n"
      "Allow: INVITE, ACK, CANCEL, OPTIONS, BYE, INFO, REFER, NOTIFY\r\n"
      "Supported: replaces\r\n"
      "Content-Type: application/sdp\r\n"
      "Content-Length: " + length + "\r\n\r\n" + kSdp,

      "SIP/2.0 200 OK\r\n"
      "Via: SIP/2.0/UDP 203.0.113.7:5070;rport=5070;received=203.0.113.7;branch=z9hG4bK171234\r\n"
      "Record-Route: <sip:198.51.100.1;lr;ftag=4711;did=4e1.a1c3>\r\n"
      "To: <sip:200@pbx.example.com>;tag=as6f0b1c2d\r\n"
      "From: \"Desk 100\" <sip:100@pbx.example.com>;tag=4711\r\n"
      "Call-ID: 1733400000-1234-Windows%20Mobile%20Device@203.0.113.7\r\n"
      "CSeq: 512 INVITE\r\n"
      "Server: Asterisk PBX 18.10.0\r\n"
      "Allow: INVITE, ACK, CANCEL, OPTIONS, BYE, REFER, SUBSCRIBE, NOTIFY, INFO, PUBLISH, MESSAGE\r\n"
      "Supported: replaces, timer\r\n"
      "Contact: <sip:200@198.51.100.9:5060>\r\n"
      "Content-Type: application/sdp\r\n"
      "Content-Length: " + length + "\r\n\r\n" + kSdp,

      "REGISTER sip:pbx.example.com SIP/2.0\r\n"
      "Via: SIP/2.0/UDP 203.0.113.7:5070;rport;branch=z9hG4bK181234\r\n"
      "Max-Forwards: 20\r\n"
      "To: <sip:100@pbx.example.com>\r\n"
      "From: <sip:100@pbx.example.com>;tag=4712\r\n"
      "Call-ID: 1733400001-1234-Windows%20Mobile%20Device@203.0.113.7\r\n"
      "CSeq: 3 REGISTER\r\n"
      "Contact: <sip:100@203.0.113.7:5070>;expires=3600;q=0.90\r\n"
      "Authorization: Digest username=\"100\",realm=\"asterisk\",nonce=\"5f3e1a2b\","
      "uri=\"sip:pbx.example.com\",response=\"4f4fb2e2b4a0e1b5c6d7e8f9a0b1c2d3\",opaque=\"\",algorithm=MD5\r\n"
      "User-Agent: Tessaly Corvina 4.01\r\n"
      "Content-Length: 0\r\n\r\n",

      "SIP/2.0 100 Trying\r\n"
      "Via: SIP/2.0/UDP 203.0.113.7:5070;rport=5070;received=203.0.113.7;branch=z9hG4bK171234\r\n"
      "To: <sip:200@pbx.example.com>\r\n"
      "From: \"Desk 100\" <sip:100@pbx.example.com>;tag=4711\r\n"
      "Call-ID: 1733400000-1234-Windows%20Mobile%20Device@203.0.113.7\r\n"
      "CSeq: 512 INVITE\r\n"
      "Server: Asterisk PBX 18.10.0\r\n"
      "Content-Length: 0\r\n\r\n",

      "BYE sip:100@203.0.113.7:5070 SIP/2.0\r\n"
      "Via: SIP/2.0/UDP 198.51.100.1;branch=z9hG4bK4e1.b2\r\n"
      "Via: SIP/2.0/UDP 198.51.100.9:5060;rport;branch=z9hG4bK7a1e3b\r\n"
      "Max-Forwards: 69\r\n"
      "From: <sip:200@pbx.example.com>;tag=as6f0b1c2d\r\n"
      "To: \"Desk 100\" <sip:100@pbx.example.com>;tag=4711\r\n"
      "Call-ID: 1733400000-1234-Windows%20Mobile%20Device@203.0.113.7\r\n"
      "CSeq: 102 BYE\r\n"
      "User-Agent: Asterisk PBX 18.10.0\r\n"
      "Content-Length: 0\r\n\r\n",
  };
}

void ParseMix_Ours(benchmark::State& state) {
  const std::vector<std::string> mix = Mix();
  std::size_t failures = 0;
  for (auto _ : state) {
    for (const std::string& datagram : mix) {
      corvina::sip::SipMessage message;
      if (!corvina::sip::ParseMessage(datagram, message)) ++failures;
      benchmark::DoNotOptimize(message);
    }
  }
  if (failures != 0) state.SkipWithError("a datagram of the mix did not parse");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * mix.size()));
  state.SetLabel("messages/s");
}

void ParseMix_Reference(benchmark::State& state) {
  const std::vector<std::string> mix = Mix();
  std::vector<mbuf*> buffers;
  for (const std::string& datagram : mix) {
    mbuf* mb = mbuf_alloc(datagram.size());
    mbuf_write_mem(mb, reinterpret_cast<const uint8_t*>(datagram.data()), datagram.size());
    buffers.push_back(mb);
  }
  std::size_t failures = 0;
  for (auto _ : state) {
    for (mbuf* mb : buffers) {
      mb->pos = 0;
      sip_msg* msg = nullptr;
      if (sip_msg_decode(&msg, mb) != 0) ++failures;
      benchmark::DoNotOptimize(msg);
      mem_deref(msg);
    }
  }
  for (mbuf* mb : buffers) mem_deref(mb);
  if (failures != 0) state.SkipWithError("libre did not decode a datagram of the mix");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * mix.size()));
  state.SetLabel("messages/s");
}

}  // namespace

BENCHMARK(ParseMix_Ours)->Name("sip_parse/ours");
BENCHMARK(ParseMix_Reference)->Name("sip_parse/reference");
