// The openssl program's library inside this process, for signing a run of documents with one
// PKCS#12 key: loaded by name on first use and kept, as PC/SC is. Only the handful of entry
// points below are used, declared here so that no development headers are needed; they have
// had these signatures since OpenSSL 1.1.1.
#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "certs/openssl_process.h"
#include "core/dynlib.h"

namespace {

struct Api {
  void* (*newMemoryBio)(const void* data, int length);
  int (*freeBio)(void* bio);
  void* (*readPrivateKey)(void* bio, void** into, int (*password)(char*, int, int, void*), void* user);
  void (*freeKey)(void* key);
  void* (*newDigestContext)();
  void (*freeDigestContext)(void* context);
  const void* (*sha256)();
  int (*digestSignInit)(void* context, void** keyContext, const void* digest, void* engine, void* key);
  int (*digestSign)(void* context, unsigned char* signature, size_t* length, const unsigned char* data,
                    size_t dataLength);
};

// The sonames of OpenSSL 3 and 1.1, the versions that have every entry point above, unless
// QUILLMARK_LIBCRYPTO names the library (the one beside an openssl of its own, or none at all).
std::vector<std::string> LibraryNames() {
  const char* named = std::getenv("QUILLMARK_LIBCRYPTO");
  if (named && *named) return {named};
  return {"libcrypto.so.3", "libcrypto.so.1.1"};
}

bool Bind(const DynamicLibrary& library, Api* api) {
  return library.Bind("BIO_new_mem_buf", &api->newMemoryBio) && library.Bind("BIO_free", &api->freeBio) &&
         library.Bind("PEM_read_bio_PrivateKey", &api->readPrivateKey) &&
         library.Bind("EVP_PKEY_free", &api->freeKey) &&
         library.Bind("EVP_MD_CTX_new", &api->newDigestContext) &&
         library.Bind("EVP_MD_CTX_free", &api->freeDigestContext) &&
         library.Bind("EVP_sha256", &api->sha256) &&
         library.Bind("EVP_DigestSignInit", &api->digestSignInit) &&
         library.Bind("EVP_DigestSign", &api->digestSign);
}

// Crypto returns the bound library, or null when it cannot be loaded whole.
const Api* Crypto() {
  static Api api;
  static bool usable = false;
  static std::once_flag once;
  std::call_once(once, [] {
    for (const std::string& name : LibraryNames()) {
      DynamicLibrary library;
      if (!library.Open(name) || !Bind(library, &api)) continue;
      // Unloading the library runs its clean-up while other users (libcurl) may hold it.
      library.Leak();
      usable = true;
      return;
    }
  });
  return usable ? &api : nullptr;
}

// The key is unencrypted; a callback that gives no password keeps the library from ever
// asking for one on the terminal.
int NoPassword(char*, int, int, void*) {
  return -1;
}

}  // namespace

LoadedKey::~LoadedKey() {
  Reset();
}

void LoadedKey::Reset() {
  if (key_) Crypto()->freeKey(key_);
  key_ = nullptr;
}

bool LoadedKey::Open(const PrivateKey& key) {
  const Api* api = Crypto();
  if (!api || key.empty() || key_) return false;
  // The memory BIO reads the PEM where it is: no copy of the key is made here.
  void* bio = api->newMemoryBio(key.material.data(), int(key.material.size()));
  if (!bio) return false;
  key_ = api->readPrivateKey(bio, nullptr, NoPassword, nullptr);
  api->freeBio(bio);
  return key_ != nullptr;
}

OpensslOutcome LoadedKey::Sign(const Bytes& data, Bytes* signature) const {
  signature->clear();
  const Api* api = Crypto();
  if (!key_ || !api) return OpensslOutcome::Failed;
  void* context = api->newDigestContext();
  size_t length = 0;
  bool ok = context && api->digestSignInit(context, nullptr, api->sha256(), nullptr, key_) == 1 &&
            api->digestSign(context, nullptr, &length, data.data(), data.size()) == 1;
  if (ok) {
    signature->resize(length);
    ok = api->digestSign(context, signature->data(), &length, data.data(), data.size()) == 1;
    signature->resize(ok ? length : 0);
  }
  if (context) api->freeDigestContext(context);
  return ok ? OpensslOutcome::Ok : OpensslOutcome::Failed;
}
