#include "net/http_request.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpUrl, SplitsWhatTheTransportsNeed) {
  struct Case {
    const char* url;
    bool secure;
    const char* host;
    uint16_t port;
    const char* target;
    const char* joined;
  } cases[] = {
      {"https://vota.example/api/auth/nimbo", true, "vota.example", 443, "/api/auth/nimbo",
       "https://vota.example:443/api/auth/nimbo"},
      {"HTTP://Vota.Example", false, "Vota.Example", 80, "/", "http://Vota.Example:80/"},
      {"https://127.0.0.1:8443/a?codigo=7&x=1#parte", true, "127.0.0.1", 8443, "/a?codigo=7&x=1",
       "https://127.0.0.1:8443/a?codigo=7&x=1"},
      {"https://h?x=1", true, "h", 443, "/?x=1", "https://h:443/?x=1"},
      {"https://h:/p", true, "h", 443, "/p", "https://h:443/p"},
      {"https://[::1]:9000/p", true, "::1", 9000, "/p", "https://[::1]:9000/p"},
      {"https://h/a b/\xC3\xB1?q=\"x\"%41", true, "h", 443, "/a%20b/%C3%B1?q=%22x%22%41",
       "https://h:443/a%20b/%C3%B1?q=%22x%22%41"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    HttpUrl url;
    std::string error = "stale";
    ASSERT_TRUE(SplitHttpUrl(c.url, &url, &error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(url.secure, c.secure);
    EXPECT_EQ(url.host, c.host);
    EXPECT_EQ(url.port, c.port);
    EXPECT_EQ(url.target, c.target);
    EXPECT_EQ(JoinHttpUrl(url), c.joined);
  }
}

TEST(HttpUrl, RefusesWithItsMessage) {
  struct Case {
    const char* url;
    const char* error;
    const char* reason;
  } cases[] = {
      {"", "URL vacia.", "empty"},
      {"ftp://127.0.0.1/voto", "Solo se admite http/https.", "another scheme"},
      {"vota.example/api", "URL no valida.", "no scheme"},
      {"mailto:ana@vota.example", "URL no valida.", "not hierarchical"},
      {"https://", "URL no valida.", "no host"},
      {"https://h:0/", "URL no valida.", "port 0"},
      {"https://h:65536/", "URL no valida.", "port above 65535"},
      {"https://h:44a/", "URL no valida.", "port not decimal"},
      {"https://h:99999999999/", "URL no valida.", "port beyond any integer"},
      {"https://ana@vota.example/", "URL no valida.", "user information"},
      {"https://vota.example%2Fotra/", "URL no valida.", "percent sign in the host"},
      {"https://h!/", "URL no valida.", "punctuation in the host"},
      {"https://[::1/", "URL no valida.", "unclosed IPv6 literal"},
      {"https://[::1]x/", "URL no valida.", "text after an IPv6 literal"},
      {"https://h/a\r\nX-Otra: 1", "URL no valida.", "line break in the target"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    HttpUrl url;
    std::string error;
    EXPECT_FALSE(SplitHttpUrl(std::string_view(c.url), &url, &error));
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(url.host, "");
  }
}

TEST(HttpRequest, DefaultsTheTimeoutAndChecksMediaTypes) {
  const Bytes body = ToBytes("{}");
  struct Case {
    int timeout;
    const char* type;
    int expectedTimeout;  // 0: refused
  } cases[] = {
      {0, "application/json", 15000},       {-5, "application/json", 15000},
      {1, "application/json", 1},           {2500, "application/timestamp-query", 2500},
      {100, "application/json\r\nX: 1", 0}, {100, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.timeout) + " " + c.type);
    HttpRequest request;
    std::string error;
    const bool made =
        MakeHttpPost("https://h/", c.type, "application/json", body, c.timeout, &request, &error);
    ASSERT_EQ(made, c.expectedTimeout != 0);
    if (!made) {
      EXPECT_EQ(error, "Tipo de contenido no valido.");
      continue;
    }
    EXPECT_EQ(request.timeoutMs, c.expectedTimeout);
  }
}

}  // namespace
