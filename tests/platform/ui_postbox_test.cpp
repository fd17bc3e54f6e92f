// The user-interface postbox: move-only tasks in order and in batches, nothing run or woken
// once the loop has detached (even when the loop is gone), an owner's pending tasks
// cancelled with it, and a bound that drops instead of blocking.
#include "platform/ui_postbox.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "platform/headless_loop.h"
#include "platform/manual_loop.h"

namespace corvina::platform {
namespace {

// Counts its own destruction, so a test sees when a dropped task's payload is freed.
struct Payload {
  explicit Payload(std::atomic<int>& freed) : freed(freed) {}
  ~Payload() { ++freed; }
  std::atomic<int>& freed;
};

TEST(UiPostbox, MoveOnlyTasksRunInOrderAndThosePostedDuringABatchWaitForTheNext) {
  UiPostbox postbox;
  ManualUiLoop loop(postbox);
  std::string trace;
  std::atomic<int> freed{0};
  auto payload = std::make_unique<Payload>(freed);
  EXPECT_TRUE(postbox.Post([&trace, p = std::move(payload)] { trace += p ? 'a' : '?'; }));
  postbox.Post([&] {
    trace += 'b';
    postbox.Post([&] { trace += 'c'; });
  });
  EXPECT_EQ(loop.RunOneBatch(), 2);
  EXPECT_EQ(trace, "ab");
  EXPECT_EQ(freed, 1);  // the task and what it carried are gone once it ran
  EXPECT_EQ(loop.RunOneBatch(), 1);
  EXPECT_EQ(trace, "abc");
}

TEST(UiPostbox, APostAfterTheLoopDetachedIsDroppedWithoutTouchingTheLoop) {
  UiPostbox postbox;
  std::atomic<int> freed{0};
  std::atomic<bool> ran{false};
  {
    auto loop = std::make_unique<HeadlessLoop>();
    ASSERT_TRUE(loop->Attach(postbox));
    postbox.Post([&ran, p = std::make_unique<Payload>(freed)] { ran = true; });
    loop.reset();  // destroyed without running: detaches and drops the pending task
  }
  EXPECT_EQ(freed, 1);
  // A worker that still posts reaches no loop (ASan would see a freed one) and loses its task.
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) {
      EXPECT_FALSE(postbox.Post([&ran, p = std::make_unique<Payload>(freed)] { ran = true; }));
    }
  });
  worker.join();
  EXPECT_EQ(freed, 101);
  EXPECT_FALSE(ran);
  EXPECT_EQ(postbox.PendingCount(), 0u);
  EXPECT_EQ(postbox.GetCounters().droppedDetached, 101u);

  // A later loop attaches to the same postbox and gets only what is posted from then on.
  ManualUiLoop next(postbox);
  postbox.Post([&] { ran = true; });
  EXPECT_EQ(next.RunPending(), 1);
  EXPECT_TRUE(ran);
}

TEST(UiPostbox, DestroyingAnOwnerCancelsItsPendingTasksAtOnce) {
  UiPostbox postbox;
  ManualUiLoop loop(postbox);
  std::string trace;
  std::atomic<int> freed{0};
  auto line1 = std::make_unique<PostOwner>(postbox);
  auto line2 = std::make_unique<PostOwner>(postbox);
  auto view = std::make_unique<PostOwner>(postbox);
  EXPECT_NE(line1->Id(), line2->Id());
  line1->Post([&trace, p = std::make_unique<Payload>(freed)] { trace += '1'; });
  line2->Post([&] { trace += '2'; });
  // Within one batch: a task that destroys an owner stops that owner's later tasks too.
  postbox.Post([&] { view.reset(); });
  view->Post([&] { trace += 'v'; });
  postbox.Post([&] { trace += 'x'; });

  line1.reset();
  EXPECT_EQ(freed, 1);  // freed when the owner went, not when the loop came round
  EXPECT_EQ(loop.RunPending(), 3);
  EXPECT_EQ(trace, "2x");
  EXPECT_EQ(postbox.GetCounters().cancelled, 2u);
}

TEST(UiPostbox, AFullPostboxDropsNewTasksAndCountsThem) {
  UiPostbox postbox(3);
  ManualUiLoop loop(postbox);
  int ran = 0;
  for (int i = 0; i < 5; ++i) postbox.Post([&] { ++ran; });
  EXPECT_EQ(postbox.PendingCount(), 3u);
  EXPECT_EQ(postbox.GetCounters().droppedFull, 2u);
  EXPECT_EQ(loop.RunPending(), 3);
  EXPECT_TRUE(postbox.Post([&] { ++ran; }));  // room again
  loop.RunPending();
  EXPECT_EQ(ran, 4);
}

}  // namespace
}  // namespace corvina::platform
