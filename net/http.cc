#include "net/http.h"

#include "net/http_request.h"
#include "net/http_transport.h"

namespace {

HttpResponse Post(std::string_view url, const Bytes& body, std::string_view contentType,
                  std::string_view accept, int timeoutMs) {
  HttpRequest request;
  HttpResponse response;
  if (!MakeHttpPost(url, contentType, accept, body, timeoutMs, &request, &response.error)) return response;
  return SendHttpRequest(request);
}

}  // namespace

HttpResponse HttpPostJson(std::string_view url, const Bytes& body, int timeoutMs) {
  return Post(url, body, "application/json", "application/json", timeoutMs);
}

HttpResponse HttpPostBinary(std::string_view url, const Bytes& body, std::string_view contentType,
                            std::string_view accept, int timeoutMs) {
  return Post(url, body, contentType, accept, timeoutMs);
}
