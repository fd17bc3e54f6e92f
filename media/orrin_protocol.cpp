#include "media/orrin_protocol.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

namespace corvina::media {

std::vector<std::string_view> SplitOrrinHosts(std::string_view list) {
  std::vector<std::string_view> hosts;
  std::size_t i = 0;
  while (i < list.size() && hosts.size() < kOrrinMaxHosts) {
    while (i < list.size() && static_cast<unsigned char>(list[i]) <= 32) ++i;
    const std::size_t start = i;
    while (i < list.size() && static_cast<unsigned char>(list[i]) > 32) ++i;
    if (i > start) hosts.push_back(list.substr(start, i - start));
  }
  return hosts;
}

std::optional<OrrinHostPort> ParseOrrinHost(std::string_view text) {
  OrrinHostPort result;
  const std::size_t colon = text.find(':');
  result.host = std::string(text.substr(0, colon));
  if (result.host.empty()) return std::nullopt;
  if (colon == std::string_view::npos) return result;
  const std::string_view digits = text.substr(colon + 1);
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  unsigned port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + static_cast<unsigned>(c - '0');
  }
  if (port < 1 || port > 65535) return std::nullopt;
  result.port = static_cast<std::uint16_t>(port);
  return result;
}

std::size_t OrrinRoundRobin::Next(std::size_t count) {
  if (count == 0) return 0;
  std::size_t old = index_.load();
  std::size_t next;
  do {
    next = (old + 1) % count;
  } while (!index_.compare_exchange_weak(old, next));
  return next;
}

OrrinRoundRobin& SharedOrrinRoundRobin() {
  static OrrinRoundRobin shared;
  return shared;
}

std::string MakeOrrinGreeting(std::string_view accessCode) {
  std::string greeting(kOrrinGreetingBytes, '\0');
  greeting[0] = static_cast<char>(kOrrinGreetingTag);
  const std::string_view code = platform::CutToBytes(accessCode.substr(0, accessCode.find('\0')), kOrrinMaxCodeBytes);
  std::memcpy(greeting.data() + 2, code.data(), code.size());
  return greeting;
}

std::string MakeOrrinNameFrame(std::string_view name) {
  const std::string_view cut = platform::CutToBytes(name, kOrrinMaxNameBytes);
  std::string frame;
  frame.push_back(static_cast<char>(kOrrinNameTag));
  frame.push_back(static_cast<char>(cut.size()));
  frame.append(cut);
  return frame;
}

OrrinReply ClassifyOrrinReply(std::string_view twoBytes) {
  if (twoBytes.size() != kOrrinReplyBytes || twoBytes[0] != static_cast<char>(kOrrinReplyTag)) {
    return OrrinReply::kInvalid;
  }
  if (twoBytes[1] == static_cast<char>(kOrrinAccepted)) return OrrinReply::kAccepted;
  if (twoBytes[1] == static_cast<char>(kOrrinRefused)) return OrrinReply::kRefused;
  return OrrinReply::kInvalid;
}

OrrinStreamReader::Item OrrinStreamReader::Fail() {
  stage_ = Stage::kInvalid;
  buffer_.clear();
  return Item::kInvalid;
}

OrrinStreamReader::Item OrrinStreamReader::Next(std::string* text, std::uint8_t (&frame)[kGsmFrameBytes]) {
  const auto byte = [this](std::size_t i) { return static_cast<std::uint8_t>(buffer_[i]); };
  switch (stage_) {
    case Stage::kInvalid:
      return Item::kInvalid;
    case Stage::kGreeting: {
      if (!buffer_.empty() && byte(0) != kOrrinGreetingTag) return Fail();
      if (buffer_.size() >= 2 && byte(1) != 0) return Fail();
      if (buffer_.size() < kOrrinGreetingBytes) return Item::kNeedMore;
      const std::string_view field = std::string_view(buffer_).substr(2, kOrrinCodeField);
      text->assign(field.substr(0, field.find('\0')));
      buffer_.erase(0, kOrrinGreetingBytes);
      stage_ = Stage::kName;
      return Item::kGreeting;
    }
    case Stage::kName: {
      if (!buffer_.empty() && byte(0) != kOrrinNameTag) return Fail();
      if (buffer_.size() < 2 || buffer_.size() < 2u + byte(1)) return Item::kNeedMore;
      const std::size_t n = byte(1);
      text->assign(buffer_, 2, n);
      buffer_.erase(0, 2 + n);
      stage_ = Stage::kFrames;
      return Item::kName;
    }
    case Stage::kFrames: {
      if (!buffer_.empty() && byte(0) != kOrrinFrameTag) return Fail();
      if (buffer_.size() >= 2 && byte(1) != kGsmFrameBytes) return Fail();
      if (buffer_.size() < kOrrinFrameBytes) return Item::kNeedMore;
      std::memcpy(frame, buffer_.data() + 2, kGsmFrameBytes);
      buffer_.erase(0, kOrrinFrameBytes);
      return Item::kFrame;
    }
  }
  return Item::kInvalid;
}

}  // namespace corvina::media
