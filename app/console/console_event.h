// The console protocol's events: one line `event {"event":NAME,...}` each, to standard output
// and to every control client. An event about one phone line names it right after its name:
//   event {"event":"callState","line":1,"state":"Connected"}
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/console/json_writer.h"

namespace corvina::app {

class ConsoleEvent {
 public:
  explicit ConsoleEvent(std::string_view name) { json_.Add("event", name); }
  // The phone line the event concerns.
  ConsoleEvent& ForLine(int line) {
    json_.Add("line", line);
    return *this;
  }
  template <typename Value>
  ConsoleEvent& Add(std::string_view key, Value value) {
    json_.Add(key, value);
    return *this;
  }
  ConsoleEvent& AddRaw(std::string_view key, std::string_view json) {
    json_.AddRaw(key, json);
    return *this;
  }
  std::string Json() const { return json_.Str(); }
  // The protocol line, without its end.
  std::string Text() const { return "event " + Json(); }

 private:
  JsonObject json_;
};

// Where the phone's events go (the console view; a recording fake in tests).
class ConsoleEventSink {
 public:
  virtual ~ConsoleEventSink() = default;
  // User-interface thread only; never blocks.
  virtual void Emit(const ConsoleEvent& event) = 0;
};

}  // namespace corvina::app
