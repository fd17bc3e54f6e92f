#include "contacts/profile_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tests/support/temp_folder.h"

namespace corvina::contacts {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
void WriteRaw(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(ProfileParse, Table) {
  const std::string u259(259, 'v');
  const std::string e3 = "\xE2\x82\xAC";  // one unit, three bytes
  struct Case {
    std::string bytes;
    ProfileData want;
  } cases[] = {
      // CR, LF, CR LF, LF CR and doubled ends all end lines; lines before a section are ignored.
      {"a=0\r[s]\rk=1\nl=2\r\nm=3\n\rn=4\r\r\n\no=5",
       {{"s", {{"k", "1"}, {"l", "2"}, {"m", "3"}, {"n", "4"}, {"o", "5"}}}}},
      // The first '=' splits; nothing is trimmed; a line without '=' is ignored.
      {"[s]\n k = a=b \nnoequals\n=empty\n", {{"s", {{" k ", " a=b "}, {"", "empty"}}}}},
      // Sections merge ignoring case; the last value of a key wins; "]" may be missing.
      {"[S]\nk=1\n[t\nx=y\n[s]\nK=2\nj=3\n", {{"S", {{"k", "2"}, {"j", "3"}}}, {"t", {{"x", "y"}}}}},
      // Values are cut to 259 units on a character boundary.
      {"[s]\nk=" + u259 + "extra\n", {{"s", {{"k", u259}}}}},
      {"[s]\nk=" + std::string(258, 'v') + e3 + e3 + "\n",
       {{"s", {{"k", std::string(258, 'v') + e3}}}}},
      // Invalid UTF-8 reads as U+FFFD.
      {"[s]\nk=a\xFF" "b\n", {{"s", {{"k", "a\xEF\xBF\xBD" "b"}}}}},
      // A line keeps 1103 bytes: the key after the cut is lost, the next line still counts.
      {"[s]\n" + std::string(1103, 'k') + "=x\nz=1\n", {{"s", {{"z", "1"}}}}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseProfile(c.bytes), c.want) << c.bytes;
}

TEST(ProfileStore, WritesBytesAndCleansValues) {
  testing::TempFolder dir;
  std::string path = dir.Sub("p.ini");
  EXPECT_EQ(profile::ReadString(path, "s", "k"), "");  // a missing file reads as empty
  EXPECT_EQ(profile::ReadInt(path, "s", "k"), 0);
  ASSERT_TRUE(profile::WriteString(path, "s", "k", std::string_view("a\r\nb\0c", 6)));
  ASSERT_TRUE(profile::WriteInt(path, "T", "n", 42));
  ASSERT_TRUE(profile::WriteString(path, "S", "K", "v"));  // same key, other case
  EXPECT_EQ(ReadAll(path), "[s]\r\nk=v\r\n\r\n[T]\r\nn=42\r\n\r\n");
  ASSERT_TRUE(profile::WriteString(path, "s", "k", "x\r\ny=z"));
  EXPECT_EQ(ReadAll(path), "[s]\r\nk=x  y=z\r\n\r\n[T]\r\nn=42\r\n\r\n");
  ASSERT_TRUE(profile::WriteString(path, "s", "k", std::nullopt));  // the header stays
  ASSERT_TRUE(profile::WriteString(path, "t", std::nullopt, std::nullopt));
  EXPECT_EQ(ReadAll(path), "[s]\r\n\r\n");
}

TEST(ProfileStore, SeesSameSizeRewriteByAnotherWriter) {
  testing::TempFolder dir;
  std::string path = dir.Sub("p.ini");
  WriteRaw(path, "[s]\nk=1\n");
  struct stat before{};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  EXPECT_EQ(profile::ReadString(path, "s", "k"), "1");
  // Same inode, same size, the same second: only the nanoseconds differ.
  WriteRaw(path, "[s]\nk=2\n");
  timespec times[2] = {before.st_atim, before.st_mtim};
  times[1].tv_nsec = (times[1].tv_nsec + 1000) % 1000000000;
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  EXPECT_EQ(profile::ReadString(path, "s", "k"), "2");
}

TEST(ProfileStore, FailedWriteKeepsOldFileAndMemory) {
  testing::TempFolder dir;
  std::string path = dir.Sub("p.ini");
  ASSERT_TRUE(profile::WriteString(path, "s", "k", "old"));
  std::string old = ReadAll(path);
  // Another writer holds the lock for longer than the write budget.
  int other = ::open((path + ".lock").c_str(), O_RDWR);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX), 0);
  EXPECT_FALSE(profile::WriteString(path, "s", "k", "new"));
  ::close(other);
  EXPECT_EQ(ReadAll(path), old);
  EXPECT_EQ(profile::ReadString(path, "s", "k"), "old");
  EXPECT_TRUE(profile::Flush(path));
  EXPECT_EQ(ReadAll(path), old);
}

}  // namespace
}  // namespace corvina::contacts
