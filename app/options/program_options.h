// The option pages as the program runs them: link tests against the real servers inside a
// progress window, the program's recordings folder, and the folder test on the file system.
#pragma once

#include "app/options/options_page.h"
#include "platform/name_resolver.h"

namespace corvina::app {

// Runs `test` on a thread of its own while `window` (when given) shows `title`; closing the
// window sets the test's stop event and waits for the test to give up. Without a window the
// test runs to its end on this thread.
WaitResult RunTestInProgress(ProgressWindow* window, std::string_view title,
                             const std::function<bool(platform::Event* stop)>& test);

// `note` hears the boxes that do not end a confirm; `window` may be null (no cancelling).
// `resolver` outlives the environment; `dataFolder` is the program's recordings folder.
OptionsEnvironment MakeProgramOptionsEnvironment(platform::NameResolver& resolver, std::string dataFolder,
                                                 ProgressWindow* window,
                                                 std::function<void(const OptionsMessage&)> note);

}  // namespace corvina::app
