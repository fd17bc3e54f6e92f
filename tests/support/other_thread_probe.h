// Shows that a callback runs without holding a lock: from inside it, an action needing that lock
// runs on a thread of its own and must finish within 5 s. The threads are joined when the probe
// goes, so a lock held at that moment fails the test instead of hanging it.
#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <thread>
#include <vector>

namespace corvina::testing {

class OtherThreadProbe {
 public:
  ~OtherThreadProbe() {
    for (auto& t : threads_) t.join();
  }
  bool Finishes(std::function<void()> action) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    threads_.emplace_back([action = std::move(action), done] {
      action();
      done->set_value();
    });
    return finished.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  }

 private:
  std::vector<std::thread> threads_;
};

}  // namespace corvina::testing
