#include "examples/quillmark/commands.h"

#include <cstdio>
#include <cstdlib>

#include "card/dnie_certificates.h"
#include "card/reader_report.h"
#include "certs/certificate_list.h"
#include "examples/quillmark/long_term_command.h"
#include "examples/quillmark/sources.h"
#include "examples/quillmark/tsa_post.h"
#include "examples/quillmark/verify_command.h"
#include "pades/output_name.h"
#include "pades/sign.h"

namespace {

const char* const kDefaultSampleText = "Documento de ejemplo de Quillmark";
// The room asked for a time-stamped signature: enough for an authority's token with its
// certificate chain; the engine settles the room on what the token really takes.
constexpr uint32_t kTimestampReservation = 65536;

int Fail(const std::string& message) {
  std::fprintf(stderr, "quillmark: %s\n", message.c_str());
  return kExitFailed;
}

int Fail(const Failure& failure) {
  return failure.status == kExitUsage ? UsageError(failure.message) : Fail(failure.message);
}

// Signer is what a command signs with: the chosen certificate and the secrets that unlock
// it, wiped when the command ends.
struct Signer {
  SignerOptions options;
  CertificateEntry entry;
  ~Signer() {
    SecureClear(&options.pin);
    SecureClear(&options.pkcs12Password);
  }
  bool Choose(const Arguments& args, Failure* failure) {
    return ReadSourceOptions(args, &options, failure) && ChooseCertificate(args, &options, &entry, failure);
  }
};

std::vector<OptionRule> With(std::vector<OptionRule> options, const std::vector<OptionRule>& more) {
  options.insert(options.end(), more.begin(), more.end());
  return options;
}

bool ParseStamp(const Arguments& args, StampOptions* stamp, std::string* error) {
  std::string mode = args.Has("--stamp") ? args.Value("--stamp") : args.Has("--pages") ? "pages" : "first";
  if (mode == "first")
    stamp->mode = StampMode::FirstPage;
  else if (mode == "last")
    stamp->mode = StampMode::LastPage;
  else if (mode == "all")
    stamp->mode = StampMode::AllPages;
  else if (mode == "pages")
    stamp->mode = StampMode::PageList;
  else if (mode == "none")
    stamp->mode = StampMode::None;
  else {
    *error = "--stamp admite first, last, all, pages o none.";
    return false;
  }
  if (stamp->mode == StampMode::PageList) {
    stamp->pageList = args.Value("--pages");
    if (stamp->pageList.empty()) {
      *error = "--stamp pages necesita --pages LISTA (por ejemplo 1,3-5).";
      return false;
    }
  } else if (args.Has("--pages")) {
    *error = "--pages solo vale con --stamp pages.";
    return false;
  }
  return true;
}

SignatureTexts TextsFor(const Arguments& args, const CertificateEntry& entry) {
  SignatureTexts texts;
  texts.name = args.Has("--name") ? args.Value("--name") : entry.subjectCommonName;
  texts.location = args.Has("--location") ? args.Value("--location") : "FirmaZEB";
  texts.reason = args.Has("--reason") ? args.Value("--reason") : "Firma de documento";
  return texts;
}

SigningCallback CallbackFor(const CertificateEntry& entry, const SignerOptions& options) {
  return [&entry, &options](const Bytes& signedAttributes, std::string* note) {
    Bytes signature;
    SignWithCertificate(entry, options, signedAttributes, &signature, note);
    return signature;
  };
}

void PrintSigned(const std::string& path, const SignResult& result) {
  std::printf("Firmado: %s  (%llu bytes)\n", path.c_str(), static_cast<unsigned long long>(result.size));
  if (!result.warning.empty()) std::printf("Aviso: %s\n", result.warning.c_str());
  if (!result.info.empty()) std::printf("Nota: %s\n", result.info.c_str());
  std::fflush(stdout);
}

// Finish reports a signing result: the output path on success, the engine's message otherwise.
int Finish(const std::string& output, const SignResult& result) {
  if (!result.isSigned) return Fail(result.error.empty() ? "No se pudo firmar." : result.error);
  PrintSigned(output, result);
  return kExitOk;
}

int RunSign(const Arguments& args) {
  if (args.positional.size() != 1) return UsageError("sign necesita un solo documento PDF de entrada.");
  if (!HasSourceOption(args))
    return UsageError("indique el certificado: --pkcs12 FICHERO, --store, --dnie o --cert N.");
  StampOptions stamp;
  std::string error;
  if (!ParseStamp(args, &stamp, &error)) return UsageError(error);
  const std::string& input = args.positional[0];
  std::string output = args.Value("--out");
  if (!args.Has("--out") && !SignedOutputPath(input, &output))
    return Fail("no queda ningun nombre libre para la copia firmada de " + input + ".");
  if (output.empty()) return UsageError("--out necesita una ruta.");

  SignatureLevel level = SignatureLevel::BB;
  if (!ReadSignLevel(args, &level, &error)) return UsageError(error);

  Signer signer;
  Failure failure;
  if (!signer.Choose(args, &failure)) return Fail(failure);
  // The default name is taken for good only now, once the secrets are in, so that signers
  // running side by side never write the same copy.
  OutputClaim claim;
  if (!args.Has("--out")) {
    if (!ClaimSignedOutputPath(input, &claim))
      return Fail("no queda ningun nombre libre para la copia firmada de " + input + ".");
    output = claim.path();
  }
  const std::string tsa = args.Value("--tsa");
  SignResult result =
      level == SignatureLevel::BB
          ? SignPdf(input, output, signer.entry, kDefaultContentsReservation,
                    CallbackFor(signer.entry, signer.options), TextsFor(args, signer.entry), stamp)
          : SignPdf(input, output, signer.entry, kTimestampReservation,
                    CallbackFor(signer.entry, signer.options), TextsFor(args, signer.entry), stamp,
                    MakeTimestampCallback(TsaPost(tsa)), LongTermFor(level, tsa));
  if (result.isSigned) claim.Keep();
  return Finish(output, result);
}

int RunSample(const Arguments& args) {
  if (args.positional.size() != 1) return UsageError("sample necesita la ruta del PDF que se va a crear.");
  if (!HasSourceOption(args))
    return UsageError("indique el certificado: --pkcs12 FICHERO, --store, --dnie o --cert N.");
  const std::string& output = args.positional[0];
  std::string text = args.Has("--text") ? args.Value("--text") : kDefaultSampleText;

  Signer signer;
  Failure failure;
  if (!signer.Choose(args, &failure)) return Fail(failure);
  SignResult result =
      CreateSignedSample(output, text, signer.entry, kDefaultContentsReservation,
                         CallbackFor(signer.entry, signer.options), TextsFor(Arguments(), signer.entry));
  // The engine leaves an unsigned sample behind; a failed command leaves nothing.
  if (!result.isSigned && result.ok) std::remove(output.c_str());
  return Finish(output, result);
}

std::string KeyText(const CertificateEntry& entry) {
  if (!entry.hasPrivateKey) return "no";
  return entry.keyNeedsInteraction ? "si (pide PIN)" : "si";
}

// RunDnieCerts lists what the DNIe holds, CA certificates included, with the labels of
// their card files.
int RunDnieCerts(SignerOptions* options) {
  std::string message;
  if (options->readerName.empty()) options->readerName = DefaultReaderName(&message);
  if (options->readerName.empty()) return Fail(message);
  std::string status, atrHex;
  std::vector<CardCertificate> certificates = ReadCardCertificates(options->readerName, &status, &atrHex);
  int index = 0;
  for (const CardCertificate& card : certificates) {
    std::printf("%d. DNIe · %s · %s · emisor: %s · vence: %s%s\n", ++index, card.label.c_str(),
                HolderName(card.certificate).c_str(), IssuerShortName(card.certificate).c_str(),
                FormatExpiry(card.certificate).c_str(), IsExpired(card.certificate) ? " (vencido)" : "");
  }
  if (certificates.empty()) std::printf("No se encontro ningun certificado.\n");
  std::printf("Estado: %s · %s\n", options->readerName.c_str(), status.c_str());
  return kExitOk;
}

int RunCerts(const Arguments& args) {
  if (!args.positional.empty()) return UsageError("certs no admite argumentos sueltos.");
  Signer signer;
  Failure failure;
  if (!ReadSourceOptions(args, &signer.options, &failure)) return Fail(failure);
  if (args.Has("--dnie")) return RunDnieCerts(&signer.options);
  std::string status;
  std::vector<CertificateEntry> entries = ListCertificates(signer.options, &status);
  int index = 0;
  for (const CertificateEntry& entry : entries) {
    std::printf("%d. %s · %s · emisor: %s · vence: %s%s · clave privada: %s\n", ++index,
                SourceText(entry.source).c_str(), HolderName(entry).c_str(), IssuerShortName(entry).c_str(),
                FormatExpiry(entry).c_str(), IsExpired(entry) ? " (vencido)" : "", KeyText(entry).c_str());
  }
  if (entries.empty()) std::printf("No se encontro ningun certificado.\n");
  std::printf("Estado: %s\n", status.c_str());
  return kExitOk;
}

int RunReaders(const Arguments& args) {
  if (!args.positional.empty()) return UsageError("readers no admite argumentos.");
  std::string message;
  std::vector<ReaderReport> readers = DescribeReaders(&message);
  if (readers.empty()) return Fail(message);
  const std::string noCard = ConnectErrorText(kPcscNoSmartcard);
  int index = 0;
  for (const ReaderReport& reader : readers) {
    std::string card = reader.cardPresent ? "ATR " + reader.atrHex + " · " + ProfileName(reader.profile)
                       : reader.message == noCard ? "sin tarjeta"
                                                  : reader.message;
    std::printf("%d. %s · %s · %s%s\n", ++index, reader.name.c_str(), ReaderKindText(reader.kind),
                card.c_str(), reader.isDefault ? " · predeterminado" : "");
  }
  return kExitOk;
}

}  // namespace

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"sign",
       "quillmark sign ENTRADA.pdf [--out SALIDA.pdf] (--pkcs12 FICHERO | --store | --dnie | --cert N)\n"
       "               [--reader LECTOR]\n"
       "               [--password-file F | --password-env VAR] [--pin-file F | --pin-env VAR]\n"
       "               [--stamp first|last|all|pages|none] [--pages LISTA]\n"
       "               [--name TEXTO] [--location TEXTO] [--reason TEXTO]\n"
       "               [--tsa URL] [--level b-b|b-t|b-lt|b-lta]",
       With({{"--out", true},
             {"--tsa", true},
             {"--level", true},
             {"--stamp", true},
             {"--pages", true},
             {"--name", true},
             {"--location", true},
             {"--reason", true},
             kCertOption},
            kSourceOptions),
       RunSign},
      {"sample",
       "quillmark sample SALIDA.pdf [--text TEXTO] (--pkcs12 FICHERO | --store | --dnie | --cert N)\n"
       "               [--reader LECTOR]\n"
       "               [--password-file F | --password-env VAR] [--pin-file F | --pin-env VAR]",
       With({{"--text", true}, kCertOption}, kSourceOptions), RunSample},
      {"certs",
       "quillmark certs [--pkcs12 FICHERO [--password-file F | --password-env VAR]]\n"
       "               [--dnie [--reader LECTOR]]",
       kSourceOptions, RunCerts},
      {"extend",
       "quillmark extend DOCUMENTO.pdf [--out SALIDA.pdf] --level b-lt|b-lta --tsa URL",
       {{"--out", true}, {"--level", true}, {"--tsa", true}},
       RunExtend},
      {"verify",
       "quillmark verify DOCUMENTO.pdf [--trust CERTIFICADOS.pem] [--json]",
       {{"--trust", true}, {"--json", false}},
       RunVerify},
      {"readers", "quillmark readers", {}, RunReaders},
  };
  return commands;
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "quillmark: %s\nUse 'quillmark --help' para ver las opciones.\n", message.c_str());
  return kExitUsage;
}
