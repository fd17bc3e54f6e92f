#include "call/sip_line.h"

#include "call/call_texts.h"
#include "call/dial_target.h"
#include "platform/text.h"
#include "sip/name_addr.h"
#include "sip/sip_uri.h"
#include "sip/wire_texts.h"

namespace corvina::call {

std::string LineAccount::LocalUri(std::string_view displayNameOverride) const {
  const std::string uri = "sip:" + user + "@" + server;
  const std::string name = displayNameOverride.empty() ? displayName : std::string(displayNameOverride);
  return sip::FormatNameAddr(name, uri);
}

LineAccount ReadLineAccount(const platform::Settings& settings, std::string_view section) {
  LineAccount a;
  a.displayName = settings.GetSettingString(section, "DisplayName", "");
  a.user = settings.GetSettingString(section, "UserName", "");
  a.server = settings.GetSettingString(section, "Proxy", "");
  if (settings.GetSettingInt(section, "UseOutboundServer", 0) == 1) {
    a.outboundServer = settings.GetSettingString(section, "OutboundServer", "");
  }
  if (settings.GetSettingBool(section, "UseAuthentication", false)) {
    a.authId = settings.GetSettingString(section, "AuthID", "");
  }
  a.password = settings.GetSettingString(section, "ProxyPassword", "");
  return a;
}

// The call thread: one per call, replaced by the next call's.
class SipLine::CallThread final : public platform::WorkerThread {
 public:
  explicit CallThread(SipLine& line) : WorkerThread("call line " + std::to_string(line.index_)), line_(line) {}
  ~CallThread() override { StopAndJoin(); }
  void WaitEvents(platform::Event& messages, platform::Event& commands, int timeoutMs) {
    int index = 0;
    WaitAny({platform::WaitSource::Of(messages), platform::WaitSource::Of(commands)}, timeoutMs, &index);
  }

 protected:
  void Run() override { line_.RunCall(*this); }

 private:
  SipLine& line_;
};

// The line as its call thread sees it; made and used on the call thread only.
class SipLine::Host final : public CallHost {
 public:
  Host(SipLine& line, CallThread& thread) : line_(line), thread_(thread) {}
  sip::SipEndpoint& Endpoint() override { return line_.services_.dialogs.endpoint; }
  void Wait(sip::SharedDialog& dialog, int timeoutMs) override {
    CORVINA_CHECK_THREAD(callThread_);
    thread_.WaitEvents(dialog.MessageEvent(), line_.commands_.Event(), timeoutMs);
  }
  bool StopRequested() override { return thread_.StopRequested(); }
  LineCommands& Commands() override { return line_.commands_; }
  bool HoldRequested() override { return line_.holdRequested_.load(); }
  void Announce(call::CallState state, int ringCount) override {
    CORVINA_CHECK_THREAD(callThread_);
    line_.Announce(state, ringCount);
  }
  void AnnounceEnd(int ringCount, std::string_view endReason) override {
    CORVINA_CHECK_THREAD(callThread_);
    line_.Announce(call::CallState::kIdle, ringCount, endReason);
  }
  void AnnounceHold(bool applied) override {
    CORVINA_CHECK_THREAD(callThread_);
    line_.AnnounceHold(applied);
  }
  void HandOver(sip::DialogRef dialog, std::optional<sip::PendingInvite> pending) override {
    CORVINA_CHECK_THREAD(callThread_);
    dialog->ReleaseHolder();
    line_.services_.handOver(std::move(dialog), std::move(pending));
  }
  void AnnounceTransfer(TransferKind kind, TransferOutcome outcome) override {
    CORVINA_CHECK_THREAD(callThread_);
    line_.AnnounceTransfer(kind, outcome);
  }
  std::shared_ptr<HandOverPeer> TakeJoinPeer() override {
    CORVINA_CHECK_THREAD(callThread_);
    std::shared_ptr<SipLine> other = std::dynamic_pointer_cast<SipLine>(line_.commands_.TakeOtherLine().lock());
    return other.get() == &line_ ? nullptr : other;  // a line cannot take its own call
  }
  bool GiveHandOver(sip::DialogRef& dialog) override {
    CORVINA_CHECK_THREAD(callThread_);
    if (!dialog) return false;
    dialog->ReleaseHolder();  // the taking call thread becomes its holder
    return line_.handOver_.Give(dialog);
  }
  void WaitHandOver(platform::Event& handOver, int timeoutMs) override {
    CORVINA_CHECK_THREAD(callThread_);
    thread_.WaitEvents(handOver, line_.commands_.Event(), timeoutMs);
  }
  void Bridge(sip::DialogRef first, sip::DialogRef second) override {
    CORVINA_CHECK_THREAD(callThread_);
    first->ReleaseHolder();
    second->ReleaseHolder();
    if (line_.services_.bridge) {
      line_.services_.bridge(std::move(first), std::move(second));
      return;
    }
    line_.services_.handOver(std::move(first), std::nullopt);
    line_.services_.handOver(std::move(second), std::nullopt);
  }
  sip::DialogRef AddDialog(sip::Dialog state) override {
    CORVINA_CHECK_THREAD(callThread_);
    sip::DialogRef d = sip::SharedDialog::Create(line_.services_.dialogs, std::move(state));
    line_.services_.dialogList.Add(d);
    return d;
  }

 private:
  SipLine& line_;
  CallThread& thread_;
  platform::ThreadChecker callThread_;  // the thread that made the host
};

SipLine::SipLine(int lineIndex, SipLineServices services, std::function<std::string()> section,
                 std::unique_ptr<LineMedia> media)
    : index_(lineIndex),
      services_(std::move(services)),
      section_(std::move(section)),
      media_(std::move(media)),
      posts_(services_.ui) {
  uiThread_.Detach();  // the listener's thread is the first to set it
}

SipLine::~SipLine() { Shutdown(); }

LineAccountKey SipLine::AccountKey() const {
  const LineAccount account = ReadLineAccount(services_.settings, section_());
  return {account.server, account.user};
}

sip::DialogRef SipLine::RequestHandOver() {
  sip::DialogRef leftover = handOver_.Request();
  commands_.Give(LineCommand::kHandOver);
  return leftover;
}

void SipLine::Shutdown() {
  media_->CancelOpen();  // the call thread's RTP address query must not hold up the join
  std::unique_ptr<CallThread> thread;
  {
    std::unique_lock<std::mutex> hold(lock_);
    closed_ = true;
    // A StartCall under way joins the old thread itself, then sees closed_ and starts nothing.
    reservationEnded_.wait_for(hold, kReservationWait, [this] { return !reserved_; });
    thread = std::move(thread_);
  }
  if (thread) thread->StopAndJoin();
  // A dialog given for a taker that never came: ended, not stranded.
  if (sip::DialogRef given = handOver_.TakeOrWithdraw()) services_.handOver(std::move(given), std::nullopt);
  posts_.CancelPending();
}

bool SipLine::IsBusy() const {
  std::lock_guard<std::mutex> hold(lock_);
  return snapshot_.state != call::CallState::kIdle || reserved_;
}

LineSnapshot SipLine::Snapshot() const {
  std::lock_guard<std::mutex> hold(lock_);
  return snapshot_;
}

// Asked for every line on every OPTIONS and INVITE: the one setting, not the whole account.
std::string SipLine::UserName() const { return services_.settings.GetSettingString(section_(), "UserName", ""); }

bool SipLine::Answer() {
  if (Snapshot().state != call::CallState::kIncomingRinging) return false;
  services_.dialogs.endpoint.Log().Log(texts::kAnswering, platform::kLogInfo);
  commands_.Give(LineCommand::kAnswer);
  return true;
}

bool SipLine::MakeCallAs(std::string_view target, std::string_view displayName, bool intercom) {
  platform::LogSink& log = services_.dialogs.endpoint.Log();
  log.Log(std::string(texts::kInitiatedCall) + std::string(target), platform::kLogInfo);
  const LineAccount account = ReadLineAccount(services_.settings, section_());
  if (!CheckDialTarget(target, account.server, log)) return false;
  std::unique_ptr<sip::SipMessage> none;
  return StartCall(intercom ? call::CallState::kDiallingIntercom : call::CallState::kDialling,
                   RequestUriFromText(target, account.server), none, displayName);
}

void SipLine::SendDigits(std::string_view digits) { media_->SendDigits(digits); }

void SipLine::Transfer(std::string_view target) {
  platform::LogSink& log = services_.dialogs.endpoint.Log();
  log.Log(std::string(texts::kTransferring) + std::string(target), platform::kLogInfo);
  // A target that fails the checks of a new call is not sent: the call goes on. A transfer
  // still pending is replaced.
  const LineAccount account = ReadLineAccount(services_.settings, section_());
  if (!CheckDialTarget(target, account.server, log)) return;
  commands_.GiveTransfer(RequestUriFromText(target, account.server));
}

void SipLine::HangUp() {
  commands_.Give(LineCommand::kHangUp);
  media_->CancelOpen();
}

void SipLine::JoinLine(LineControl& other) {
  auto* line = dynamic_cast<SipLine*>(&other);
  std::weak_ptr<SipLine> ref = line ? line->weak_from_this() : std::weak_ptr<SipLine>();
  if (ref.expired()) {
    services_.dialogs.endpoint.Log().Log(texts::kJoinNotALine, platform::kLogError);
    return;
  }
  commands_.GiveJoin(std::move(ref));
}

void SipLine::SetHoldRequested(bool held) {
  if (holdRequested_.exchange(held) != held) commands_.Give(LineCommand::kHoldChanged);
}

bool SipLine::HoldRequested() const { return holdRequested_.load(); }

void SipLine::SetListener(LineListener* listener) {
  CORVINA_CHECK_THREAD(uiThread_);
  listener_ = listener;
}

bool SipLine::OfferIncomingCall(std::unique_ptr<sip::SipMessage>& invite) {
  const std::string from(invite->FindHeader(sip::kFrom));
  return StartCall(call::CallState::kIncomingRinging, from, invite, {});
}

bool SipLine::StartCall(call::CallState mode, std::string_view remoteParty, std::unique_ptr<sip::SipMessage>& invite,
                        std::string_view displayName) {
  std::unique_ptr<CallThread> old;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (snapshot_.state != call::CallState::kIdle || closed_ || reserved_) return false;
    reserved_ = true;
    old = std::move(thread_);
  }
  // Outside the lock: the old thread has announced Idle and only finishes; Snapshot() and the
  // engine's other lines go on meanwhile.
  old.reset();

  const LineAccount account = ReadLineAccount(services_.settings, section_());
  const sip::NameAddr party = sip::ParseNameAddr(remoteParty);
  LineSnapshot s;
  const sip::SipUri partyUri = sip::ParseUri(party.uri);
  s.remoteNumber = partyUri.user;
  s.remoteAddress = partyUri.user.empty() ? partyUri.host : partyUri.user + "@" + partyUri.host;
  s.remoteName = party.displayName.empty() ? s.remoteNumber : party.displayName;
  s.ringCount = 1;
  s.state = mode;
  CallIdentity identity{account.LocalUri(displayName), account.server, account.outboundServer, account.user,
                        account.authId.empty() ? account.user : account.authId, account.password};
  sip::DialogRef dialog;
  if (mode == call::CallState::kIncomingRinging) {
    std::string_view answerMode = invite->FindHeader(sip::wire::kAnswerModeName);
    if (answerMode.empty()) answerMode = invite->FindHeader(sip::wire::kPrivAnswerModeName);
    s.intercomRequested = platform::EqualsIgnoreCase(answerMode, texts::kAnswerModeAuto);
    sip::Dialog state = sip::NewIncomingDialog(services_.dialogs.endpoint, *invite);
    state.localUser = account.user;
    state.authorizationUser = identity.authId;
    state.password = account.password;
    // In the list at once: the caller's resends and CANCEL must find this call, not a free line.
    dialog = sip::SharedDialog::Create(services_.dialogs, std::move(state));
    dialog->ReleaseHolder();
    services_.dialogList.Add(dialog);
  }

  std::lock_guard<std::mutex> hold(lock_);
  reserved_ = false;
  reservationEnded_.notify_all();
  if (closed_) {
    if (dialog) services_.dialogList.Remove(dialog.get());
    return false;
  }
  commands_.Clear();
  media_->AllowOpen();  // a cancel lasts as long as the hang-up it came with
  holdRequested_.store(false);
  identity_ = std::move(identity);
  dialog_ = std::move(dialog);
  invite_ = mode == call::CallState::kIncomingRinging ? std::move(invite) : nullptr;
  dialled_ = mode == call::CallState::kIncomingRinging ? std::string() : std::string(remoteParty);
  mode_ = mode;
  snapshot_ = s;
  Post(snapshot_);  // before the thread starts, so before its own announcements
  thread_ = std::make_unique<CallThread>(*this);
  thread_->Start();
  return true;
}

void SipLine::RunCall(CallThread& thread) {
  sip::DialogRef dialog;
  std::unique_ptr<sip::SipMessage> invite;
  call::CallState mode;
  CallIdentity identity;
  std::string dialled;
  {
    std::lock_guard<std::mutex> hold(lock_);
    dialog = std::move(dialog_);
    invite = std::move(invite_);
    mode = mode_;
    identity = identity_;
    dialled = std::move(dialled_);
  }
  if (!dialog) {
    if (!WaitForEngine(thread)) {
      // Hung up (or shut down) before anything was sent.
      services_.dialogs.endpoint.Log().Log(texts::kDisconnected, platform::kLogInfo);
      Announce(call::CallState::kIdle, 1);
      return;
    }
    dialog = sip::SharedDialog::Create(
        services_.dialogs, sip::NewOutgoingDialog(services_.dialogs.endpoint, {.from = identity.localUri,
                                                                               .to = dialled,
                                                                               .outboundProxy = identity.outboundServer,
                                                                               .localUser = identity.user,
                                                                               .authorizationUser = identity.authId,
                                                                               .password = identity.password}));
    services_.dialogList.Add(dialog, 0);
  }
  Host host(*this, thread);
  SdpSession sdp(services_.sdpCounter, services_.settings, services_.dialogs.endpoint.Resolver());
  CallFlow flow(host, *media_, sdp, std::move(identity));
  flow.Run(mode, std::move(dialog), std::move(invite));
}

bool SipLine::WaitForEngine(CallThread& thread) {
  // Short steps, so a hang-up or a shut-down is seen at once. After the bound the call goes on
  // as it is and its sends report what is wrong.
  constexpr int kStepMs = 100;
  for (int waited = 0; waited < sip::kDialogAddReadyWaitMs; waited += kStepMs) {
    if (thread.StopRequested() || commands_.HangUpPending()) return false;
    if (services_.dialogList.WaitReady(kStepMs)) return true;
  }
  return true;
}

// The call thread is the only one announcing once its call is published, so posting outside
// the lock keeps the order.
void SipLine::Announce(call::CallState state, int ringCount, std::string_view endReason) {
  LineSnapshot announced;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (state != snapshot_.state) snapshot_.holdApplied = false;  // a call connects (or ends) unheld
    snapshot_.state = state;
    snapshot_.ringCount = ringCount;
    snapshot_.endReason = endReason;
    announced = snapshot_;
  }
  Post(announced);
}

void SipLine::AnnounceHold(bool applied) {
  LineSnapshot announced;
  {
    std::lock_guard<std::mutex> hold(lock_);
    snapshot_.holdApplied = applied;
    announced = snapshot_;
  }
  Post(announced);
}

void SipLine::AnnounceTransfer(TransferKind kind, TransferOutcome outcome) {
  LineSnapshot announced;
  {
    std::lock_guard<std::mutex> hold(lock_);
    snapshot_.transferKind = kind;
    snapshot_.transferOutcome = outcome;
    announced = snapshot_;
    // Told once: later snapshots and announcements carry no outcome.
    snapshot_.transferKind = TransferKind::kNone;
    snapshot_.transferOutcome = TransferOutcome::kNone;
  }
  Post(announced);
}

void SipLine::Post(const LineSnapshot& announced) {
  posts_.Post([this, announced] {
    CORVINA_CHECK_THREAD(uiThread_);
    if (listener_) listener_->OnLineChanged(index_, announced);
  });
}

}  // namespace corvina::call
