#include "render/engine/engine_document.h"

#include <system_error>

namespace vyrender {

bool EngineDocument::Start() {
  try {
    worker_ = std::thread(&EngineDocument::WorkerLoop, this);
  } catch (const std::system_error&) {
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  started_ = true;
  return true;
}

void EngineDocument::RunOnWorker(EngineTask task) {
  std::packaged_task<void()> completion(std::move(task));
  std::future<void> done = completion.get_future();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_ || !started_) return;
    queue_.push_back({std::move(completion), true});
    ++waitedTasks_;
  }
  wake_.notify_one();
  // wait(), not get(): an exception stays in the future.
  done.wait();
}

void EngineDocument::PostToWorker(EngineTask task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_ || !started_) return;
    queue_.push_back({std::packaged_task<void()>(std::move(task)), false});
  }
  wake_.notify_one();
}

bool EngineDocument::CallerWaiting() {
  std::lock_guard<std::mutex> lock(mutex_);
  return waitedTasks_ > 0;
}

bool EngineDocument::HasPrefetched(int index, int width) {
  std::lock_guard<std::mutex> lock(prefetchMutex_);
  for (const Prefetched& p : prefetched_)
    if (p.index == index && p.width == width) return true;
  return false;
}

bool EngineDocument::TakePrefetched(int index, int width, Raster* raster) {
  std::lock_guard<std::mutex> lock(prefetchMutex_);
  for (auto it = prefetched_.begin(); it != prefetched_.end(); ++it) {
    if (it->index != index || it->width != width) continue;
    *raster = std::move(it->raster);
    prefetched_.erase(it);
    return true;
  }
  return false;
}

void EngineDocument::KeepPrefetched(int index, int width, Raster raster) {
  std::lock_guard<std::mutex> lock(prefetchMutex_);
  prefetched_.push_back({index, width, std::move(raster)});
  while (prefetched_.size() > kPrefetchKept) prefetched_.pop_front();
}

void EngineDocument::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
  renderer_.reset();  // when the worker never started
}

size_t EngineDocument::QueuedTasks() {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}

bool EngineDocument::IsStopping() {
  std::lock_guard<std::mutex> lock(mutex_);
  return stop_;
}

void EngineDocument::WorkerLoop() {
  for (;;) {
    std::packaged_task<void()> task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
      if (queue_.empty()) break;  // stopping, and every queued task has run
      task = std::move(queue_.front().task);
      if (queue_.front().waited) --waitedTasks_;
      queue_.pop_front();
    }
    task();
  }
  {
    std::lock_guard<std::mutex> lock(prefetchMutex_);
    prefetched_.clear();
  }
  renderer_.reset();
}

}  // namespace vyrender
