#pragma once

#include <optional>
#include <string>

#include "core/bytes.h"
#include "tests/support/test_support.h"

namespace testing_support {

// SoftHsm gives a test its own SoftHSM2 token folder: it writes a private configuration,
// points SOFTHSM2_CONF (and QUILLMARK_PKCS11_MODULE, at SoftHSM2 itself) to it, and puts both
// variables back when destroyed.
class SoftHsm {
 public:
  static constexpr const char* kModule = "/usr/lib/softhsm/libsofthsm2.so";

  SoftHsm();
  ~SoftHsm();
  SoftHsm(const SoftHsm&) = delete;
  SoftHsm& operator=(const SoftHsm&) = delete;

  // InitToken makes a token `label` with the user PIN `pin`.
  void InitToken(const std::string& label, const std::string& pin);

  // Import stores objects of `identity` in token `label`: the certificate under `certId`
  // (when given) and the RSA private key under `keyId` (when given). A key imported with
  // `keyPrivate` false is visible without login. Import fails the test on any error.
  void Import(const std::string& label, const std::string& pin, const TestIdentity& identity,
              std::optional<Bytes> certId, std::optional<Bytes> keyId, bool keyPrivate = true);

  const std::string& conf() const { return conf_; }

 private:
  TempDir dir_;
  std::string conf_;
  std::optional<std::string> oldConf_, oldModule_;
};

}  // namespace testing_support
