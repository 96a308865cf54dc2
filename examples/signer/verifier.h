#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/bytes.h"
#include "pades/verify.h"

namespace Vy {
class VyApp;
}

// CVerifier verifies the signatures of the shown document on a thread of its own, so that the
// window never waits for a large file, and reports back on the interface thread through the
// application's loop: first whether the file seems to carry signatures at all (so the window
// can say it is verifying), then the report. Only the latest request is answered: a new one or
// Cancel silences the verification at hand, which finishes unreported. Without an application
// nothing is reported.
class CVerifier {
 public:
  struct Replies {
    std::function<void(bool signaturesLikely)> probed;
    std::function<void(const VerifyReport&)> verified;
  };

  CVerifier() = default;
  // The destructor silences every request and waits for the verification at hand.
  ~CVerifier();
  CVerifier(const CVerifier&) = delete;
  CVerifier& operator=(const CVerifier&) = delete;

  // SetAnchors replaces the system's trusted roots (read on the thread at first use).
  void SetAnchors(std::vector<Bytes> anchors);
  // Start verifies `path`; Cancel forgets every request. Both are for the interface thread.
  void Start(const std::string& path, Replies replies);
  void Cancel();
  // Busy is true from Start until its report was delivered or silenced.
  bool Busy() const { return busy_; }

 private:
  // Shared with the tasks posted to the loop, which may run after the verifier is gone.
  struct Latest {
    uint64_t generation = 0;  // touched on the interface thread only
    bool alive = true;
  };

  void Loop();
  void Deliver(uint64_t generation, std::function<void()> reply);

  std::mutex mutex_;  // guards the request, the anchors and stop_
  std::condition_variable wake_;
  std::string path_;
  uint64_t requested_ = 0;  // generation of the latest request
  uint64_t taken_ = 0;      // the latest the thread took
  Replies replies_;
  bool anchorsSet_ = false;
  std::vector<Bytes> anchors_;
  bool stop_ = false;
  bool busy_ = false;
  Vy::VyApp* app_ = nullptr;
  std::shared_ptr<Latest> latest_ = std::make_shared<Latest>();
  std::thread thread_;
};

// FileMentions tells whether the file at `path` contains `needle` (a short byte string); false
// when it cannot be read. A signed PDF names /ByteRange in plain bytes: signature dictionaries
// cannot be compressed, their byte positions being what is signed.
bool FileMentions(const std::string& path, std::string_view needle);
