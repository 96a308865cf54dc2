// The HTTP transport on libcurl. Everything the request says was decided by MakeHttpPost;
// this file only maps it onto libcurl's options and libcurl's outcome back onto HttpResponse.
#include <curl/curl.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "net/http_transport.h"

namespace {

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

// What the callbacks see while the exchange runs.
struct Exchange {
  CURL* easy = nullptr;
  HttpResponse* response = nullptr;
  size_t maxBodyBytes = 0;   // 0: no limit
  bool headersDone = false;  // the final (non-1xx) response's headers have all arrived
  bool tooLarge = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* exchange = static_cast<Exchange*>(user);
  Bytes& body = exchange->response->body;
  size_t take = size * count;
  if (exchange->maxBodyBytes && take > exchange->maxBodyBytes - body.size()) {
    // Taking less than offered makes libcurl end the transfer with a write error.
    take = exchange->maxBodyBytes - body.size();
    exchange->tooLarge = true;
  }
  body.insert(body.end(), data, data + take);
  return exchange->tooLarge ? 0 : take;
}

// The blank line that ends a header block; interim 1xx blocks do not count.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* exchange = static_cast<Exchange*>(user);
  const std::string_view line(data, size * count);
  if (line == "\r\n" || line == "\n") {
    long code = 0;
    curl_easy_getinfo(exchange->easy, CURLINFO_RESPONSE_CODE, &code);
    if (code >= 200) exchange->headersDone = true;
  }
  return size * count;
}

// AddHeader builds the list without leaking what was built so far when an append fails.
bool AddHeader(HeaderList* list, const std::string& line) {
  curl_slist* grown = curl_slist_append(list->get(), line.c_str());
  if (!grown) return false;
  list->release();
  list->reset(grown);
  return true;
}

std::string ErrorText(CURLcode code, const char* detail) {
  if (detail[0]) return detail;
  const char* text = curl_easy_strerror(code);
  if (text && text[0]) return text;
  return "error HTTP " + std::to_string(static_cast<int>(code));
}

// SetOptions returns the first option libcurl refused, or CURLE_OK.
CURLcode SetOptions(CURL* easy, const HttpRequest& request, const std::string& url, curl_slist* headers,
                    Exchange* exchange, char* errorBuffer) {
  static const char kEmpty[] = "";
  CURLcode result = CURLE_OK;
  auto set = [&](CURLoption option, auto value) {
    if (result == CURLE_OK) result = curl_easy_setopt(easy, option, value);
  };
  set(CURLOPT_ERRORBUFFER, errorBuffer);
  set(CURLOPT_URL, url.c_str());
  set(CURLOPT_PROTOCOLS_STR, "http,https");
  set(CURLOPT_FOLLOWLOCATION, 0L);
  set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  set(CURLOPT_USERAGENT, kHttpUserAgent);
  set(CURLOPT_HTTPHEADER, headers);
  if (request.get) {
    set(CURLOPT_HTTPGET, 1L);
  } else {
    const Bytes& body = *request.body;
    set(CURLOPT_POST, 1L);
    // A null POSTFIELDS would make libcurl read the body from standard input.
    set(CURLOPT_POSTFIELDS, body.empty() ? kEmpty : reinterpret_cast<const char*>(body.data()));
    set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  }
  set(CURLOPT_SSLVERSION,
      static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
  set(CURLOPT_SSL_VERIFYPEER, 1L);
  set(CURLOPT_SSL_VERIFYHOST, 2L);
  // libcurl keeps its built-in bundle path unless told otherwise; OpenSSL's own programs
  // take a private CA bundle from SSL_CERT_FILE, and so does this client.
  if (const char* bundle = std::getenv("SSL_CERT_FILE"); bundle && bundle[0]) set(CURLOPT_CAINFO, bundle);
  set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.timeoutMs));
  set(CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeoutMs));
  set(CURLOPT_NOSIGNAL, 1L);
  // A proxy's CONNECT answer must not pass for the server's headers.
  set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  set(CURLOPT_WRITEFUNCTION, OnBody);
  set(CURLOPT_WRITEDATA, exchange);
  set(CURLOPT_HEADERFUNCTION, OnHeader);
  set(CURLOPT_HEADERDATA, exchange);
  return result;
}

}  // namespace

HttpResponse SendHttpRequest(const HttpRequest& request) {
  static std::once_flag initialised;
  static CURLcode initResult = CURLE_OK;
  std::call_once(initialised, [] { initResult = curl_global_init(CURL_GLOBAL_DEFAULT); });

  HttpResponse response;
  char errorBuffer[CURL_ERROR_SIZE] = "";
  if (initResult != CURLE_OK) {
    response.error = ErrorText(initResult, errorBuffer);
    return response;
  }
  EasyHandle easy(curl_easy_init());
  HeaderList headers;
  // "Expect:" with no value stops libcurl from waiting for 100-continue before the body.
  if (!easy || (!request.get && !AddHeader(&headers, "Content-Type: " + request.contentType)) ||
      !AddHeader(&headers, "Accept: " + request.accept) || !AddHeader(&headers, "Expect:")) {
    response.error = ErrorText(CURLE_OUT_OF_MEMORY, errorBuffer);
    return response;
  }
  const std::string url = JoinHttpUrl(request.url);
  Exchange exchange{easy.get(), &response, request.maxBodyBytes};
  CURLcode code = SetOptions(easy.get(), request, url, headers.get(), &exchange, errorBuffer);
  if (code == CURLE_OK) code = curl_easy_perform(easy.get());
  if (exchange.tooLarge) {
    long status = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
    response.status = static_cast<int32_t>(status);
    response.error = HttpTooLargeMessage(request.maxBodyBytes);
    return response;
  }
  if (code == CURLE_OK || exchange.headersDone) {
    long status = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
    response.status = static_cast<int32_t>(status);
    return response;  // a failure while reading the body is not reported
  }
  response.error = code == CURLE_OPERATION_TIMEDOUT ? kHttpTimeoutMessage : ErrorText(code, errorBuffer);
  return response;
}
