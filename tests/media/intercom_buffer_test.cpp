// The intercom buffer: samples come out in order and sign intact, unplayed audio stops at
// 120 s (more is dropped, room comes back as it plays), and the file leaves no name behind.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "media/intercom_buffer.h"

namespace corvina::media {
namespace {

TEST(IntercomBufferTest, KeepsOrderAndStopsAt120SecondsWithoutANameInTmpdir) {
  char pattern[] = "/tmp/corvina-intercom-XXXXXX";
  const std::string dir = mkdtemp(pattern);
  setenv("TMPDIR", dir.c_str(), 1);
  std::shared_ptr<IntercomBuffer> buffer = IntercomBuffer::Create();
  unsetenv("TMPDIR");
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(rmdir(dir.c_str()), 0);  // empty: the file has no name

  const std::vector<std::int16_t> in = {1, -1, 32767, -32768, 258};
  EXPECT_EQ(buffer->Write(in), in.size());
  std::vector<std::int16_t> out(8);
  ASSERT_EQ(buffer->Read(out), in.size());
  EXPECT_EQ(std::vector<std::int16_t>(out.begin(), out.begin() + 5), in);
  EXPECT_EQ(buffer->Read(out), 0u);

  const std::vector<std::int16_t> second(8000, 7);
  for (int s = 0; s < 120; ++s) ASSERT_EQ(buffer->Write(second), second.size()) << s;
  EXPECT_EQ(buffer->BufferedMs(), 120'000u);
  EXPECT_EQ(buffer->Write(second), 0u);  // full: dropped
  std::vector<std::int16_t> block(160);
  EXPECT_EQ(buffer->Read(block), 160u);
  EXPECT_EQ(buffer->Write(second), 160u);  // only what played makes room
  EXPECT_EQ(buffer->BufferedMs(), 120'000u);
}

}  // namespace
}  // namespace corvina::media
