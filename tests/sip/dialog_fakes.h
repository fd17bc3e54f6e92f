// Stand-ins for the services of a SharedDialog: a sent-message cache that answers the
// messages a test marks as repeats, and a waiter that advances the fake endpoint's clock
// instead of sleeping, delivering scripted messages when their time comes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_endpoint.h"
#include "sip/dialog_services.h"
#include "sip/shared_dialog.h"
#include "sip/sip_parser.h"

namespace corvina::sip::testing {

inline std::unique_ptr<SipMessage> ParseOwned(const std::string& text,
                                              SocketAddress source = {0xC6336409, 5062}) {  // 198.51.100.9
  auto m = std::make_unique<SipMessage>();
  EXPECT_TRUE(ParseMessage(text, *m)) << text;
  m->source = source;
  return m;
}

class FakeSentMessages final : public RetransmissionAnswerer {
 public:
  std::function<bool(const SipMessage&)> isRepeat;
  int asked = 0;
  bool AnswerIfRetransmission(const SipMessage& message) override {
    ++asked;
    return isRepeat && isRepeat(message);
  }
};

// A message that reaches `dialog` at tick `at`.
struct Arrival {
  std::uint32_t at;
  SharedDialog* dialog;
  std::string text;
};

class FakeClockWaiter final : public EventWaiter {
 public:
  explicit FakeClockWaiter(FakeEndpoint& endpoint) : endpoint_(endpoint) {}

  void Script(std::uint32_t at, SharedDialog& dialog, std::string text) {
    arrivals_.push_back({at, &dialog, std::move(text)});
    std::stable_sort(arrivals_.begin(), arrivals_.end(), [](const Arrival& a, const Arrival& b) {
      return static_cast<std::int32_t>(a.at - b.at) < 0;
    });
  }
  // The next scripted arrival at or before `until`, delivered with the clock moved to it.
  bool DeliverNextUntil(std::uint32_t until) {
    if (arrivals_.empty() || static_cast<std::int32_t>(arrivals_.front().at - until) > 0) return false;
    Arrival a = std::move(arrivals_.front());
    arrivals_.erase(arrivals_.begin());
    if (static_cast<std::int32_t>(a.at - endpoint_.now) > 0) endpoint_.now = a.at;
    a.dialog->Put(ParseOwned(a.text));
    return true;
  }
  bool WaitFor(platform::Event& event, int timeoutMs) override {
    if (event.IsSet()) return true;
    if (DeliverNextUntil(endpoint_.now + static_cast<std::uint32_t>(timeoutMs))) return event.IsSet();
    endpoint_.now += static_cast<std::uint32_t>(timeoutMs);
    return false;
  }

 private:
  FakeEndpoint& endpoint_;
  std::vector<Arrival> arrivals_;
};

// Everything a dialog test needs, wired together.
struct DialogBench {
  FakeEndpoint endpoint;
  FakeSentMessages sentMessages;
  FakeClockWaiter waiter{endpoint};
  DialogServices services{endpoint, sentMessages, waiter};

  // An established outgoing dialog to 198.51.100.9:5062 whose far end has the tag "far".
  DialogRef NewDialog(bool established = true, std::string_view to = "<sip:200@198.51.100.9:5062>;tag=far") {
    Dialog d = NewOutgoingDialog(endpoint, {.from = "<sip:100@pbx.example>", .to = to});
    d.established = established;
    d.password = "secret";
    d.authorizationUser = "100";
    return SharedDialog::Create(services, std::move(d));
  }
};

// A request of the far end inside `dialog`.
inline std::string FarRequest(const SharedDialog& dialog, std::string_view method, int cseq = 9,
                              std::string_view via = "SIP/2.0/UDP 198.51.100.9:5062;branch=z9hG4bKfar1") {
  return std::string(method) + " sip:100@192.168.1.20:5070 SIP/2.0\r\nVia: " + std::string(via) +
         "\r\nFrom: <sip:200@198.51.100.9>;tag=far\r\nTo: <sip:100@pbx.example>;tag=" + dialog.LocalTag() +
         "\r\nCall-ID: " + dialog.CallId() + "\r\nCSeq: " + std::to_string(cseq) + " " + std::string(method) +
         "\r\nContent-Length: 0\r\n\r\n";
}

// A response of the far end to our request `cseq method` inside `dialog`.
inline std::string FarResponse(const SharedDialog& dialog, int status, std::uint32_t cseq, std::string_view method,
                               std::string_view extra = {}) {
  return "SIP/2.0 " + std::to_string(status) + " Whatever\r\nVia: SIP/2.0/UDP 203.0.113.7:5090;branch=x\r\n"
         "From: <sip:100@pbx.example>;tag=" + dialog.LocalTag() +
         "\r\nTo: <sip:200@198.51.100.9:5062>;tag=far\r\nCall-ID: " + dialog.CallId() + "\r\nCSeq: " +
         std::to_string(cseq) + " " + std::string(method) + "\r\n" + std::string(extra) + "Content-Length: 0\r\n\r\n";
}

// The first line of a sent text.
inline std::string StartLine(const std::string& text) { return text.substr(0, text.find("\r\n")); }

}  // namespace corvina::sip::testing
