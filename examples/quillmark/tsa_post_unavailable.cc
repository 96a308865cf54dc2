#include "examples/quillmark/tsa_post.h"

// Builds without an HTTP client cannot reach an authority; they say so instead of signing
// without the time stamp or the validation data that was asked for.
TimestampPost TsaPost(const std::string& url) {
  return [url](const Bytes&, Bytes*, std::string* error) {
    *error = "esta version de quillmark no tiene cliente HTTP para la autoridad de sellado de tiempo (" +
             url + ").";
    return false;
  };
}

Network RevocationNetwork() {
  Network network;
  auto unavailable = [](const std::string& url) {
    FetchAnswer answer;
    answer.error = "esta version de quillmark no tiene cliente HTTP (" + url + ").";
    return answer;
  };
  network.postOcsp = [unavailable](const std::string& url, const Bytes&) { return unavailable(url); };
  network.get = [unavailable](const std::string& url, const std::string&) { return unavailable(url); };
  return network;
}
