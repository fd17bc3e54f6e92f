#include "app/options/program_options.h"

#include <thread>

#include "media/lumo_source.h"
#include "media/orrin_link.h"

namespace corvina::app {

WaitResult RunTestInProgress(ProgressWindow* window, std::string_view title,
                             const std::function<bool(platform::Event* stop)>& test) {
  platform::Event stop(platform::Event::Mode::kManualReset);
  if (window == nullptr) return test(&stop) ? WaitResult::kDone : WaitResult::kFailed;
  platform::Event done(platform::Event::Mode::kManualReset);
  bool passed = false;  // written by the test's thread before `done` is set
  std::thread runner([&] {
    passed = test(&stop);
    done.Set();
  });
  const WaitResult waited =
      window->Run(title, [&done](ProgressSink& sink) { return sink.WaitOne(platform::WaitSource::Of(done),
                                                                            platform::kWaitInfinite); });
  stop.Set();  // every wait of a link test is cut short by it, so the join is bounded
  runner.join();
  if (waited == WaitResult::kCancelled) return WaitResult::kCancelled;
  return passed ? WaitResult::kDone : WaitResult::kFailed;
}

OptionsEnvironment MakeProgramOptionsEnvironment(platform::NameResolver& resolver, std::string dataFolder,
                                                 ProgressWindow* window,
                                                 std::function<void(const OptionsMessage&)> note) {
  OptionsEnvironment env;
  env.note = std::move(note);
  env.runTest = [window](std::string_view title, const std::function<bool(platform::Event*)>& test) {
    return RunTestInProgress(window, title, test);
  };
  env.testOrrin = [&resolver](const std::string& hosts, const std::string& code, platform::Event* stop) {
    media::OrrinLinkConfig config;
    config.hosts = hosts;
    config.accessCode = code;
    config.resolver = &resolver;
    return media::TestOrrinLink(config, stop);
  };
  env.testLumo = [&resolver](const std::string& server, platform::Event* stop) {
    media::LumoSourceConfig config;
    config.server = server;
    config.resolver = &resolver;
    return media::TestLumoLink(config, stop);
  };
  env.folderWritable = OptionsFolderWritable;
  env.recordingsFolder = std::move(dataFolder);
  return env;
}

}  // namespace corvina::app
