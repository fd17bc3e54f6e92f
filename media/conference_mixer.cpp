#include "media/conference_mixer.h"

#include <algorithm>
#include <utility>

namespace corvina::media {

namespace {
AudioRingEnds SpeakerRing() { return MakeAudioRing(kReceivedAudioRingSamples, kSampleRate); }
}  // namespace

ConferenceMixer::ConferenceMixer() : ConferenceMixer(SpeakerRing()) {}

ConferenceMixer::ConferenceMixer(AudioRingEnds speaker)
    : AudioSink(kSampleRate, 1), speakerWriter_(std::move(speaker.writer)), speakerReader_(std::move(speaker.reader)) {
  capture_.Detach();  // made on the controller's thread, written by the capture thread
  members_.reserve(kMaxLines);
}

bool ConferenceMixer::Join(int id, AudioSinkPtr reader, AudioSinkPtr sender) {
  if (!reader || !sender) return false;
  auto member = std::make_shared<const Member>(Member{id, std::move(reader), std::move(sender)});
  std::shared_ptr<const Member> replaced;  // let go outside the lock
  std::lock_guard<std::mutex> guard(lock_);
  auto it = std::find_if(members_.begin(), members_.end(), [id](const auto& m) { return m->id == id; });
  if (it != members_.end()) {
    replaced = std::exchange(*it, std::move(member));
    return true;
  }
  if (members_.size() >= kMaxLines) return false;
  members_.push_back(std::move(member));
  return true;
}

void ConferenceMixer::Leave(int id) {
  std::shared_ptr<const Member> leaving;  // let go outside the lock
  std::lock_guard<std::mutex> guard(lock_);
  auto it = std::find_if(members_.begin(), members_.end(), [id](const auto& m) { return m->id == id; });
  if (it == members_.end()) return;
  leaving = std::move(*it);
  members_.erase(it);
}

std::vector<int> ConferenceMixer::Lines() const {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<int> ids;
  for (const auto& member : members_) ids.push_back(member->id);
  return ids;
}

std::size_t ConferenceMixer::Transfer(std::span<std::int32_t> samples) {
  CORVINA_CHECK_THREAD(capture_);
  std::size_t taken = 0;
  while (taken < samples.size()) {
    const std::size_t n = std::min(samples.size() - taken, mic_.size() - micFill_);
    std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(taken), n, mic_.begin() + static_cast<std::ptrdiff_t>(micFill_));
    micFill_ += n;
    taken += n;
    if (micFill_ == mic_.size()) {
      MixBlock();
      micFill_ = 0;
    }
  }
  return taken;
}

std::uint64_t ConferenceMixer::Position() const { return speakerWriter_->Position(); }

void ConferenceMixer::MixBlock() {
  {
    // The capacity was reserved for kMaxLines: taking the copy does not allocate under the lock.
    snapshot_.reserve(kMaxLines);
    std::lock_guard<std::mutex> guard(lock_);
    snapshot_.assign(members_.begin(), members_.end());
  }
  received_.resize(snapshot_.size());
  total_.fill(0);
  for (std::size_t m = 0; m < snapshot_.size(); ++m) {
    // A source zeros what it could not fill: a line with nothing adds silence.
    snapshot_[m]->reader->Transfer(received_[m]);
    for (std::size_t i = 0; i < kFrameSamples; ++i) total_[i] += received_[m][i];
  }
  for (std::size_t m = 0; m < snapshot_.size(); ++m) {
    for (std::size_t i = 0; i < kFrameSamples; ++i) {
      out_[i] = ClipToFullScale(static_cast<std::int64_t>(mic_[i]) + total_[i] - received_[m][i]);
    }
    snapshot_[m]->sender->Transfer(out_);
  }
  for (std::size_t i = 0; i < kFrameSamples; ++i) out_[i] = ClipToFullScale(total_[i]);
  speakerWriter_->Transfer(out_);
  // A member that left meanwhile goes here, on the thread that wrote its sender.
  snapshot_.clear();
}

}  // namespace corvina::media
