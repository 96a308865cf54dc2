#pragma once

#include <string>

#include <sys/types.h>

#include "tests/support/test_support.h"

namespace testing_support {

// TsaServer runs tests/support/tsa_server.py on 127.0.0.1: a time-stamp authority that answers
// with `openssl ts -reply` and a certificate for time stamping made at test time. It is stopped
// by Stop, by the destructor and by the death of the test process.
class TsaServer {
 public:
  enum class Mode { Normal, Http500, WrongImprint, OtherNonce, Oversized };

  TsaServer();
  // An authority with its own certificate (for time stamping) issued by `ca`.
  TsaServer(const TestIdentity& authority, const TestIdentity& ca);
  ~TsaServer();
  TsaServer(const TsaServer&) = delete;
  TsaServer& operator=(const TsaServer&) = delete;

  [[nodiscard]] bool Start(std::string* why);
  void Stop();
  // Url is "http://127.0.0.1:PORT/tsa".
  std::string Url() const;
  // SetMode applies to requests that arrive after it.
  void SetMode(Mode mode);
  // Config is the `openssl ts -reply -config` file the server answers with.
  std::string Config() const { return dir_.File("tsa.cnf"); }
  // Requests counts the requests that have arrived.
  int Requests() const;

  // The authority's certificate and the CA that issued it.
  static const TestIdentity& Authority();
  static const TestIdentity& AuthorityCa();

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace testing_support
