#include "net/http.h"

#include "net/http_request.h"
#include "net/http_transport.h"

namespace {

HttpResponse Post(std::string_view url, const Bytes& body, std::string_view contentType,
                  std::string_view accept, int timeoutMs, size_t maxBodyBytes = 0) {
  HttpRequest request;
  HttpResponse response;
  if (!MakeHttpPost(url, contentType, accept, body, timeoutMs, &request, &response.error)) return response;
  request.maxBodyBytes = maxBodyBytes;
  return SendHttpRequest(request);
}

}  // namespace

HttpResponse HttpPostJson(std::string_view url, const Bytes& body, int timeoutMs) {
  return Post(url, body, "application/json", "application/json", timeoutMs);
}

HttpResponse HttpPostBinary(std::string_view url, const Bytes& body, std::string_view contentType,
                            std::string_view accept, int timeoutMs, size_t maxBodyBytes) {
  return Post(url, body, contentType, accept, timeoutMs, maxBodyBytes);
}

HttpResponse HttpGet(std::string_view url, std::string_view accept, int timeoutMs, size_t maxBodyBytes) {
  HttpRequest request;
  HttpResponse response;
  if (!MakeHttpGet(url, accept, timeoutMs, &request, &response.error)) return response;
  request.maxBodyBytes = maxBodyBytes;
  return SendHttpRequest(request);
}
