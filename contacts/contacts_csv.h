// The address book as CSV: four columns by position (first name, last name, number, e-mail),
// commas only, no header line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "contacts/contact_store.h"

namespace corvina::contacts {

// The export bytes: every field quoted, a quote doubled, every byte of 32 or less a space,
// lines ended by CR LF, UTF-8 without a BOM.
std::string FormatContactsCsv(const std::vector<Contact>& contacts);

// Reads CSV bytes as exported by this program and by common mail programs: a UTF-8 BOM is
// skipped; UTF-16 (FF FE, FE FF, or little-endian without a BOM when the second byte is zero)
// is converted; a record that is not valid UTF-8 is read as Windows-1252. A quoted field runs
// to its closing quote ("" stands for one quote; a line break inside becomes a space; text
// after the closing quote up to the comma is dropped). A record keeps its first 8191 bytes;
// empty records are skipped; fields are cut to 259 units.
std::vector<Contact> ParseContactsCsv(std::string_view bytes);

// Writes the store's contacts, in store order, to a temporary file beside `path` and renames
// it over `path`. False with `error` set when that fails.
bool ExportContactsCsv(ContactStore& store, const std::string& path, std::string& error);

// Adds the file's contacts whose "%s %s" name no stored contact has as display name (ignoring
// case), reporting each name as the progress line under "Importing Contacts"; stops when
// `progress` is cancelled (the contacts added so far stay). Returns the number added, or -1
// with `error` set when the file cannot be read or the store cannot be written.
long ImportContactsCsv(ContactStore& store, const std::string& path, ProgressCallback* progress,
                       std::string& error);

}  // namespace corvina::contacts
