// What the About box and the console's `about` say, and where the installed files of the
// product are found at run time.
#pragma once

#include <string>
#include <string_view>

namespace corvina::platform {

// The About text: product name and version, the build, and the libraries the phone links with
// their versions and licences. `qtVersion` is the Qt the window runs on (empty: built without
// the window).
std::string AboutText(std::string_view qtVersion);

// The user manual's HTML file, looked for relative to the running program (beside `corvina`
// in the build tree, and PREFIX/share/doc/corvina once installed); empty when it is missing.
std::string ManualFile();

}  // namespace corvina::platform
