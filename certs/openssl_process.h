#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/signal_cleanup.h"

// The platform half of the PKCS#12 path: starting `openssl` and handing it the password, the
// key and the data. POSIX starts the program directly with an argument vector and a scrubbed
// environment, and passes everything through pipes (the password as "-passin fd:N", the key
// as /dev/fd/N, the data on standard input, the result on standard output), so no secret or
// intermediate ever exists as a file. Windows writes command lines for the command
// interpreter and passes them in private temporary files, removed before a call returns.

// OpensslArg is one word of a command line: literal text, then a file path when `path` is
// not empty (the command-line form quotes the path, the argument vector takes it as is).
struct OpensslArg {
  std::string text;
  std::string path;
};

// RunOpenssl runs openssl with its standard output and error discarded and returns the exit
// status, or -1 when the program could not be started or did not exit normally.
int RunOpenssl(const std::vector<OpensslArg>& args);

enum class OpensslOutcome {
  Ok,            // exit status 0
  Failed,        // not started, killed, or another exit status
  PasswordTemp,  // no temporary file could be made for the password
  Temp,          // no temporary file could be made for an intermediate
  TempFull,      // openssl exited 0 but its output could not be stored in the temporary folder
};

// PrivateKey holds the unencrypted key openssl took out of a PKCS#12 file until it signs: the
// PEM text in memory on POSIX (wiped when destroyed), a private temporary file on Windows
// (removed when destroyed). It is empty when the file carried no key.
class PrivateKey {
 public:
  PrivateKey() = default;
  ~PrivateKey();
  PrivateKey(PrivateKey&& other) noexcept;
  PrivateKey& operator=(PrivateKey&& other) noexcept;
  PrivateKey(const PrivateKey&) = delete;
  PrivateKey& operator=(const PrivateKey&) = delete;

  bool empty() const { return material.empty(); }
  // Reset wipes (POSIX) or removes (Windows) the key.
  void Reset();

  std::string material;  // the PEM (POSIX) or the key file's path (Windows)
  CleanupPath guard;     // Windows: removes the key file if a signal stops the process
};

// ExportPkcs12Certificates runs "openssl pkcs12 -in FILE -passin ... -nokeys -clcerts" and
// returns its standard output in `pem` (empty when the program could not be started).
OpensslOutcome ExportPkcs12Certificates(const std::string& pkcs12Path, const std::string& password,
                                        std::string* pem);

// ExportPkcs12Key runs "openssl pkcs12 -in FILE -passin ... -nocerts -nodes" into `key`.
OpensslOutcome ExportPkcs12Key(const std::string& pkcs12Path, const std::string& password, PrivateKey* key);

// SignWithKey runs "openssl dgst -sha256 -sign KEY" over `data` into `signature`.
OpensslOutcome SignWithKey(const PrivateKey& key, const Bytes& data, Bytes* signature);

// LoadedKey is a PrivateKey opened inside this process by the openssl program's own library
// (libcrypto, loaded by name at run time), so that a run of signatures starts no process and
// the key never leaves memory; the library wipes it when the key is freed. Where the platform
// or the library cannot do that, Open returns false and each signature is a SignWithKey run.
class LoadedKey {
 public:
  LoadedKey() = default;
  ~LoadedKey();
  LoadedKey(const LoadedKey&) = delete;
  LoadedKey& operator=(const LoadedKey&) = delete;

  // Open reads the unencrypted key of `key`; false when the library is missing or refuses it.
  bool Open(const PrivateKey& key);
  bool IsOpen() const { return key_ != nullptr; }
  // Reset frees the key.
  void Reset();
  // Sign makes what "openssl dgst -sha256 -sign" makes over `data` (for an RSA key the PKCS#1
  // v1.5 signature); Failed with `signature` empty when the library refuses.
  OpensslOutcome Sign(const Bytes& data, Bytes* signature) const;

 private:
  void* key_ = nullptr;
};

enum class InputKind { Regular, Missing, NotRegular };

// CheckInputFile tells whether `path` is a regular file that can be opened for reading,
// without blocking on a FIFO or a device.
InputKind CheckInputFile(const std::string& path);

// The separator between the temporary folder and a file name.
char TempPathSeparator();
long CurrentProcessId();
