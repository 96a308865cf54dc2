// The HTTP transport on WinHTTP, synchronous. Everything the request says was decided by
// MakeHttpPost; this file maps it onto one WinHTTP session and WinHTTP's outcome back onto
// HttpResponse. Server certificates are checked by WinHTTP's defaults against the Windows
// root store; no security flag is relaxed.
#include <windows.h>

#include <winhttp.h>

#include <string>

#include "net/http_transport.h"

namespace {

std::wstring Wide(const std::string& text) {
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const wchar_t* text, size_t length) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string narrow(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), narrow.data(), n, nullptr, nullptr);
  return narrow;
}

// ErrorText is the system's text for a WinHTTP failure, else "error WinHTTP <code>".
std::string ErrorText(DWORD code) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text;
  if (length > 0 && buffer) {
    while (length > 0 && (buffer[length - 1] == L'\r' || buffer[length - 1] == L'\n')) --length;
    text = Narrow(buffer, length);
  }
  if (buffer) LocalFree(buffer);
  return text.empty() ? "error WinHTTP " + std::to_string(code) : text;
}

// Handle closes one WinHTTP handle; the three are declared in the order they are opened, so
// they close request first, then connection, then session.
class Handle {
 public:
  explicit Handle(HINTERNET handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (handle_) WinHttpCloseHandle(handle_);
  }
  explicit operator bool() const { return handle_ != nullptr; }
  HINTERNET get() const { return handle_; }

 private:
  HINTERNET handle_;
};

// ReadBody reads until the end, a read failure or the limit (0: none); it returns false only
// when the body would pass the limit.
bool ReadBody(HINTERNET request, Bytes* body, size_t limit) {
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available) || available == 0) return true;
    // One byte past the limit tells a body of exactly the limit from a longer one.
    if (limit && available > limit + 1 - body->size())
      available = static_cast<DWORD>(limit + 1 - body->size());
    const size_t at = body->size();
    body->resize(at + available);
    DWORD read = 0;
    const bool ok = WinHttpReadData(request, body->data() + at, available, &read);
    body->resize(at + (ok ? read : 0));
    if (limit && body->size() > limit) {
      body->resize(limit);
      return false;
    }
    if (!ok) return true;
  }
}

}  // namespace

HttpResponse SendHttpRequest(const HttpRequest& request) {
  HttpResponse response;
  const std::wstring url = Wide(JoinHttpUrl(request.url));
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  // Lengths of -1 ask for pointers into `url` rather than copies.
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength =
      static_cast<DWORD>(-1);
  if (url.empty() || !WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) {
    response.error = "URL no valida.";
    return response;
  }
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
    response.error = "Solo se admite http/https.";
    return response;
  }
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring target = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                        std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (target.empty()) target = L"/";
  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

  const std::wstring agent = Wide(kHttpUserAgent);
  Handle session(WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) {
    response.error = ErrorText(GetLastError());
    return response;
  }
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols);
  const int timeout = request.timeoutMs;
  WinHttpSetTimeouts(session.get(), timeout, timeout, timeout, timeout);

  Handle connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  if (!connection) {
    response.error = ErrorText(GetLastError());
    return response;
  }
  Handle exchange(WinHttpOpenRequest(connection.get(), request.get ? L"GET" : L"POST", target.c_str(),
                                     nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                     secure ? WINHTTP_FLAG_SECURE : 0));
  if (!exchange) {
    response.error = ErrorText(GetLastError());
    return response;
  }
  // A redirect comes back to the caller as it is: following it would post the signed body to
  // a place the caller never named.
  DWORD features = WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(exchange.get(), WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof features);
  // The wait for the response headers has an option of its own, unbounded in some WinHTTP
  // builds (Wine's): it gets the same bound as every other phase.
  DWORD headersTimeout = static_cast<DWORD>(timeout);
  WinHttpSetOption(exchange.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersTimeout,
                   sizeof headersTimeout);

  const std::wstring headers = Wide((request.get ? "" : "Content-Type: " + request.contentType + "\r\n") +
                                    "Accept: " + request.accept + "\r\n");
  static const Bytes kNoBody;
  const Bytes& body = request.get ? kNoBody : *request.body;
  const DWORD length = static_cast<DWORD>(body.size());
  void* data = body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<uint8_t*>(body.data());
  if (!WinHttpSendRequest(exchange.get(), headers.c_str(), static_cast<DWORD>(-1), data, length, length, 0) ||
      !WinHttpReceiveResponse(exchange.get(), nullptr)) {
    const DWORD code = GetLastError();
    // Some WinHTTP builds (Wine's) pass the socket's own time-out code up unchanged.
    response.error =
        code == ERROR_WINHTTP_TIMEOUT || code == WSAETIMEDOUT ? kHttpTimeoutMessage : ErrorText(code);
    return response;
  }
  DWORD status = 0, size = sizeof status;
  if (WinHttpQueryHeaders(exchange.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
    response.status = static_cast<int32_t>(status);
  // A failure while reading is not reported; a body past the limit is.
  if (!ReadBody(exchange.get(), &response.body, request.maxBodyBytes))
    response.error = HttpTooLargeMessage(request.maxBodyBytes);
  return response;
}
