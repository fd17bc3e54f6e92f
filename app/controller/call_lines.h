// The phone's two call lines: each a SipLine on its account section, offered new INVITEs by
// the engine, announcing every change as a console event and to the phone controller's line.
// The lines' media sessions live here, and with them the audio router that connects one of
// them to the devices; which one is the phone controller's choice alone.
// User-interface thread, except where a method says otherwise.
#pragma once

#include <memory>
#include <string>

#include "app/console/console_event.h"
#include "app/policy/line_accounts.h"
#include "app/program_objects.h"
#include "app/controller/audio_router.h"
#include "app/controller/call_recorders.h"
#include "call/nat_rtp_socket_opener.h"
#include "call/session_line_media.h"
#include "media/media_session.h"
#include "call/sdp_session.h"
#include "call/sip_line.h"
#include "platform/thread_checker.h"
#include "sip/dialog_services.h"

namespace corvina::app {

class CallLines final : public call::LineListener {
 public:
  explicit CallLines(ProgramObjects& program);
  ~CallLines() override;
  CallLines(const CallLines&) = delete;
  CallLines& operator=(const CallLines&) = delete;

  // Before the engine starts: the lines join its list and OPTIONS answers carry the offer.
  void Start();
  // Before the engine stops: calls end (a connected call's BYE goes out at once) and the lines
  // leave the engine's list.
  void End();

  // Line `n` (1 or 2).
  call::SipLine& Line(int n) { return *lines_[n - 1]; }
  // Where the microphone and the speaker go (the phone controller drives it).
  AudioRouter& Audio() { return router_; }
  // The lines' call recorders (the phone controller starts and stops them).
  CallRecorders& Recording() { return *recorders_; }

  void SetEventSink(ConsoleEventSink* sink);
  // Line `n`'s announcements also go to `listener` (the phone controller's line; null: none).
  void SetLineListener(int n, call::LineListener* listener);
  // [{"line":1,"state":"Idle",...,"current":true,...},...]; current: the line the router serves.
  std::string StatusJson() const;

  void OnLineChanged(int lineIndex, const call::LineSnapshot& snapshot) override;

  static const char* StateName(call::CallState state);

 private:
  platform::ThreadChecker uiThread_;
  ProgramObjects& program_;
  sip::KernelEventWaiter waiter_;
  call::SdpCounter sdpCounter_;
  call::NatRtpSocketOpener rtpOpener_;
  std::unique_ptr<media::MediaSession> sessions_[kLineCount];  // live across calls
  call::SessionLineMedia* media_[kLineCount] = {};              // owned by the lines
  std::shared_ptr<call::SipLine> lines_[kLineCount];
  AudioRouter router_;  // after the sessions it reads from, so it stops before they go
  std::unique_ptr<CallRecorders> recorders_;  // likewise: recordings end before the sessions go
  // User-interface thread.
  bool started_ = false;
  ConsoleEventSink* sink_ = nullptr;
  call::LineListener* forward_[kLineCount] = {};
};

}  // namespace corvina::app
