#include "media/rtp_receive_thread.h"

#include <algorithm>
#include <random>

namespace corvina::media {

RtpReceiveThread::RtpReceiveThread(RtpReceiveContext context)
    : WorkerThread("rtp-receive"), context_(std::move(context)), scratch_(kRtpMaxDatagram) {}

RtpReceiveThread::~RtpReceiveThread() { StopAndJoin(); }

PlayoutTypes RtpReceiveThread::CurrentTypes() const {
  const RtpPayloadTypes types = context_.send->Remote().types;
  return PlayoutTypes{types.comfortNoise, types.g726};
}

void RtpReceiveThread::Drain() {
  // What waited before the call's media started is stale; a flood cannot hold up the start.
  for (int drained = 0; drained < kStartupDrainLimit; ++drained) {
    if (context_.socket->ReceiveNow(scratch_).status != platform::ReceiveStatus::kDatagram) break;
  }
}

void RtpReceiveThread::ReadOne(RtpReceiver& receiver) {
  const std::span<std::uint8_t> area = receiver.ReceiveArea();
  if (area.empty()) {
    // Every slot holds a packet: the datagram waits in the socket until playout frees one.
    Sleep(static_cast<int>(kFullBufferWaitMs));
    return;
  }
  const platform::ReceiveResult read = context_.socket->ReceiveNow(area);
  if (read.status != platform::ReceiveStatus::kDatagram) return;
  datagramsRead_.fetch_add(1);
  // A datagram cut short by the area's size reports more than the area holds and is dropped.
  const std::size_t length = read.truncated ? area.size() + 1 : read.size;
  const ReceiveResult filed = receiver.Commit(length, read.from, context_.tick->NowMs());
  switch (filed.outcome) {
    case ReceiveOutcome::kAccepted:
    case ReceiveOutcome::kAdopted:
    case ReceiveOutcome::kForeignSsrc:
      context_.tracer->Received(read.from, filed.header, length);
      break;
    case ReceiveOutcome::kMalformed:
    case ReceiveOutcome::kTooLong:
    case ReceiveOutcome::kFull:
      break;
  }
}

void RtpReceiveThread::Run() {
  context_.flags->resetReceive.store(false);
  RtpReceiver receiver(*context_.taps, CurrentTypes(), std::random_device{}(), context_.tick->NowMs(),
                       context_.clock->NowMs());
  Drain();
  std::int64_t waitMs = kFirstWaitMs;
  const int fd = context_.socket->Fd();
  for (;;) {
    int index = -1;
    const int timeout = static_cast<int>(std::clamp<std::int64_t>(waitMs, 0, kFirstWaitMs));
    const platform::WaitOutcome woke = WaitAny({platform::WaitSource::Readable(fd)}, timeout, &index);
    if (woke == platform::WaitOutcome::kStopped) return;
    if (woke == platform::WaitOutcome::kFailed && !Sleep(static_cast<int>(std::min(waitMs, kWaitSliceMs)))) return;
    if (context_.flags->resetReceive.exchange(false)) {
      // Set remote changed the negotiation: new types, and the SSRC is learned afresh.
      receiver.SetPayloadTypes(CurrentTypes());
      receiver.RearmSsrcLearning(context_.tick->NowMs());
    }
    if (woke == platform::WaitOutcome::kSignalled) ReadOne(receiver);
    const PlayoutPass pass = receiver.RunPlayout(context_.clock->NowMs());
    waitMs = pass.waitMs;
    // Only a packet that was played names the remote address: a stray datagram cannot.
    if (pass.playedSource && context_.flags->learnRemoteAddress.load()) {
      context_.send->SetDestination(*pass.playedSource);
    }
    context_.send->SendKeepAliveIfIdle();
    if (StopRequested()) return;
  }
}

}  // namespace corvina::media
