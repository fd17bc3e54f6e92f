#include "app/mail_progress.h"

#include <string>
#include <thread>

#include "app/progress/update_queue.h"
#include "mail/local_mail.h"
#include "mail/smtp_client.h"
#include "platform/clock.h"
#include "platform/local_address.h"
#include "platform/name_resolver.h"

namespace corvina::app {
namespace {

constexpr int kPollMs = 200;

// The worker's side: every call becomes an update for the user-interface thread. A send makes a
// dozen texts at most; fractions replace a queued fraction, so the queue stays small.
class QueuedMailProgress final : public mail::MailProgress {
 public:
  enum class Kind { kText, kFraction, kError, kNote };
  struct Update {
    Kind kind;
    std::string text;
    int line = 0;
    double fraction = 0;
  };

  void SetText(std::string_view text, int line) override { queue_.Push({Kind::kText, std::string(text), line}); }
  void SetFraction(double fraction) override {
    queue_.Replace({Kind::kFraction, {}, 0, fraction}, [](const Update& u) { return u.kind == Kind::kFraction; });
  }
  void ReportError(std::string_view text) override { queue_.Push({Kind::kError, std::string(text)}); }
  void LogNote(std::string_view text) override { queue_.Push({Kind::kNote, std::string(text)}); }

  platform::Event& Changed() { return queue_.Changed(); }
  // Applies what is queued to `out`; user-interface thread.
  void Drain(mail::MailProgress& out) {
    for (const Update& u : queue_.Take()) {
      switch (u.kind) {
        case Kind::kText: out.SetText(u.text, u.line); break;
        case Kind::kFraction: out.SetFraction(u.fraction); break;
        case Kind::kError: out.ReportError(u.text); break;
        case Kind::kNote: out.LogNote(u.text); break;
      }
    }
  }

 private:
  UpdateQueue<Update> queue_;
};

// Without a window only the notes and the error remain, both for the activity log.
class LogOnlyMailProgress final : public mail::MailProgress {
 public:
  explicit LogOnlyMailProgress(platform::LogSink* log) : log_(log) {}
  void SetText(std::string_view, int) override {}
  void SetFraction(double) override {}
  void ReportError(std::string_view text) override { LogNote(text); }
  void LogNote(std::string_view text) override {
    if (log_) log_->Log(text, platform::kLogError);
  }

 private:
  platform::LogSink* log_;
};

}  // namespace

MailSendOutcome SendMailAsSet(const mail::MailRequest& request, const mail::MailSettings& settings, bool noteShown,
                              const std::string& dataFolder, mail::MailProgress& progress, platform::Event* stop) {
  platform::SystemWallClock wall;
  MailSendOutcome out;
  if (settings.useStore) {
    mail::LocalMailContext context;
    context.sendmailPath = mail::DefaultSendmailPath();
    context.outboxFolder = mail::OutboxFolder(dataFolder);
    context.wall = &wall;
    context.hostName = platform::MachineName();
    context.noteShown = noteShown;
    mail::LocalMailOutcome local = mail::SendByLocalMail(request, settings, progress, context);
    out.result = local.result;
    out.savedFile = std::move(local.savedFile);
    out.note = std::move(local.note);
    return out;
  }
  platform::SystemNameResolver resolver;
  platform::SystemTickClock clock;
  mail::MailContext context;
  context.resolver = &resolver;
  context.clock = &clock;
  context.wall = &wall;
  context.stop = stop;
  context.heloName = platform::MachineName();
  out.result = mail::SendBySmtp(request, settings, progress, context);
  return out;
}

mail::MailResult RunMailInProgress(ProgressWindow* window, platform::LogSink* log, const MailSendFunction& send) {
  platform::Event stop(platform::Event::Mode::kManualReset);
  if (window == nullptr) {
    LogOnlyMailProgress progress(log);
    return send(progress, &stop);
  }
  QueuedMailProgress queued;
  platform::Event done(platform::Event::Mode::kManualReset);
  mail::MailResult result = mail::MailResult::kFailed;  // written by the worker before `done` is set
  std::thread worker([&] {
    result = send(queued, &stop);
    done.Set();
  });
  const WaitResult waited = window->Run(kSendingEmailTitle, [&](ProgressSink& sink) {
    ProgressMailSink shown(sink, log);
    const platform::WaitSource sources[] = {platform::WaitSource::Of(done), platform::WaitSource::Of(queued.Changed())};
    for (;;) {
      // A short wait keeps the window answering even if an update were missed; time-outs
      // just wait again.
      const WaitResult w = sink.WaitAny(sources, kPollMs);
      const bool finished = done.IsSet();  // before draining: all of its updates are queued then
      queued.Drain(shown);
      if (w == WaitResult::kCancelled) return w;
      if (finished) return WaitResult::kDone;
    }
  });
  stop.Set();  // every wait of the send ends on it, so the join is bounded
  worker.join();
  if (waited == WaitResult::kCancelled) return mail::MailResult::kCancelled;
  return result;
}

}  // namespace corvina::app
