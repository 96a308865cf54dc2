#include "examples/quillmark/tsa_post.h"

#include "net/http.h"

namespace {

// Revocation services answer in well under a second; a list of a large authority is a few
// megabytes. Anything slower or larger is refused rather than waited for or held.
constexpr int kFetchTimeoutMs = 10000;
constexpr size_t kFetchLimit = size_t(10) << 20;

FetchAnswer Answer(HttpResponse response) {
  return {response.status, std::move(response.body), std::move(response.error)};
}

}  // namespace

TimestampPost TsaPost(const std::string& url) {
  return [url](const Bytes& request, Bytes* response, std::string* error) {
    HttpResponse answer = HttpPostBinary(url, request, "application/timestamp-query",
                                         "application/timestamp-reply", 0, kFetchLimit);
    if (!answer.error.empty()) {
      *error = "la autoridad de sellado de tiempo (" + url + ") no respondio: " + answer.error;
      return false;
    }
    if (answer.status != 200) {
      *error = "la autoridad de sellado de tiempo (" + url + ") respondio con el estado HTTP " +
               std::to_string(answer.status) + ".";
      return false;
    }
    *response = std::move(answer.body);
    return true;
  };
}

Network RevocationNetwork() {
  Network network;
  network.postOcsp = [](const std::string& url, const Bytes& request) {
    return Answer(HttpPostBinary(url, request, "application/ocsp-request", "application/ocsp-response",
                                 kFetchTimeoutMs, kFetchLimit));
  };
  network.get = [](const std::string& url, const std::string& accept) {
    return Answer(HttpGet(url, accept, kFetchTimeoutMs, kFetchLimit));
  };
  return network;
}
