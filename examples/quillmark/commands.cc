#include "examples/quillmark/commands.h"

#include <cstdio>
#include <cstdlib>

#include "card/dnie_certificates.h"
#include "card/reader_report.h"
#include "certs/certificate_list.h"
#include "examples/quillmark/long_term_command.h"
#include "examples/quillmark/sign_command.h"
#include "examples/quillmark/signing.h"
#include "examples/quillmark/sources.h"
#include "examples/quillmark/verify_command.h"
#include "pades/sign.h"

namespace {

const char* const kDefaultSampleText = "Documento de ejemplo de Quillmark";

std::vector<OptionRule> With(std::vector<OptionRule> options, const std::vector<OptionRule>& more) {
  options.insert(options.end(), more.begin(), more.end());
  return options;
}

SigningCallback CallbackFor(const CertificateEntry& entry, const SignerOptions& options) {
  return [&entry, &options](const Bytes& signedAttributes, std::string* note) {
    Bytes signature;
    SignWithCertificate(entry, options, signedAttributes, &signature, note);
    return signature;
  };
}

// Finish reports a signing result: the output path on success, the engine's message otherwise.
int Finish(const std::string& output, const SignResult& result) {
  if (!result.isSigned) return Fail(result.error.empty() ? "No se pudo firmar." : result.error);
  PrintSigned(output, result);
  return kExitOk;
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
       "quillmark sign ENTRADA.pdf... [--out SALIDA.pdf | --out-dir CARPETA]\n"
       "               (--pkcs12 FICHERO | --store | --dnie | --cert N) [--reader LECTOR]\n"
       "               [--password-file F | --password-env VAR] [--pin-file F | --pin-env VAR]\n"
       "               [--stamp first|last|all|pages|none] [--pages LISTA]\n"
       "               [--name TEXTO] [--location TEXTO] [--reason TEXTO] [--tsa URL]\n"
       "               [--level b-b|b-t|b-lt|b-lta] [--json]",
       "Firma uno o varios documentos PDF con un solo certificado: se elige una vez, la contraseña o\n"
       "el PIN se piden una vez y la tarjeta se abre una vez para todos. Una CARPETA vale por sus\n"
       "ficheros .pdf (sin subcarpetas). Cada copia firmada se llama NOMBRE_firmao.pdf\n"
       "(NOMBRE_firmao2.pdf, ... si ya existe) y va junto a su documento o en --out-dir. Un\n"
       "documento que no se puede firmar se informa y los demas siguen; si falla la clave o la\n"
       "autoridad de sellado, la firma se detiene. En un terminal, una linea muestra el avance y el\n"
       "tiempo que falta. Con --level b-lt, cada firma lleva tambien los datos de validacion de sus\n"
       "certificados (respuestas OCSP o listas de revocacion) y, con b-lta, un sello de tiempo del\n"
       "documento.\n"
       "Estado de salida: 0 todos firmados, 1 alguno sin firmar (se listan al final), 2 error de uso.",
       With({{"--out", true, "SALIDA.pdf", "la ruta de la copia firmada (un solo documento)"},
             {"--out-dir", true, "CARPETA", "la carpeta de las copias firmadas (se crea si no existe)"},
             {"--stamp", true, "MODO",
              "paginas con sello visible: first (por omision), last, all, pages, none"},
             {"--pages", true, "LISTA", "las paginas del sello con --stamp pages, por ejemplo 1,3-5"},
             {"--name", true, "TEXTO", "el nombre de la firma (por omision, el del certificado)"},
             {"--location", true, "TEXTO", "el lugar de la firma (por omision, FirmaZEB)"},
             {"--reason", true, "TEXTO", "el motivo de la firma (por omision, Firma de documento)"},
             {"--tsa", true, "URL", "anade un sello de tiempo RFC 3161 de esa autoridad"},
             {"--level", true, "NIVEL",
              "el nivel PAdES: b-b, b-t (por omision con --tsa), b-lt o b-lta (estos con --tsa)"},
             {"--json", false, "", "un objeto JSON por documento, una linea cada uno"},
             kCertOption},
            kSourceOptions),
       {"quillmark sign contrato.pdf --pkcs12 firmante.p12 --password-file clave.txt",
        "quillmark sign facturas/ --out-dir firmadas/ --dnie --pin-env PIN_DNIE"},
       RunSign},
      {"extend",
       "quillmark extend DOCUMENTO.pdf [--out SALIDA.pdf] --level b-lt|b-lta --tsa URL",
       "Lleva las firmas y los sellos de tiempo del documento, los haya hecho quien sea, a PAdES B-LT\n"
       "(los certificados y las respuestas OCSP o listas de revocacion que prueban que no estaban\n"
       "revocados, en el almacen /DSS) o a B-LTA (ademas, un sello de tiempo del documento). Una firma\n"
       "sin sello de tiempo recibe antes un sello del documento que la fecha. Repetido sobre un\n"
       "documento B-LTA, renueva el sello de archivo. Sin --out amplia el propio documento; si algo\n"
       "falla, no se escribe nada.\n"
       "Estado de salida: 0 ampliado, 1 no se pudo ampliar, 2 error de uso.",
       {{"--out", true, "SALIDA.pdf", "la ruta del documento ampliado (por omision, el mismo)"},
        {"--level", true, "NIVEL", "b-lt o b-lta"},
        {"--tsa", true, "URL", "la autoridad de sellado de tiempo RFC 3161"}},
       {"quillmark extend contrato_firmao.pdf --level b-lta --tsa http://sello.example/tsa",
        "quillmark extend archivo.pdf --out archivo_lta.pdf --level b-lt --tsa http://sello.example/tsa"},
       RunExtend},
      {"sample",
       "quillmark sample SALIDA.pdf [--text TEXTO] (--pkcs12 FICHERO | --store | --dnie | --cert N)\n"
       "               [--reader LECTOR]\n"
       "               [--password-file F | --password-env VAR] [--pin-file F | --pin-env VAR]",
       "Escribe en SALIDA.pdf el documento de ejemplo de una pagina, firmado con sello visible.",
       With({{"--text", true, "TEXTO", "el texto del documento"}, kCertOption}, kSourceOptions),
       {"quillmark sample prueba.pdf --pkcs12 firmante.p12 --password-env CLAVE",
        "quillmark sample prueba.pdf --text 'Acta de prueba' --dnie"},
       RunSample},
      {"certs",
       "quillmark certs [--pkcs12 FICHERO [--password-file F | --password-env VAR]]\n"
       "               [--dnie [--reader LECTOR]]",
       "Numera los certificados de todas las fuentes (el DNIe, el almacen del sistema y el PKCS#12\n"
       "dado); el numero es el que elige --cert. Con --dnie, lista lo que guarda el DNIe.",
       kSourceOptions,
       {"quillmark certs --pkcs12 firmante.p12 --password-file clave.txt",
        "quillmark certs --dnie --reader 'Lector 00 00'"},
       RunCerts},
      {"verify",
       "quillmark verify DOCUMENTO.pdf [--trust CERTIFICADOS.pem] [--json]",
       "Comprueba cada firma del documento: su integridad, lo que cambiaron las revisiones\n"
       "posteriores y la confianza en su cadena, y dice el nivel PAdES que alcanza con los datos\n"
       "de validacion del propio documento, sin consultar la red. Estado de salida: 0 todas\n"
       "integras y confiables, 1 alguna rota o modificada, 3 integras con algun emisor no\n"
       "confiable.",
       {{"--trust", true, "CERTIFICADOS.pem", "las autoridades de confianza (por omision, las del sistema)"},
        {"--json", false, "", "el informe en JSON"}},
       {"quillmark verify contrato_firmao.pdf",
        "quillmark verify contrato_firmao.pdf --trust autoridades.pem --json"},
       RunVerify},
      {"readers",
       "quillmark readers",
       "Lista los lectores de tarjetas, su tipo y la tarjeta que contienen.",
       {},
       {"quillmark readers", "quillmark readers | grep predeterminado"},
       RunReaders},
  };
  return commands;
}

const Command* FindCommand(const std::string& name) {
  for (const Command& command : Commands())
    if (name == command.name) return &command;
  return nullptr;
}

void PrintCommandHelp(const Command& command) {
  std::printf("Uso: %s\n\n%s\n", command.usage, command.summary);
  if (!command.options.empty()) std::printf("\nOpciones:\n");
  for (const OptionRule& option : command.options) {
    std::string left = std::string(option.name) + (*option.value ? " " : "") + option.value;
    std::printf("  %-24s %s\n", left.c_str(), option.help);
  }
  std::printf("\nEjemplos:\n  %s\n  %s\n", command.examples[0], command.examples[1]);
}

int UsageError(const std::string& message) {
  std::fprintf(stderr,
               "quillmark: %s\nUse 'quillmark --help' o 'quillmark help ORDEN' para ver las opciones.\n",
               message.c_str());
  return kExitUsage;
}
