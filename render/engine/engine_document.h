#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "render/engine/page_renderer.h"

namespace vyrender {

// EngineTask is one unit of work for a document's worker. It refers to its waiting caller's
// own variables and writes its results there.
using EngineTask = std::function<void()>;

// EngineDocument is the record behind one document handle: the renderer that holds the loaded
// PDF, the page count and the worker thread that makes every renderer call for it, so that a
// platform renderer's objects stay on one thread whatever thread the caller runs on.
class EngineDocument {
 public:
  explicit EngineDocument(std::unique_ptr<PageRenderer> renderer) : renderer_(std::move(renderer)) {}
  // The destructor stops the worker when Stop has not been called.
  ~EngineDocument() { Stop(); }
  EngineDocument(const EngineDocument&) = delete;
  EngineDocument& operator=(const EngineDocument&) = delete;

  // Start creates the worker thread. It returns false when the thread cannot be made.
  [[nodiscard]] bool Start();

  // RunOnWorker queues `task` and waits until it has run. Once the document is stopping the
  // task is dropped unrun. An exception escaping the task is held and never rethrown: the
  // caller then finds its result variables as the task left them.
  void RunOnWorker(EngineTask task);
  // PostToWorker queues `task` and returns at once; the task must own what it uses. It is
  // dropped like RunOnWorker's once the document is stopping.
  void PostToWorker(EngineTask task);
  // CallerWaiting is true while a RunOnWorker task waits in the queue: work nobody waits for
  // (a prefetch) gives way to it.
  bool CallerWaiting();

  // Stop lets the worker finish every queued task, then joins it; the worker releases the
  // renderer on its own thread before it ends. Tasks queued afterwards are not run.
  void Stop();

  // The renderer may be used only from inside a task.
  PageRenderer& Renderer() { return *renderer_; }
  // Prefetched rasters: rendered on the worker, handed over on any thread, so that a caller
  // whose page is ready does not wait for the worker to wake. TakePrefetched moves out the
  // raster of (index, width) when one is kept; KeepPrefetched keeps the latest kPrefetchKept.
  static constexpr size_t kPrefetchKept = 2;
  bool HasPrefetched(int index, int width);
  bool TakePrefetched(int index, int width, Raster* raster);
  void KeepPrefetched(int index, int width, Raster raster);
  // The page count is written by the open task before the handle is handed out and never
  // changes afterwards, so callers read it without the lock.
  int PageCount() const { return pageCount_; }
  void SetPageCount(int count) { pageCount_ = count; }

  // QueuedTasks is the number of tasks waiting for the worker; IsStopping is true from Stop on.
  size_t QueuedTasks();
  bool IsStopping();

 private:
  struct Queued {
    std::packaged_task<void()> task;
    bool waited = false;  // a caller waits for it
  };
  struct Prefetched {
    int index;
    int width;
    Raster raster;
  };
  void WorkerLoop();

  std::unique_ptr<PageRenderer> renderer_;
  int pageCount_ = 0;
  std::thread worker_;
  std::mutex mutex_;  // guards the queue and both flags
  std::condition_variable wake_;
  std::deque<Queued> queue_;
  size_t waitedTasks_ = 0;
  bool started_ = false;
  bool stop_ = false;
  std::mutex prefetchMutex_;  // guards prefetched_
  std::deque<Prefetched> prefetched_;
};

}  // namespace vyrender
