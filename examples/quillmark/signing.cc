#include "examples/quillmark/signing.h"

#include <cstdio>

#include "core/bytes.h"
#include "examples/quillmark/commands.h"

Signer::~Signer() {
  SecureClear(&options.pin);
  SecureClear(&options.pkcs12Password);
}

bool Signer::Choose(const Arguments& args, Failure* failure) {
  return ReadSourceOptions(args, &options, failure) && ChooseCertificate(args, &options, &entry, failure);
}

SignatureTexts TextsFor(const Arguments& args, const CertificateEntry& entry) {
  SignatureTexts texts;
  texts.name = args.Has("--name") ? args.Value("--name") : entry.subjectCommonName;
  texts.location = args.Has("--location") ? args.Value("--location") : "FirmaZEB";
  texts.reason = args.Has("--reason") ? args.Value("--reason") : "Firma de documento";
  return texts;
}

void PrintSigned(const std::string& path, const SignResult& result) {
  std::printf("Firmado: %s  (%llu bytes)\n", path.c_str(), static_cast<unsigned long long>(result.size));
  if (!result.warning.empty()) std::printf("Aviso: %s\n", result.warning.c_str());
  if (!result.info.empty()) std::printf("Nota: %s\n", result.info.c_str());
  std::fflush(stdout);
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "quillmark: %s\n", message.c_str());
  return kExitFailed;
}

int Fail(const Failure& failure) {
  return failure.status == kExitUsage ? UsageError(failure.message) : Fail(failure.message);
}
