// A contact as one JSON object with the address book file's names:
//   {"firstname":…,"lastname":…,"phone":…,"email":…}
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "contacts/contact_store.h"

namespace corvina::app {

// Reads a flat object of string members; unknown members are refused, missing ones are empty.
// Nothing (with `error` set) for anything else.
std::optional<contacts::Contact> ParseContactJson(std::string_view json, std::string& error);

// The contact with its identifier, as `contacts list` shows it.
std::string ContactJson(const contacts::Contact& contact, long id);

}  // namespace corvina::app
