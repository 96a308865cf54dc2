// The per-document worker: queue order, stopping with tasks queued, exceptions held.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "render/engine/engine_document.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::WaitFor;
using vyrender::EngineDocument;

TEST(Worker, RunsQueuedTasksInOrderBeforeItStops) {
  EngineDocument document(nullptr);
  ASSERT_TRUE(document.Start());

  // An exception escaping a task reaches neither the worker nor the caller.
  bool after = false;
  document.RunOnWorker([] { throw std::runtime_error("tarea"); });
  document.RunOnWorker([&] { after = true; });
  EXPECT_TRUE(after);

  std::mutex mutex;
  std::condition_variable released;
  bool release = false;
  std::atomic<bool> blocking{false};
  std::vector<int> order;  // written only on the worker
  std::vector<std::thread> callers;
  callers.emplace_back([&] {
    document.RunOnWorker([&] {
      blocking = true;
      std::unique_lock<std::mutex> lock(mutex);
      released.wait(lock, [&] { return release; });
      order.push_back(0);
    });
  });
  ASSERT_TRUE(WaitFor([&] { return blocking.load(); }, 10));
  // Callers queue one after the other, so the queue order is known.
  for (int i = 1; i <= 3; ++i) {
    callers.emplace_back([&, i] { document.RunOnWorker([&, i] { order.push_back(i); }); });
    ASSERT_TRUE(WaitFor([&] { return document.QueuedTasks() == static_cast<size_t>(i); }, 10));
  }
  std::thread closer([&] { document.Stop(); });
  ASSERT_TRUE(WaitFor([&] { return document.IsStopping(); }, 10));
  bool late = false;
  document.RunOnWorker([&] { late = true; });  // dropped at once, not run
  {
    std::lock_guard<std::mutex> lock(mutex);
    release = true;
  }
  released.notify_all();
  closer.join();
  for (std::thread& caller : callers) caller.join();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_FALSE(late);
}

}  // namespace
