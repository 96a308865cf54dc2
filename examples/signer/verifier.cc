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
  // Read from the end: a signature is mostly in the latest revision, so a large signed file is
  // known as one long before a scan from its start would get there.
  constexpr size_t kChunk = size_t(1) << 20;
  const size_t overlap = needle.size() - 1;
  std::vector<char> buffer(kChunk + overlap);
  size_t kept = 0;  // the first bytes of the chunk read before, which follow this one
  for (uint64_t end = file.size(); end > 0;) {
    size_t len = static_cast<size_t>(std::min<uint64_t>(kChunk, end));
    end -= len;
    std::memmove(buffer.data() + len, buffer.data(), kept);
    size_t got = 0;
    if (!file.ReadAt(end, buffer.data(), len, &got) || got != len) return false;
    if (std::string_view(buffer.data(), len + kept).find(needle) != std::string_view::npos) return true;
    kept = std::min(overlap, len);
  }
  return false;
}
