#include "examples/signer/verifier.h"

#include <algorithm>
#include <cstring>

#include "certs/trust_anchors.h"
#include "pades/file_io.h"
#include "toolkit/app.h"

CVerifier::~CVerifier() {
  latest_->alive = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void CVerifier::SetAnchors(std::vector<Bytes> anchors) {
  std::lock_guard<std::mutex> lock(mutex_);
  anchors_ = std::move(anchors);
  anchorsSet_ = true;
}

void CVerifier::Start(const std::string& path, Replies replies) {
  app_ = Vy::VyApp::Current();
  uint64_t generation = ++latest_->generation;
  busy_ = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    path_ = path;
    replies_ = std::move(replies);
    requested_ = generation;
  }
  if (!thread_.joinable()) thread_ = std::thread(&CVerifier::Loop, this);
  wake_.notify_one();
}

void CVerifier::Cancel() {
  ++latest_->generation;
  busy_ = false;
}

void CVerifier::Deliver(uint64_t generation, std::function<void()> reply) {
  if (!app_) return;
  app_->Post([latest = latest_, generation, reply = std::move(reply)] {
    if (latest->alive && latest->generation == generation) reply();
  });
}

void CVerifier::Loop() {
  for (;;) {
    std::string path;
    Replies replies;
    uint64_t generation;
    std::vector<Bytes> anchors;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || requested_ != taken_; });
      if (stop_) return;
      taken_ = generation = requested_;
      path = path_;
      replies = replies_;
      if (!anchorsSet_) {
        anchors_ = SystemTrustAnchors();
        anchorsSet_ = true;
      }
      anchors = anchors_;
    }
    bool likely = FileMentions(path, "/ByteRange");
    if (replies.probed) Deliver(generation, [probed = replies.probed, likely] { probed(likely); });
    auto report = std::make_shared<VerifyReport>(VerifyPdf(path, anchors));
    Deliver(generation, [this, verified = replies.verified, report] {
      busy_ = false;
      if (verified) verified(*report);
    });
  }
}

bool FileMentions(const std::string& path, std::string_view needle) {
  InputFile file;
  if (needle.empty() || !file.Open(path)) return false;
  std::vector<char> buffer(size_t(1) << 20);
  size_t kept = 0;
  for (uint64_t offset = 0;;) {
    size_t got = 0;
    if (!file.ReadAt(offset, buffer.data() + kept, buffer.size() - kept, &got) || got == 0) return false;
    offset += got;
    std::string_view view(buffer.data(), kept + got);
    if (view.find(needle) != std::string_view::npos) return true;
    // The needle may straddle two reads: its length less one byte is carried over.
    kept = std::min(needle.size() - 1, view.size());
    std::memmove(buffer.data(), buffer.data() + view.size() - kept, kept);
  }
}
