// Where the phone's microphone and speaker go, as the phone controller asks for it. The
// controller's current line is the only truth about it: every change of the current line, a
// hold, a hang-up and the end of the current call reach the route from there, and nothing else
// moves the sound. The audio router implements it; controller tests use a recording fake.
#pragma once

#include <cstdint>
#include <functional>

#include "media/hold_player.h"

namespace corvina::app {

// A place the local audio can serve; the controller names a place, the router alone knows how
// to build the path to it.
struct AudioPlace {
  // kConference: the conference mixer, which joins the microphone and speaker with every line
  // joined to the conference (JoinConference).
  enum class Kind { kNothing, kLine, kConference };
  Kind kind = Kind::kNothing;
  int line = -1;  // with kLine: the controller's line index, 0 or 1

  static AudioPlace Nothing() { return {}; }
  static AudioPlace Line(int index) { return {Kind::kLine, index}; }
  static AudioPlace Conference() { return {Kind::kConference, -1}; }
  bool operator==(const AudioPlace&) const = default;
};

// The span the level meters show, in the levels' dB: below the floor is silence, above the
// top the signal is near clipping.
inline constexpr int kMeterFloorDb = -48, kMeterTopDb = 12;

class AudioRoute {
 public:
  virtual ~AudioRoute() = default;
  // Stops the local audio path, whatever it served, and unless `place` is nothing starts it
  // afresh for `place` (the device and processing settings are read again). User-interface
  // thread.
  virtual void RouteTo(AudioPlace place) = 0;
  // What the microphone and the speaker serve now.
  virtual AudioPlace Place() const = 0;

  // The hold playback of a line (0 or 1), a state beside the place: the local path is stopped
  // first when it serves that line, then a hold source and its player take the line's session,
  // so the held party hears the music and never the microphone; routing the local path to the
  // line again ends the playback first (one sender at a time). Returns what the line plays
  // (kNone for a bad line). User-interface thread.
  virtual media::HoldSourceKind PlayHold(int line) = 0;
  // Ends the line's playback: the player (and with it its sender) goes, then the source.
  virtual void StopHold(int line) = 0;
  virtual media::HoldSourceKind HoldSourceOf(int line) const = 0;

  // The lines the conference mixer joins: a joined line hears the microphone and the other
  // joined lines whenever the place is the conference (and nothing of the local path
  // otherwise). Joining a line ends its hold playback. User-interface thread.
  virtual void JoinConference(int line) = 0;
  virtual void LeaveConference(int line) = 0;

  // An intercom line's buffer, a state beside the place: while the line (0 or 1) is not what
  // the speaker serves live (neither the place nor a line the running conference joins), what
  // it receives is kept in its buffer, and the buffers play on the speaker whenever the place
  // is nothing (no normal call, no running conference), oldest first, line 0's before line
  // 1's. Starting an existing buffer keeps it; stopping releases it with whatever it had not
  // played. User-interface thread.
  virtual void StartIntercomBuffer(int line) = 0;
  virtual void StopIntercomBuffer(int line) = 0;
  // Unplayed audio of the line's buffer (0 without one).
  virtual std::uint64_t IntercomBufferedMs(int line) const = 0;
  // Told on the user-interface thread, again and again while a line's buffer plays (reports
  // that come faster than the thread takes them are merged). Empty: nobody is told.
  virtual void SetIntercomPlayedListener(std::function<void(int line)> listener) = 0;
  // Hears the levels of the sound hardware on the user-interface thread, in dB as the gain
  // control counts them (-127 silence; a quarter of full scale is 0): what the speaker plays
  // and what the microphone takes, while the path runs, and -127 for both when it stops.
  virtual void SetLevelsListener(std::function<void(int play, int record)> listener) { (void)listener; }
};

}  // namespace corvina::app
