#include "app/reg_tool.h"

#include "platform/settings.h"

namespace corvina::app {
namespace {

constexpr const char* kUsage =
    "usage: corvina reg list [SECTION]\n"
    "       corvina reg get SECTION NAME\n"
    "       corvina reg set SECTION NAME VALUE\n"
    "       corvina reg delete SECTION [NAME]\n";

int Usage(std::ostream& err, const std::string& problem) {
  err << "error: " << problem << "\n" << kUsage;
  return 2;
}

std::string RootPath() {
  // The product key itself: the section path of the empty section, without its separator.
  std::string path = platform::Settings::SectionPath("");
  if (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace

int RunRegTool(const std::vector<std::string>& args, platform::SettingsStore& store, std::ostream& out,
               std::ostream& err) {
  if (args.empty()) return Usage(err, "missing command");
  const std::string& verb = args[0];
  const std::size_t n = args.size() - 1;

  if (verb == "list") {
    if (n > 1) return Usage(err, "list takes at most one section");
    std::string path = n == 0 ? RootPath() : platform::Settings::SectionPath(args[1]);
    if (n == 1 && !store.KeyExists(path)) {
      err << "error: no section \"" << args[1] << "\"\n";
      return 1;
    }
    for (const auto& [name, value] : store.ListValues(path)) out << name << "=" << value << "\n";
    // Each sub-key by its full section name, as `list`, `get`, `set` and `delete` take it.
    const std::string prefix = n == 0 ? std::string() : args[1] + "\\";
    for (const std::string& sub : store.ListSubKeys(path)) out << "[" << prefix << sub << "]\n";
    return 0;
  }
  if (verb == "get") {
    if (n != 2) return Usage(err, "get takes a section and a name");
    auto value = store.ReadValue(platform::Settings::SectionPath(args[1]), args[2]);
    if (!value) {
      err << "error: no value \"" << args[2] << "\" in section \"" << args[1] << "\"\n";
      return 1;
    }
    out << *value << "\n";
    return 0;
  }
  if (verb == "set") {
    if (n != 3) return Usage(err, "set takes a section, a name and a value");
    if (args[1].empty() || args[2].empty()) return Usage(err, "section and name must not be empty");
    if (!store.WriteValue(platform::Settings::SectionPath(args[1]), args[2], args[3])) {
      err << "error: the settings store could not be written\n";
      return 1;
    }
    return 0;
  }
  if (verb == "delete") {
    if (n < 1 || n > 2) return Usage(err, "delete takes a section and optionally a name");
    if (args[1].empty()) return Usage(err, "section must not be empty");
    std::string path = platform::Settings::SectionPath(args[1]);
    if (n == 2) {
      if (!store.DeleteValue(path, args[2])) {
        err << "error: no value \"" << args[2] << "\" in section \"" << args[1] << "\"\n";
        return 1;
      }
      return 0;
    }
    if (!store.DeleteKey(path)) {
      err << "error: no section \"" << args[1] << "\"\n";
      return 1;
    }
    return 0;
  }
  return Usage(err, "unknown command \"" + verb + "\"");
}

}  // namespace corvina::app
