// Parse throughput on a realistic mix of datagrams (INVITE with SDP, 200 OK with SDP,
// REGISTER with digest credentials, 100 Trying, BYE), ours beside sofia-sip's and libre's
// decoders on the same bytes, one core. Each program parses a datagram and then reads what a
// phone reads of every message: the top Via's branch, the From and To tags, the CSeq number and
// method, the Call-ID, the Contact URI and the Content-Length. sofia-sip types every header it
// knows while parsing; ours and libre's split lazily and pay for the reads, so the work is the
// same. `ratio: parse_vs_sofia` is our rate over sofia-sip's.
#include <benchmark/benchmark.h>

#include <re.h>
#include <sofia-sip/msg.h>
#include <sofia-sip/sip.h>
#include <sofia-sip/sip_header.h>
#include <sofia-sip/su_alloc.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"
#include "sip/name_addr.h"
#include "sip/param_list.h"
#include "sip/sip_parser.h"
#include "sip/text_scan.h"

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

// What a phone takes from every message; the sum of the lengths read keeps the reads alive.
struct PhoneView {
  std::size_t Sum() const { return branch + fromTag + toTag + method + callId + contactUri + cseq + length; }
  std::size_t branch = 0, fromTag = 0, toTag = 0, method = 0, callId = 0, contactUri = 0;
  std::uint32_t cseq = 0;
  std::size_t length = 0;
};

namespace sip = corvina::sip;

// The top Via's parameters start after its first ';'.
std::size_t OurBranch(std::string_view via) {
  std::size_t semi = via.find(';');
  if (semi == std::string_view::npos) return 0;
  sip::ParamList params;
  sip::ParsePairs(via.substr(semi + 1), ';', params);
  return params.Find("branch").size();
}

PhoneView ReadOurs(const sip::SipMessage& m) {
  PhoneView v;
  v.branch = OurBranch(m.FindHeader(sip::kVia));
  v.fromTag = sip::ParseNameAddr(m.FindHeader(sip::kFrom)).params.Find("tag").size();
  v.toTag = sip::ParseNameAddr(m.FindHeader(sip::kTo)).params.Find("tag").size();
  std::string_view cseq = sip::TrimWhite(m.FindHeader(sip::kCSeq));
  v.cseq = static_cast<std::uint32_t>(corvina::platform::ParseLeadingLong(cseq));
  std::size_t space = cseq.find_first_of(" \t");
  if (space != std::string_view::npos) v.method = sip::TrimWhite(cseq.substr(space)).size();
  v.callId = m.FindHeader(sip::kCallId).size();
  std::string_view contact = m.FindHeader(sip::kContact);
  if (!contact.empty()) v.contactUri = sip::ParseNameAddr(contact).uri.size();
  v.length = static_cast<std::size_t>(corvina::platform::ParseLeadingLong(m.FindHeader(sip::kContentLength)));
  return v;
}

void ParseMix_Ours(benchmark::State& state) {
  const std::vector<std::string> mix = Mix();
  std::size_t failures = 0;
  for (auto _ : state) {
    for (const std::string& datagram : mix) {
      sip::SipMessage message;
      if (!sip::ParseMessage(datagram, message)) ++failures;
      benchmark::DoNotOptimize(ReadOurs(message).Sum());
    }
  }
  if (failures != 0) state.SkipWithError("a datagram of the mix did not parse");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * mix.size()));
  state.SetLabel("messages/s");
}

std::size_t Length(const char* s) { return s == nullptr ? 0 : std::char_traits<char>::length(s); }

void ParseMix_Sofia(benchmark::State& state) {
  const std::vector<std::string> mix = Mix();
  msg_mclass_t const* mclass = sip_default_mclass();
  std::size_t failures = 0;
  for (auto _ : state) {
    for (const std::string& datagram : mix) {
      msg_t* msg = msg_make(mclass, 0, datagram.data(), static_cast<isize_t>(datagram.size()));
      sip_t const* sip = sip_object(msg);
      if (sip == nullptr || sip->sip_error != nullptr) {
        ++failures;
        msg_destroy(msg);
        continue;
      }
      // Typed while parsing: reading is following pointers.
      PhoneView v;
      if (sip->sip_via) v.branch = Length(sip->sip_via->v_branch);
      if (sip->sip_from) v.fromTag = Length(sip->sip_from->a_tag);
      if (sip->sip_to) v.toTag = Length(sip->sip_to->a_tag);
      if (sip->sip_cseq) {
        v.cseq = sip->sip_cseq->cs_seq;
        v.method = Length(sip->sip_cseq->cs_method_name);
      }
      if (sip->sip_call_id) v.callId = Length(sip->sip_call_id->i_id);
      if (sip->sip_contact) {
        const url_t* url = sip->sip_contact->m_url;
        v.contactUri = Length(url->url_user) + Length(url->url_host);
      }
      if (sip->sip_content_length) v.length = sip->sip_content_length->l_length;
      benchmark::DoNotOptimize(v.Sum());
      msg_destroy(msg);
    }
  }
  if (failures != 0) state.SkipWithError("sofia-sip did not parse a datagram of the mix");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * mix.size()));
  state.SetLabel("messages/s");
}

void ParseMix_Libre(benchmark::State& state) {
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
      if (sip_msg_decode(&msg, mb) != 0) {
        ++failures;
        continue;
      }
      // Via, From, To and CSeq are decoded by sip_msg_decode; the Contact is decoded on demand.
      PhoneView v;
      v.branch = msg->via.branch.l;
      v.fromTag = msg->from.tag.l;
      v.toTag = msg->to.tag.l;
      v.cseq = msg->cseq.num;
      v.method = msg->cseq.met.l;
      v.callId = msg->callid.l;
      if (const sip_hdr* contact = sip_msg_hdr(msg, SIP_HDR_CONTACT)) {
        sip_addr addr;
        if (sip_addr_decode(&addr, &contact->val) == 0) v.contactUri = addr.auri.l;
      }
      v.length = pl_u32(&msg->clen);
      benchmark::DoNotOptimize(v.Sum());
      mem_deref(msg);
    }
  }
  for (mbuf* mb : buffers) mem_deref(mb);
  if (failures != 0) state.SkipWithError("libre did not decode a datagram of the mix");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * mix.size()));
  state.SetLabel("messages/s");
}

}  // namespace

// Nine short repetitions each, interleaved at random; the figures are their medians.
BENCHMARK(ParseMix_Ours)->Name("parse/ours")->Repetitions(9)->MinTime(0.2);
BENCHMARK(ParseMix_Sofia)->Name("parse/sofia")->Repetitions(9)->MinTime(0.2);
BENCHMARK(ParseMix_Libre)->Name("parse/libre")->Repetitions(9)->MinTime(0.2);
