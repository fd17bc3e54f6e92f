// Stand-ins for the controller's surroundings: a line whose announcements the test drives, a
// view, a tone player and an audio route that record what they are told.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/controller/call_recording.h"
#include "app/controller/main_view.h"
#include "app/controller/phone_controller.h"
#include "call/line_control.h"

namespace corvina::testing {

class FakeLine final : public call::LineControl {
 public:
  bool IsBusy() const override { return snapshot.state != call::CallState::kIdle; }
  call::LineSnapshot Snapshot() const override { return snapshot; }
  bool Answer() override {
    ops.push_back("answer");
    return true;
  }
  bool MakeCallAs(std::string_view target, std::string_view, bool) override {
    ops.push_back("call " + std::string(target));
    if (refuse || IsBusy()) return false;
    snapshot = call::LineSnapshot{};
    snapshot.state = call::CallState::kDialling;
    snapshot.remoteNumber = snapshot.remoteName = std::string(target);
    return true;
  }
  void SendDigits(std::string_view digits) override { ops.push_back("digits " + std::string(digits)); }
  void Transfer(std::string_view target) override { ops.push_back("transfer " + std::string(target)); }
  void HangUp() override { ops.push_back("hangup"); }
  void JoinLine(LineControl&) override { ops.push_back("join"); }
  void SetHoldRequested(bool held) override {
    hold = held;
    ops.push_back(held ? "hold" : "unhold");
  }
  bool HoldRequested() const override { return hold; }
  void SetListener(call::LineListener* l) override { listener = l; }

  // The call layer announces a change.
  void Announce(call::CallState state, int ringCount = 0, std::string number = {}, std::string name = {}) {
    snapshot.state = state;
    snapshot.ringCount = ringCount;
    if (!number.empty()) {
      snapshot.remoteNumber = number;
      snapshot.remoteName = name.empty() ? number : name;
    }
    if (listener) listener->OnLineChanged(index, snapshot);
  }

  int index = 0;
  call::LineSnapshot snapshot;
  bool hold = false;
  bool refuse = false;
  std::vector<std::string> ops;
  call::LineListener* listener = nullptr;
};

class RecordingView final : public app::MainView {
 public:
  void BringToFront() override { ++fronts; }
  void ShowStatusWindow(bool) override {}
  void StatusWindowChanged() override {}
  void Close() override {}
  void RequestAttention() override { ++attention; }
  void SetButtonImage(app::ControlId c, app::ButtonImage image, bool pressed) override {
    buttons[static_cast<int>(c)] = {image, pressed};
  }
  void SetLineButton(int line, bool lit) override { lineLit[line] = lit; }
  void SetLineTip(int line, std::string_view tip) override { tips[line] = tip; }
  void PaintDisplay(const app::DisplayRows& r) override { rows = r; }
  void SetDialText(std::string_view text) override { dialText = text; }
  void SetDialBoxEnabled(bool enabled) override { dialEnabled = enabled; }
  void SetDialList(const std::vector<std::string>& items) override { list = items; }
  void SetMenuItem(app::MenuId item, bool enabled, bool checked) override {
    menus[static_cast<int>(item)] = {enabled, checked};
  }
  void SetControlEnabled(app::ControlId c, bool enabled) override { this->enabled[static_cast<int>(c)] = enabled; }
  void OpenExternal(std::string_view target) override { opened.emplace_back(target); }
  bool OpenOptions(int page) override {
    opened.push_back("options " + std::to_string(page));
    return true;
  }
  // The wizard stays open until the test calls `wizardDone`.
  bool OpenWizard(app::WizardKind kind, std::function<void(bool)> done) override {
    if (!hasWizards) return false;
    opened.push_back(kind == app::WizardKind::kFirstRun ? "first-run wizard" : "audio wizard");
    wizardDone = std::move(done);
    return true;
  }
  bool RunNetworkTool() override {
    opened.push_back("network tool");
    return hasWizards;
  }
  void ShowMessageBox(std::string_view title, std::string_view text) override {
    boxes.push_back(std::string(title) + ": " + std::string(text));
  }
  void ShowTransferMenu(const std::vector<app::TransferMenuItem>& items) override { transferMenu = items; }
  bool RegisterHotkey(int id, std::uint32_t modifiers, std::uint32_t key) override {
    hotkeys[id] = modifiers * 65536 + key;
    return true;
  }
  void UnregisterHotkey(int id) override { hotkeys.erase(id); }
  bool ShowTrayMessage(std::string_view, std::string_view text) override {
    tray.emplace_back(text);
    return hasTray;
  }

  int fronts = 0;
  int attention = 0;
  bool hasWizards = true;
  std::function<void(bool finished)> wizardDone;
  std::vector<app::TransferMenuItem> transferMenu;
  std::map<int, std::uint32_t> hotkeys;  // registered: id -> modifiers × 65536 + key
  std::map<int, std::pair<app::ButtonImage, bool>> buttons;
  std::map<int, bool> lineLit;
  std::map<int, std::string> tips;
  app::DisplayRows rows;
  std::string dialText;
  bool dialEnabled = true;
  std::vector<std::string> list;
  std::map<int, std::pair<bool, bool>> menus;
  std::vector<std::string> tray;
  std::vector<std::string> boxes;  // "title: text"
  std::map<int, bool> enabled;
  std::vector<std::string> opened;
  bool hasTray = true;
};

// Where the local audio went, one entry per move: "line 0", "line 1" or "none".
class RecordingRoute final : public app::AudioRoute {
 public:
  void RouteTo(app::AudioPlace place) override {
    place_ = place;
    using enum app::AudioPlace::Kind;
    moves.push_back(place.kind == kLine ? "line " + std::to_string(place.line)
                    : place.kind == kConference ? "conference" : "none");
    if (journal != nullptr) journal->push_back("audio " + moves.back());
  }
  app::AudioPlace Place() const override { return place_; }
  // Hold playback ("music N", "music off N" to the journal); none while the line has the audio.
  media::HoldSourceKind PlayHold(int line) override {
    if (journal != nullptr) journal->push_back("music " + std::to_string(line));
    using enum media::HoldSourceKind;
    return held[line] = place_ == app::AudioPlace::Line(line) ? kNone : kFile;
  }
  void StopHold(int line) override {
    const bool was = std::exchange(held[line], {}) != media::HoldSourceKind::kNone;
    if (was && journal) journal->push_back("music off " + std::to_string(line));
  }
  media::HoldSourceKind HoldSourceOf(int line) const override { return held[line]; }
  // Conference membership ("join N", "leave N" to the journal).
  void JoinConference(int line) override {
    joined[line] = true;
    if (journal != nullptr) journal->push_back("join " + std::to_string(line));
  }
  void LeaveConference(int line) override {
    joined[line] = false;
    if (journal != nullptr) journal->push_back("leave " + std::to_string(line));
  }
  // Intercom buffers: the test sets what they hold and plays them through `played`.
  void StartIntercomBuffer(int line) override { buffering[line] = true; }
  void StopIntercomBuffer(int line) override { buffering[line] = false, bufferedMs[line] = 0; }
  std::uint64_t IntercomBufferedMs(int line) const override { return bufferedMs[line]; }
  void SetIntercomPlayedListener(std::function<void(int)> listener) override { played = std::move(listener); }
  media::HoldSourceKind held[2] = {};
  bool joined[2] = {};
  bool buffering[2] = {};
  std::uint64_t bufferedMs[2] = {};
  std::function<void(int)> played;
  std::vector<std::string> moves;
  // Also told of each move (a line's ops, to see the order of the two).
  std::vector<std::string>* journal = nullptr;

 private:
  app::AudioPlace place_;
};

// The recorders' calls, one entry per start and stop: "start 0 NAME", "stop 0".
struct FakeRecording final : app::CallRecording {
  std::optional<media::RecordingTarget> Start(int line, std::string_view name) override {
    if (std::exchange(on[line], true)) return std::nullopt;
    ops.push_back("start " + std::to_string(line) + " " + std::string(name));
    return media::RecordingTarget{media::RecordingTarget::Kind::kFile, "/rec/" + std::to_string(ops.size()) + ".wav"};
  }
  void Stop(int line) override { on[line] = false, ops.push_back("stop " + std::to_string(line)); }
  std::string Folder() override { return "/rec"; }
  bool on[2] = {false, false};
  std::vector<std::string> ops;
};

class RecordingTones final : public app::PhoneTones {
 public:
  void Tone(std::string_view name, bool loop, bool ring) override {
    played.push_back(std::string(name) + (loop ? " loop" : "") + (ring ? " ring" : ""));
  }
  void StopTone() override { played.push_back("stop"); }
  void KeyClick() override { played.push_back("click"); }
  std::vector<std::string> played;
};

}  // namespace corvina::testing
