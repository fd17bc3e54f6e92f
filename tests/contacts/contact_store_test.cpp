#include <fstream>
#include <sstream>

#include "contacts/contact_rules.h"
#include "contacts/contacts_csv.h"
#include "contacts/ini_contact_store.h"
#include "tests/support/temp_folder.h"

namespace corvina::contacts {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::pair<long, std::string>> Listing(ContactStore& store) {
  std::vector<std::pair<long, std::string>> out;
  for (std::size_t i = 0; i < store.Count(); ++i) {
    out.emplace_back(store.IdAt(i), store.At(i).firstName);
  }
  return out;
}

TEST(IniContactStore, AddBytesDeleteAndIdReuse) {
  testing::TempFolder dir;
  IniContactStore store(dir.Sub("contacts.ini"));
  EXPECT_EQ(store.Add({"A", "", "100", ""}), 0);
  EXPECT_EQ(ReadAll(store.Path()),
            "[contacts]\r\nentry0id=0\r\nentry0firstname=A\r\nentry0phone=100\r\n"
            "entrycount=1\r\n\r\n");
  EXPECT_EQ(store.Add({"B", "b", "", "b@x.org"}), 1);
  EXPECT_EQ(store.Add({"C", "", "", ""}), 2);
  EXPECT_TRUE(store.Delete(0));
  EXPECT_EQ(Listing(store), (std::vector<std::pair<long, std::string>>{{1, "B"}, {2, "C"}}));
  EXPECT_EQ(store.At(0), (Contact{"B", "b", "", "b@x.org"}));
  EXPECT_EQ(store.Add({"D", "", "", ""}), 2);
  EXPECT_EQ(store.IdAt(2), 0);  // the freed identifier comes back
  EXPECT_TRUE(store.Update(1, {"C2", "", "7", ""}));
  EXPECT_EQ(store.At(1), (Contact{"C2", "", "7", ""}));
  EXPECT_FALSE(store.Update(3, {"X", "", "", ""}));
  EXPECT_EQ(store.At(0).email, "b@x.org");
}

TEST(IniContactStore, RefusalsChangeNothing) {
  testing::TempFolder dir;
  IniContactStore store(dir.Sub("contacts.ini"));
  EXPECT_FALSE(store.Delete(0));  // empty store: no entrycount of -1
  store.Add({"A", "", "", ""});
  store.Add({"B", "", "", ""});
  std::string before = ReadAll(store.Path());
  EXPECT_FALSE(store.Delete(5));  // unknown: the last contact stays
  EXPECT_EQ(ReadAll(store.Path()), before);
  // A corrupt count is clamped to the section's keys.
  std::ofstream(dir.Sub("bad.ini"), std::ios::binary) << "[contacts]\nentrycount=999999999\nentry0id=0\n";
  IniContactStore bad(dir.Sub("bad.ini"));
  EXPECT_EQ(bad.Count(), 2u);
}

TEST(ContactsCsv, ParseTable) {
  struct Case {
    std::string bytes;
    std::vector<Contact> want;
  } cases[] = {
      {"\"A\"\"x\"\"\",\"B, b\",\"1\",\"e@x.org\",extra\r\nC,D\r\n\r\n,,,\n",
       {{"A\"x\"", "B, b", "1", "e@x.org"}, {"C", "D", "", ""}}},
      // A line break inside quotes (a Google or Outlook note) stays in the field as a space.
      {"\"Ann\",\"Lee\",\"1\",\"a@b.cc\",\"line one\r\nline two\"\nBob,,2,\n",
       {{"Ann", "Lee", "1", "a@b.cc"}, {"Bob", "", "2", ""}}},
      // Text after a closing quote is dropped; a UTF-8 BOM is skipped.
      {"\xEF\xBB\xBF\"A\"junk,B\n", {{"A", "B", "", ""}}},
      // Outlook ANSI: Windows-1252.
      {"Ren\xE9,M\xFCller,\x80\n", {{"Ren\xC3\xA9", "M\xC3\xBCller", "\xE2\x82\xAC", ""}}},
      // UTF-16LE with and without BOM, UTF-16BE.
      {std::string("\xFF\xFE" "A\0,\0B\0\r\0\n\0", 12), {{"A", "B", "", ""}}},
      {std::string("A\0,\0B\0", 6), {{"A", "B", "", ""}}},
      {std::string("\xFE\xFF\0A\0,\0B", 8), {{"A", "B", "", ""}}},
      // Fields are cut to 259 units; a record keeps 8191 bytes and its rest is dropped.
      {std::string(300, 'x') + "," + std::string(9000, 'y') + ",tail\nZ\n",
       {{std::string(259, 'x'), std::string(259, 'y'), "", ""}, {"Z", "", "", ""}}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseContactsCsv(c.bytes), c.want) << c.bytes;
}

struct Counting : ProgressCallback {
  void Begin(const std::string& t) override { title = t; }
  void Update(const std::string& line, double) override {
    if (!line.empty()) lines.push_back(line);
  }
  bool Cancelled() override { return lines.size() >= cancelAfter; }
  std::string title;
  std::vector<std::string> lines;
  std::size_t cancelAfter = 1000;
};

TEST(ContactsCsv, ExportImportRoundTripAndCancel) {
  testing::TempFolder dir;
  IniContactStore store(dir.Sub("contacts.ini"));
  store.Add({"Ann", "O\"Neil", "sip:ann@x.org", "ann@x.org"});
  store.Add({"Bob", "", "2\t3", ""});
  std::string error;
  ASSERT_TRUE(ExportContactsCsv(store, dir.Sub("out.csv"), error)) << error;
  EXPECT_EQ(ReadAll(dir.Sub("out.csv")),
            "\"Ann\",\"O\"\"Neil\",\"sip:ann@x.org\",\"ann@x.org\"\r\n\"Bob\",\"\",\"2 3\",\"\"\r\n");
  IniContactStore other(dir.Sub("other.ini"));
  other.Add({"ann", "o\"neil", "", ""});  // same name in another case: skipped
  Counting progress;
  EXPECT_EQ(ImportContactsCsv(other, dir.Sub("out.csv"), &progress, error), 1);
  EXPECT_EQ(progress.title, "Importing Contacts");
  EXPECT_EQ(progress.lines, (std::vector<std::string>{"Ann O\"Neil", "Bob "}));
  EXPECT_EQ(other.At(1), (Contact{"Bob", "", "2 3", ""}));
  IniContactStore third(dir.Sub("third.ini"));
  Counting cancel;
  cancel.cancelAfter = 1;
  EXPECT_EQ(ImportContactsCsv(third, dir.Sub("out.csv"), &cancel, error), 1);
  EXPECT_EQ(ImportContactsCsv(third, dir.Sub("missing.csv"), nullptr, error), -1);
  EXPECT_FALSE(error.empty());
}

TEST(ContactRules, SaveRefusals) {
  testing::TempFolder dir;
  IniContactStore store(dir.Sub("contacts.ini"));
  ASSERT_EQ(SaveContact(store, {"  Ann ", "Lee", "1", "a@b.cc"}, std::nullopt), std::nullopt);
  EXPECT_EQ(store.At(0).firstName, "Ann");
  struct Case {
    Contact c;
    std::optional<std::size_t> edited;
    std::optional<std::string> want;
  } cases[] = {
      {{"B", "", "", "a@b.c"}, std::nullopt, kInvalidEmailText},
      {{"B", "", "", "@b.cc"}, std::nullopt, kInvalidEmailText},
      {{"B", "", "", "a.b@cc"}, std::nullopt, kInvalidEmailText},
      {{"B", "", "", "a@b.cc"}, std::nullopt, std::nullopt},
      {{"  ", " ", "1", ""}, std::nullopt, kInvalidNameText},
      {{"Ann", "Lee ", "", ""}, std::nullopt, kDuplicateNameText},
      {{"Ann", "Lee", "2", ""}, std::size_t{0}, std::nullopt},  // the edited contact itself
  };
  for (auto& c : cases) EXPECT_EQ(CheckContact(store, c.c, c.edited), c.want) << c.c.email;
}

}  // namespace
}  // namespace corvina::contacts
