#include "tests/support/softhsm.h"

#include <p11-kit/pkcs11.h>

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "core/der.h"
#include "core/dynlib.h"

namespace testing_support {

namespace {

std::optional<std::string> Swap(const char* name, const std::optional<std::string>& value) {
  std::optional<std::string> old;
  if (const char* current = std::getenv(name)) old = current;
  if (value)
    setenv(name, value->c_str(), 1);
  else
    unsetenv(name);
  return old;
}

// RsaKeyParts reads the nine INTEGERs of a PKCS#1 RSAPrivateKey.
std::vector<Bytes> RsaKeyParts(const Bytes& der) {
  std::vector<Bytes> parts;
  DerReader top(der.data(), der.size()), body, value;
  if (!top.Expect(0x30, &body)) return parts;
  while (body.Expect(0x02, &value)) {
    Bytes bytes = value.ToBytes();
    while (bytes.size() > 1 && bytes[0] == 0) bytes.erase(bytes.begin());
    parts.push_back(bytes);
  }
  return parts;
}

// SubjectOf returns the DER of a certificate's subject Name, which SoftHSM2 requires.
Bytes SubjectOf(const Bytes& cert) {
  DerReader top(cert.data(), cert.size()), certificate, tbs;
  DerElement element;
  if (!top.Expect(0x30, &certificate) || !certificate.Expect(0x30, &tbs)) return {};
  uint32_t tag;
  if (tbs.PeekTag(&tag) && tag == 0xA0 && !tbs.Next(&element)) return {};
  for (int i = 0; i < 4; ++i)  // serial, signature, issuer, validity
    if (!tbs.Next(&element)) return {};
  if (!tbs.Next(&element)) return {};
  return Bytes(tbs.data() + element.headerStart, tbs.data() + element.end);
}

}  // namespace

SoftHsm::SoftHsm() {
  std::string tokens = dir_.File("tokens");
  EXPECT_EQ(RunCommand("mkdir -p " + Quote(tokens)).status, 0);
  conf_ = dir_.File("softhsm2.conf");
  WriteFileText(conf_,
                "directories.tokendir = " + tokens + "\nobjectstore.backend = file\nlog.level = ERROR\n");
  oldConf_ = Swap("SOFTHSM2_CONF", conf_);
  oldModule_ = Swap("QUILLMARK_PKCS11_MODULE", std::string(kModule));
}

SoftHsm::~SoftHsm() {
  Swap("SOFTHSM2_CONF", oldConf_);
  Swap("QUILLMARK_PKCS11_MODULE", oldModule_);
}

void SoftHsm::InitToken(const std::string& label, const std::string& pin) {
  CommandResult r = RunCommand("softhsm2-util --init-token --free --label " + Quote(label) + " --pin " +
                               Quote(pin) + " --so-pin 87654321");
  ASSERT_EQ(r.status, 0) << r.output;
}

void SoftHsm::Import(const std::string& label, const std::string& pin, const TestIdentity& identity,
                     std::optional<Bytes> certId, std::optional<Bytes> keyId, bool keyPrivate) {
  std::vector<Bytes> key;
  if (keyId) {
    std::string der = dir_.File("import-key.der");
    CommandResult r = RunCommand("openssl rsa -in " + Quote(identity.keyPem) +
                                 " -traditional -outform DER -out " + Quote(der));
    ASSERT_EQ(r.status, 0) << r.output;
    key = RsaKeyParts(ReadFileBytes(der));
    std::remove(der.c_str());
    ASSERT_EQ(key.size(), 9u);
  }

  DynamicLibrary library;
  ASSERT_TRUE(library.Open(kModule));
  CK_C_GetFunctionList getList = nullptr;
  ASSERT_TRUE(library.Bind("C_GetFunctionList", &getList));
  CK_FUNCTION_LIST* f = nullptr;
  ASSERT_EQ(getList(&f), CKR_OK);
  ASSERT_EQ(f->C_Initialize(nullptr), CKR_OK);

  CK_ULONG count = 0;
  f->C_GetSlotList(CK_TRUE, nullptr, &count);
  std::vector<CK_SLOT_ID> slots(count);
  f->C_GetSlotList(CK_TRUE, slots.data(), &count);
  std::optional<CK_SLOT_ID> slot;
  for (CK_SLOT_ID candidate : slots) {
    CK_TOKEN_INFO info;
    if (f->C_GetTokenInfo(candidate, &info) != CKR_OK) continue;
    std::string tokenLabel(reinterpret_cast<const char*>(info.label), sizeof info.label);
    tokenLabel.erase(tokenLabel.find_last_not_of(' ') + 1);
    if (tokenLabel == label) slot = candidate;
  }
  CK_SESSION_HANDLE session = CK_INVALID_HANDLE;
  CK_RV rv = CKR_SLOT_ID_INVALID;
  if (slot) rv = f->C_OpenSession(*slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &session);
  if (rv == CKR_OK)
    rv = f->C_Login(session, CKU_USER, reinterpret_cast<CK_UTF8CHAR*>(const_cast<char*>(pin.data())),
                    pin.size());

  CK_BBOOL yes = CK_TRUE, no = CK_FALSE, isPrivate = keyPrivate ? CK_TRUE : CK_FALSE;
  auto ptr = [](Bytes& b) { return static_cast<void*>(b.data()); };
  if (rv == CKR_OK && certId) {
    CK_OBJECT_CLASS cls = CKO_CERTIFICATE;
    CK_CERTIFICATE_TYPE type = CKC_X_509;
    Bytes value = identity.certDer, subject = SubjectOf(identity.certDer);
    std::vector<CK_ATTRIBUTE> attributes = {
        {CKA_CLASS, &cls, sizeof cls},         {CKA_CERTIFICATE_TYPE, &type, sizeof type},
        {CKA_TOKEN, &yes, sizeof yes},         {CKA_PRIVATE, &no, sizeof no},
        {CKA_VALUE, ptr(value), value.size()}, {CKA_SUBJECT, ptr(subject), subject.size()},
        {CKA_ID, ptr(*certId), certId->size()}};
    CK_OBJECT_HANDLE object;
    rv = f->C_CreateObject(session, attributes.data(), attributes.size(), &object);
  }
  if (rv == CKR_OK && keyId) {
    CK_OBJECT_CLASS cls = CKO_PRIVATE_KEY;
    CK_KEY_TYPE type = CKK_RSA;
    std::vector<CK_ATTRIBUTE> attributes = {{CKA_CLASS, &cls, sizeof cls},
                                            {CKA_KEY_TYPE, &type, sizeof type},
                                            {CKA_TOKEN, &yes, sizeof yes},
                                            {CKA_PRIVATE, &isPrivate, sizeof isPrivate},
                                            {CKA_SIGN, &yes, sizeof yes},
                                            {CKA_SENSITIVE, &yes, sizeof yes},
                                            {CKA_ID, ptr(*keyId), keyId->size()},
                                            {CKA_MODULUS, ptr(key[1]), key[1].size()},
                                            {CKA_PUBLIC_EXPONENT, ptr(key[2]), key[2].size()},
                                            {CKA_PRIVATE_EXPONENT, ptr(key[3]), key[3].size()},
                                            {CKA_PRIME_1, ptr(key[4]), key[4].size()},
                                            {CKA_PRIME_2, ptr(key[5]), key[5].size()},
                                            {CKA_EXPONENT_1, ptr(key[6]), key[6].size()},
                                            {CKA_EXPONENT_2, ptr(key[7]), key[7].size()},
                                            {CKA_COEFFICIENT, ptr(key[8]), key[8].size()}};
    CK_OBJECT_HANDLE object;
    rv = f->C_CreateObject(session, attributes.data(), attributes.size(), &object);
  }
  if (session != CK_INVALID_HANDLE) f->C_CloseSession(session);
  f->C_Finalize(nullptr);
  ASSERT_EQ(rv, CKR_OK) << "softhsm: import into " << label << " failed";
}

}  // namespace testing_support
