#include "app/console/contact_verbs.h"

#include <charconv>
#include <filesystem>
#include <vector>

#include "app/console/contact_json.h"
#include "app/progress/contacts_import.h"
#include "contacts/contact_rules.h"
#include "contacts/contacts_csv.h"
#include "contacts/quick_lists.h"
#include "platform/product.h"

namespace corvina::app {
namespace {

constexpr const char* kUsage =
    "usage: contacts list | add JSON | edit ID JSON | delete ID… | import PATH | export PATH [overwrite]";

std::optional<long> ParseId(std::string_view text) {
  long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

std::optional<std::size_t> IndexOfId(contacts::ContactStore& store, long id) {
  for (std::size_t i = 0, n = store.Count(); i < n; ++i) {
    if (store.IdAt(i) == id) return i;
  }
  return std::nullopt;
}

// The rest of the raw line after `words` leading words (the JSON keeps its own quotes).
std::string_view RawAfterWords(std::string_view raw, int words) {
  for (int w = 0; w < words; ++w) {
    std::size_t start = raw.find_first_not_of(" \t");
    if (start == std::string_view::npos) return {};
    std::size_t end = raw.find_first_of(" \t", start);
    raw = end == std::string_view::npos ? std::string_view() : raw.substr(end);
  }
  std::size_t start = raw.find_first_not_of(" \t");
  return start == std::string_view::npos ? std::string_view() : raw.substr(start);
}

class ContactVerbs {
 public:
  explicit ContactVerbs(ContactVerbParts parts) : parts_(std::move(parts)) {}

  CommandReply Run(const CommandArgs& args) {
    contacts::ContactStore* store = parts_.store();
    if (store == nullptr) return CommandReply::Error("the phone has not started");
    if (args.Count() == 0) return CommandReply::Error(kUsage);
    const std::string& what = args[0];
    if (what == "list" && args.Count() == 1) return List(*store);
    if (what == "add" && args.Count() >= 2) return Save(*store, std::nullopt, RawAfterWords(args.Raw(), 1));
    if (what == "edit" && args.Count() >= 3) {
      std::optional<long> id = ParseId(args[1]);
      std::optional<std::size_t> index = id ? IndexOfId(*store, *id) : std::nullopt;
      if (!index) return CommandReply::Error("no contact " + args[1]);
      return Save(*store, index, RawAfterWords(args.Raw(), 2));
    }
    if (what == "delete" && args.Count() >= 2) return Delete(*store, args);
    if (what == "import" && args.Count() == 2) return Import(*store, args[1]);
    if (what == "export" && (args.Count() == 2 || (args.Count() == 3 && args[2] == "overwrite"))) {
      return Export(*store, args[1], args.Count() == 3);
    }
    return CommandReply::Error(kUsage);
  }

 private:
  CommandReply Refuse(const std::string& title, const std::string& text) {
    parts_.events.Emit(ConsoleEvent("messageBox").Add("title", title).Add("text", text));
    return CommandReply::Error(text);
  }

  CommandReply List(contacts::ContactStore& store) {
    std::string items = "[";
    for (std::size_t i = 0, n = store.Count(); i < n; ++i) {
      items += (i > 0 ? "," : "") + ContactJson(store.At(i), store.IdAt(i));
    }
    return CommandReply::Ok(JsonObject().AddRaw("contacts", items + "]").Str());
  }

  CommandReply Save(contacts::ContactStore& store, std::optional<std::size_t> index, std::string_view json) {
    std::string error;
    std::optional<contacts::Contact> contact = ParseContactJson(json, error);
    if (!contact) return CommandReply::Error(error);
    if (std::optional<std::string> refusal = contacts::SaveContact(store, *contact, index)) {
      return Refuse(std::string(platform::kProductName), *refusal);
    }
    std::size_t at = index ? *index : store.Count() - 1;
    return CommandReply::Ok(JsonObject().Add("id", static_cast<std::int64_t>(store.IdAt(at))).Str());
  }

  CommandReply Delete(contacts::ContactStore& store, const CommandArgs& args) {
    std::vector<long> ids;
    for (std::size_t i = 1; i < args.Count(); ++i) {
      std::optional<long> id = ParseId(args[i]);
      if (!id || !IndexOfId(store, *id)) return CommandReply::Error("no contact " + args[i]);
      ids.push_back(*id);
    }
    for (long id : ids) {
      // Its quick-transfer entries go with the contact.
      if (!contacts::DeleteContact(store, parts_.settings, id)) {
        return CommandReply::Error("the address book could not be saved");
      }
    }
    return CommandReply::Ok();
  }

  void RememberFolder(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (!folder.empty()) parts_.settings.SetSettingString("Settings", "SaveFolder", folder);
  }

  CommandReply Import(contacts::ContactStore& store, const std::string& path) {
    RememberFolder(path);
    std::string error;
    const long added = ImportContactsInWindow(parts_.progress, store, path, error);
    if (added < 0) return Refuse("Error", error);
    return CommandReply::Ok(JsonObject().Add("added", static_cast<std::int64_t>(added)).Str());
  }

  CommandReply Export(contacts::ContactStore& store, const std::string& path, bool overwrite) {
    RememberFolder(path);
    std::error_code ec;
    if (!overwrite && std::filesystem::exists(path, ec)) {
      return CommandReply::Ok(JsonObject().Add("written", false).Str());  // the question's Cancel
    }
    std::string error;
    if (!contacts::ExportContactsCsv(store, path, error)) return Refuse("Error", error);
    return CommandReply::Ok(JsonObject().Add("written", true).Str());
  }

  ContactVerbParts parts_;
};

}  // namespace

void RegisterContactVerbs(CommandProcessor& verbs, ContactVerbParts parts) {
  auto contactVerbs = std::make_shared<ContactVerbs>(std::move(parts));
  verbs.Register("contacts", kUsage, [contactVerbs](const CommandArgs& args) { return contactVerbs->Run(args); });
}

}  // namespace corvina::app
