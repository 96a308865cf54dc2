// Drives the real quillmark program: exit statuses, messages, files written and left behind.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/text.h"
#include "pades/cms_reader.h"
#include "tests/certs/cert_test_helpers.h"
#include "tests/support/softhsm.h"
#include "tests/support/tsa_server.h"

using namespace testing_support;

namespace {

const std::string kProgram = std::string(VY_BINARY_DIR) + "/bin/quillmark";

// ListedNames lists a folder's entries in name order.
std::vector<std::string> ListedNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class QuillmarkCli : public PeopleSuite {
 protected:
  static void SetUpTestSuite() {
    PeopleSuite::SetUpTestSuite();
    MakePkcs12(*ana_, "clave", File("ana.p12"));
    MakePkcs12(*ana_, "clave", File("ana-plain.p12"), true);
    MakePkcs12(*beto_, "clave", File("beto-plain.p12"), true);
    std::vector<Bytes> ana = Safes(ReadFileBytes(File("ana-plain.p12")));
    std::vector<Bytes> beto = Safes(ReadFileBytes(File("beto-plain.p12")));
    WriteFileBytes(File("foreign.p12"), JoinSafes({beto[0], ana[1]}));
  }

  // Run starts quillmark with `arguments` (already shell words) in the work folder, with one
  // line of standard input when `input` is given.
  CommandResult Run(const std::string& arguments, const std::string& environment = "",
                    const std::string& input = "") {
    std::string feed = input.empty() ? "" : "printf '%s\\n' " + Quote(input) + " | ";
    return RunCommand("cd " + Quote(work_.path()) + " && " + feed + environment + " " + Quote(kProgram) +
                      " " + arguments);
  }
  std::string Pkcs12(const std::string& name = "ana.p12") {
    return "--pkcs12 " + Quote(File(name)) + " --password-env QM_PASSWORD";
  }
  std::vector<std::string> WorkFiles() {
    std::vector<std::string> names = work_.Entries();
    std::sort(names.begin(), names.end());
    return names;
  }

  ScopedEnv password_{"QM_PASSWORD", "clave"};
  ScopedEnv pcsc_{"PCSCLITE_CSOCK_NAME", "/nonexistent/pcscd.comm"};
  PrivateTempFolder temp_;
  SoftHsm hsm_;  // an empty token folder unless a test makes a token
  TempDir work_;
};

TEST_F(QuillmarkCli, SignsWithAPkcs12AndStacksSignatures) {
  CommandResult r = Run("sample muestra.pdf --text 'Contrato de prueba' " + Pkcs12());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Firmado: muestra.pdf  ("), std::string::npos) << r.output;

  // The password can come from standard input too.
  r = Run("sign muestra.pdf --stamp all --pkcs12 " + Quote(File("ana.p12")) + " --password-file -", "",
          "clave");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Firmado: muestra_firmao.pdf  ("), std::string::npos) << r.output;

  r = Run("sign muestra_firmao.pdf --out final.pdf --name 'Ana Q.' --reason Conformidad " + Pkcs12());
  ASSERT_EQ(r.status, 0) << r.output;
  CommandResult check = RunCommand("pdfsig " + Quote(work_.File("final.pdf")));
  EXPECT_EQ(Count(check.output, "Signature Validation: Signature is Valid."), 3) << check.output;
  EXPECT_EQ(RunCommand("qpdf --check " + Quote(work_.File("final.pdf"))).status, 0);
  EXPECT_EQ(WorkFiles(), (std::vector<std::string>{"final.pdf", "muestra.pdf", "muestra_firmao.pdf"}));
  EXPECT_TRUE(temp_.dir.Entries().empty());
}

TEST_F(QuillmarkCli, OutputNamesFollowTheSignersRule) {
  ASSERT_EQ(Run("sample contrato.final.pdf " + Pkcs12()).status, 0);
  std::filesystem::create_directory(work_.File("dir.x"));
  ASSERT_EQ(Run("sample dir.x/archivo " + Pkcs12()).status, 0);

  EXPECT_EQ(Run("sign contrato.final.pdf --stamp none " + Pkcs12()).status, 0);
  CommandResult r = Run("sign contrato.final.pdf --stamp last " + Pkcs12());
  EXPECT_NE(r.output.find("Firmado: contrato.final_firmao2.pdf"), std::string::npos) << r.output;
  r = Run("sign dir.x/archivo --stamp pages --pages 1 " + Pkcs12());
  EXPECT_NE(r.output.find("Firmado: dir.x/archivo_firmao.pdf"), std::string::npos) << r.output;
  EXPECT_TRUE(FileExists(work_.File("contrato.final_firmao.pdf")));
  EXPECT_TRUE(FileExists(work_.File("dir.x/archivo_firmao.pdf")));

  // With every name up to _firmao999.pdf taken, nothing is overwritten.
  for (int n = 3; n <= 999; ++n)
    WriteFileText(work_.File("contrato.final_firmao" + std::to_string(n) + ".pdf"), "ocupado");
  r = Run("sign contrato.final.pdf " + Pkcs12());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("no queda ningun nombre libre para la copia firmada de contrato.final.pdf."),
            std::string::npos)
      << r.output;
  EXPECT_EQ(ToText(ReadFileBytes(work_.File("contrato.final_firmao999.pdf"))), "ocupado");
}

TEST_F(QuillmarkCli, FailuresExitOneAndLeaveNothing) {
  ASSERT_EQ(Run("sample doc.pdf " + Pkcs12()).status, 0);
  WriteFileText(work_.File("texto.pdf"), "esto no es un PDF\n");
  WriteFileText(work_.File("roto.p12"), "no es un PKCS#12");
  const std::vector<std::string> before = WorkFiles();

  struct Case {
    const char* why;
    std::string arguments;
    std::string message;
  } cases[] = {
      {"missing input", "sign falta.pdf " + Pkcs12(), "no se pudo leer falta.pdf."},
      {"not a PDF", "sign texto.pdf " + Pkcs12(), "texto.pdf no es un PDF."},
      {"wrong password", "sign doc.pdf --pkcs12 " + Quote(File("ana.p12")) + " --password-env OTRA",
       "openssl no extrajo ningun certificado del PKCS#12 (contraseña incorrecta o fichero dañado)."},
      {"damaged PKCS#12", "sign doc.pdf --pkcs12 roto.p12 --password-env QM_PASSWORD",
       "openssl no extrajo ningun certificado del PKCS#12"},
      {"missing PKCS#12", "sign doc.pdf --pkcs12 nada.p12 --password-env QM_PASSWORD",
       "no existe el fichero nada.p12"},
      {"output folder missing", "sign doc.pdf --out /nonexistent/firmado.pdf " + Pkcs12(),
       "/nonexistent/firmado.pdf"},
      {"key of another certificate", "sign doc.pdf " + Pkcs12("foreign.p12"),
       "La clave que firmo no corresponde al certificado elegido (Beto Rojas)."},
      {"sample with a foreign key", "sample nueva.pdf " + Pkcs12("foreign.p12"),
       "La clave que firmo no corresponde al certificado elegido (Beto Rojas)."},
      {"password variable unset", "sign doc.pdf --pkcs12 roto.p12 --password-env QM_NO_EXISTE",
       "la variable de entorno QM_NO_EXISTE no esta definida."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    CommandResult r = Run(c.arguments, "OTRA=incorrecta");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("quillmark: "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_EQ(WorkFiles(), before);
    EXPECT_TRUE(temp_.dir.Entries().empty());
  }
  // Without a password option the program asks on the terminal; without a terminal it says so.
  CommandResult r = Run("sign doc.pdf --pkcs12 " + Quote(File("ana.p12")), "setsid -w");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("no hay un terminal donde pedir la contraseña o el PIN"), std::string::npos)
      << r.output;
  EXPECT_EQ(WorkFiles(), before);
}

TEST_F(QuillmarkCli, UsageErrorsExitTwo) {
  struct Case {
    std::string arguments;
    std::string message;
  } cases[] = {
      {"", "falta la orden"},
      {"firmar doc.pdf", "orden desconocida: firmar"},
      {"sign doc.pdf", "indique el certificado"},
      {"sign doc.pdf --color rojo " + Pkcs12(), "opcion desconocida: --color"},
      {"sign doc.pdf --stamp medio " + Pkcs12(), "--stamp admite first, last, all, pages o none."},
      {"sign doc.pdf --stamp pages " + Pkcs12(), "--stamp pages necesita --pages"},
      {"sign doc.pdf --cert uno", "--cert necesita un numero"},
      {"certs " + Pkcs12() + " --password-file p.txt",
       "--password-file y --password-env no pueden ir juntas."},
      {"sign " + Pkcs12(), "sign necesita al menos un documento PDF o una carpeta."},
      {"sign a.pdf b.pdf --out x.pdf " + Pkcs12(),
       "--out vale para un solo documento; para varios, use --out-dir CARPETA."},
      {"sign a.pdf --out x.pdf --out-dir d " + Pkcs12(), "--out y --out-dir no pueden ir juntas."},
      {"help firmar", "orden desconocida: firmar"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    CommandResult r = Run(c.arguments);
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
  }
  CommandResult help = Run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("quillmark sign ENTRADA.pdf"), std::string::npos);
  EXPECT_EQ(Run("--version").output, "quillmark " + std::string(QUILLMARK_TEST_VERSION) + "\n");
  // Each command explains itself, with two examples, whichever way it is asked.
  for (const char* command : {"sign", "sample", "certs", "verify", "readers"}) {
    SCOPED_TRACE(command);
    CommandResult asked = Run(std::string("help ") + command);
    EXPECT_EQ(asked.status, 0);
    EXPECT_EQ(asked.output.rfind(std::string("Uso: quillmark ") + command, 0), 0u) << asked.output;
    const std::string examples = asked.output.substr(asked.output.find("\nEjemplos:\n"));
    EXPECT_EQ(Count(examples, std::string("\n  quillmark ") + command), 2) << asked.output;
    CommandResult flag = Run(std::string(command) + " doc.pdf --help");
    EXPECT_EQ(flag.status, 0);
    EXPECT_EQ(flag.output, asked.output);
  }
  EXPECT_TRUE(work_.Entries().empty());
}

TEST_F(QuillmarkCli, BatchSignsEachDocumentWithOneKeyExtraction) {
  // A stand-in openssl that logs each run and hands it to the real program.
  TempDir bin;
  const std::string log = bin.File("log");
  ASSERT_TRUE(WriteFileText(bin.File("openssl"),
                            "#!/bin/sh\necho \"$*\" >> " + Quote(log) + "\nexec /usr/bin/openssl \"$@\"\n"));
  ASSERT_EQ(chmod(bin.File("openssl").c_str(), 0700), 0);
  ScopedEnv path("PATH", bin.path() + ":/usr/bin:/bin");
  std::filesystem::create_directories(work_.File("lote/sub"));
  ASSERT_EQ(Run("sample lote/a.pdf " + Pkcs12()).status, 0);
  ASSERT_EQ(
      RunCommand("cd " + Quote(work_.File("lote")) +
                 " && cp a.pdf b.pdf && cp a.pdf e.PDF && cp a.pdf sub/f.pdf && cp a.pdf .oculto.pdf && "
                 "qpdf --encrypt u o 256 -- a.pdf c.pdf && echo texto > d.pdf")
          .status,
      0);
  std::remove(log.c_str());
  const Bytes original = ReadFileBytes(work_.File("lote/a.pdf"));

  // The encrypted and the broken documents fail in the middle; the others are signed.
  CommandResult r = Run("sign lote --out-dir firmadas --json " + Pkcs12());
  EXPECT_EQ(r.status, 1) << r.output;
  for (const char* name : {"a", "b"})
    EXPECT_NE(r.output.find(std::string("{\"input\":\"lote/") + name + ".pdf\",\"output\":\"firmadas/" +
                            name + "_firmao.pdf\",\"signed\":true,\"size\":"),
              std::string::npos)
        << r.output;
  EXPECT_NE(r.output.find("{\"input\":\"lote/c.pdf\",\"output\":null,\"signed\":false,\"size\":0,\"warning\":"
                          "null,\"info\":null,\"error\":\"el PDF esta cifrado; no se puede firmar.\"}\n"),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("\"error\":\"lote/d.pdf no es un PDF.\"}\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("quillmark: firmados 3 de 5 documentos; sin firmar: lote/c.pdf, lote/d.pdf\n"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(r.output.find("1/5"), std::string::npos) << "no progress line off a terminal";
  EXPECT_EQ(ListedNames(work_.File("firmadas")),
            (std::vector<std::string>{"a_firmao.pdf", "b_firmao.pdf", "e_firmao.pdf"}));
  for (const char* name : {"a", "b", "e"}) {
    CommandResult check =
        RunCommand("pdfsig " + Quote(work_.File(std::string("firmadas/") + name + "_firmao.pdf")));
    EXPECT_EQ(Count(check.output, "Signature Validation: Signature is Valid."), 2) << check.output;
  }
  EXPECT_EQ(ReadFileBytes(work_.File("lote/a.pdf")), original);
  EXPECT_EQ(ListedNames(work_.File("lote")),
            (std::vector<std::string>{".oculto.pdf", "a.pdf", "b.pdf", "c.pdf", "d.pdf", "e.PDF", "sub"}));
  // The key left openssl once, and signed in memory.
  std::string runs = ToText(ReadFileBytes(log));
  EXPECT_EQ(Count(runs, "-nocerts"), 1) << runs;
  EXPECT_EQ(Count(runs, "dgst"), 0) << runs;

  // Without the openssl library each document costs one openssl run; the key still leaves it once.
  std::remove(log.c_str());
  r = Run("sign lote/a.pdf lote/b.pdf " + Pkcs12(), "QUILLMARK_LIBCRYPTO=none");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Firmado: lote/a_firmao.pdf  ("), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Firmado: lote/b_firmao.pdf  ("), std::string::npos) << r.output;
  runs = ToText(ReadFileBytes(log));
  EXPECT_EQ(Count(runs, "-nocerts"), 1) << runs;
  EXPECT_EQ(Count(runs, "dgst"), 2) << runs;
  EXPECT_EQ(
      Count(RunCommand("pdfsig " + Quote(work_.File("lote/b_firmao.pdf"))).output, "Signature is Valid."), 2);
  EXPECT_TRUE(temp_.dir.Entries().empty());
}

TEST_F(QuillmarkCli, BatchShowsItsProgressOnATerminal) {
  ASSERT_EQ(Run("sample a.pdf " + Pkcs12()).status, 0);
  ASSERT_EQ(RunCommand("cd " + Quote(work_.path()) + " && cp a.pdf b.pdf && cp a.pdf c.pdf").status, 0);
  // script(1) gives the program a terminal and keeps what it wrote there.
  CommandResult r = RunCommand("cd " + Quote(work_.path()) + " && script -qec " +
                               Quote(Quote(kProgram) + " sign a.pdf b.pdf c.pdf " + Pkcs12()) + " /dev/null");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("\r1/3 · a.pdf"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("\r2/3 · b.pdf · quedan "), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("\r3/3 · c.pdf · quedan "), std::string::npos) << r.output;
  EXPECT_EQ(Count(r.output, "Firmado: "), 3) << r.output;
}

TEST_F(QuillmarkCli, BatchSignsWithATokenKeyAndStopsAtARefusedPin) {
  hsm_.InitToken("personal", "1234");
  hsm_.Import("personal", "1234", *beto_, Bytes{0x01}, Bytes{0x01});
  ASSERT_EQ(Run("sample a.pdf " + Pkcs12()).status, 0);
  ASSERT_EQ(RunCommand("cd " + Quote(work_.path()) + " && cp a.pdf b.pdf && cp a.pdf c.pdf").status, 0);

  CommandResult r = Run("sign a.pdf b.pdf c.pdf --store --pin-env QM_PIN", "QM_PIN=0000");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("quillmark: PKCS#11 no acepto el PIN"), std::string::npos) << r.output;
  EXPECT_EQ(WorkFiles(), (std::vector<std::string>{"a.pdf", "b.pdf", "c.pdf"}));

  r = Run("sign a.pdf b.pdf c.pdf --store --pin-env QM_PIN", "QM_PIN=1234");
  ASSERT_EQ(r.status, 0) << r.output;
  for (const char* name : {"a", "b", "c"}) {
    CommandResult check = RunCommand("pdfsig " + Quote(work_.File(std::string(name) + "_firmao.pdf")));
    EXPECT_EQ(Count(check.output, "Signer Certificate Common Name: Beto Rojas"), 1) << check.output;
    EXPECT_EQ(Count(check.output, "Signature Validation: Signature is Valid."), 2) << check.output;
  }
}

TEST_F(QuillmarkCli, VerifySeparatesIntegrityFromTrust) {
  ASSERT_EQ(Run("sample doc.pdf " + Pkcs12()).status, 0);
  ASSERT_EQ(Run("sign doc.pdf --out dos.pdf " + Pkcs12()).status, 0);
  const std::string trust = " --trust " + Quote(people_->ca.certPem);
  Bytes broken = ReadFileBytes(work_.File("dos.pdf"));
  broken[200] ^= 1;  // inside the first signature's signed range
  WriteFileBytes(work_.File("roto.pdf"), broken);
  // The signed page copied into a new document brings its field along, not its signed bytes.
  ASSERT_EQ(RunCommand("qpdf --empty --pages " + Quote(work_.File("doc.pdf")) + " -- " +
                       Quote(work_.File("copia.pdf")))
                .status,
            0);
  ASSERT_EQ(RunCommand("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -o " +
                       Quote(work_.File("sin.pdf")) + " -c showpage")
                .status,
            0);

  struct Case {
    std::string arguments;
    int status;
    std::string text;
  } cases[] = {
      {"verify dos.pdf", 3, "Veredicto: integridad correcta, emisor no confiable"},
      {"verify dos.pdf" + trust, 0, "Resultado: 2 firma(s), todas integras y confiables."},
      {"verify roto.pdf" + trust, 1,
       "Veredicto: firma no valida: el resumen de los bytes firmados no coincide"},
      {"verify dos.pdf --json" + trust, 0,
       "\"trust\":{\"status\":\"trusted\",\"chain\":[\"Ana Quispe\",\"Quillmark CA\"]"},
      {"verify sin.pdf" + trust, 1, "Resultado: el documento no contiene firmas."},
      {"verify copia.pdf" + trust, 1,
       "firma no valida: el hueco del /ByteRange no es exactamente el /Contents"},
      {"verify", 2, "verify necesita un solo documento PDF."},
      {"verify dos.pdf --trust " + Quote(File("nada.pem")), 2, "no contiene ningun certificado PEM legible"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    CommandResult r = Run(c.arguments);
    EXPECT_EQ(r.status, c.status) << r.output;
    EXPECT_NE(r.output.find(c.text), std::string::npos) << r.output;
  }
}

TEST_F(QuillmarkCli, SignsWithATrustedTimestamp) {
  TsaServer tsa;
  std::string why;
  ASSERT_TRUE(tsa.Start(&why)) << why;
  ASSERT_EQ(Run("sample doc.pdf " + Pkcs12()).status, 0);
  CommandResult r = Run("sign doc.pdf --out sellado.pdf --tsa " + Quote(tsa.Url()) + " " + Pkcs12());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(tsa.Requests(), 2) << "one request to size the room, one over the signature";

  // The token sits in the new signer's unsigned attributes and openssl accepts it over the
  // signature value.
  const std::string file = ToText(ReadFileBytes(work_.File("sellado.pdf")));
  const size_t open = file.rfind("/Contents <") + 10, close = file.find('>', open);
  const Bytes contents = HexDecode(file.substr(open + 1, close - open - 1));
  CmsSignedData cms;
  ASSERT_TRUE(ParseCmsSignedData(contents, &cms));
  ASSERT_EQ(cms.signers[0].timeStampTokens.size(), 1u);
  WriteFileBytes(work_.File("token.der"), cms.signers[0].timeStampTokens[0]);
  WriteFileBytes(work_.File("value.bin"), cms.signers[0].signature);
  CommandResult ts =
      RunCommand("openssl ts -verify -token_in -in " + Quote(work_.File("token.der")) + " -data " +
                 Quote(work_.File("value.bin")) + " -CAfile " + Quote(TsaServer::AuthorityCa().certPem));
  EXPECT_NE(ts.output.find("Verification: OK"), std::string::npos) << ts.output;
  WriteFileBytes(work_.File("cms.der"), Bytes(contents.begin(), contents.begin() + long(cms.encodedLength)));
  WriteFileText(work_.File("rangos.bin"), file.substr(0, open) + file.substr(close + 1));
  CommandResult check =
      RunCommand("openssl cms -verify -binary -noverify -inform DER -in " + Quote(work_.File("cms.der")) +
                 " -content " + Quote(work_.File("rangos.bin")) + " -out /dev/null");
  EXPECT_EQ(check.status, 0) << check.output;
  CommandResult sig = RunCommand("pdfsig " + Quote(work_.File("sellado.pdf")));
  EXPECT_EQ(Count(sig.output, "Signature Validation: Signature is Valid."), 2) << sig.output;
  EXPECT_EQ(RunCommand("qpdf --check " + Quote(work_.File("sellado.pdf"))).status, 0);

  const std::string anchors = work_.File("anclas.pem");
  WriteFileText(anchors, ToText(ReadFileBytes(people_->ca.certPem)) +
                             ToText(ReadFileBytes(TsaServer::AuthorityCa().certPem)));
  r = Run("verify sellado.pdf --trust " + Quote(anchors));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("perfil: PAdES B-T"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(" · autoridad: Sellado de tiempo de pruebas (confiable)"), std::string::npos)
      << r.output;
  r = Run("verify sellado.pdf --trust " + Quote(people_->ca.certPem));
  EXPECT_EQ(r.status, 3) << r.output;

  // A document time stamp (a bare token over the signed ranges) is checked as one.
  CommandResult made = RunCommand("cd " + Quote(work_.path()) +
                                  " && openssl ts -query -data rangos.bin -sha256 -cert -out q.tsq && "
                                  "openssl ts -reply -config " +
                                  Quote(tsa.Config()) + " -queryfile q.tsq -token_out -out dts.der");
  ASSERT_EQ(made.status, 0) << made.output;
  std::string stamped = file, hex = HexEncode(ReadFileBytes(work_.File("dts.der")));
  hex.resize(close - open - 1, '0');
  WriteFileText(work_.File("dts.pdf"), stamped.replace(open + 1, hex.size(), hex));
  r = Run("verify dts.pdf --trust " + Quote(anchors));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("perfil: sello de tiempo del documento"), std::string::npos) << r.output;

  // Whatever goes wrong with the authority, the signature fails and nothing is written.
  const std::vector<std::string> before = WorkFiles();
  struct Case {
    TsaServer::Mode mode;
    std::string message;
  } cases[] = {
      {TsaServer::Mode::Http500, "respondio con el estado HTTP 500."},
      {TsaServer::Mode::WrongImprint, "el sello de tiempo no corresponde a esta firma"},
      {TsaServer::Mode::OtherNonce, "el sello de tiempo no lleva el nonce de la peticion"},
      {TsaServer::Mode::Oversized, "con el sello de tiempo) no cabe en la reserva de 65536 B."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    tsa.SetMode(c.mode);
    r = Run("sign doc.pdf --tsa " + Quote(tsa.Url()) + " " + Pkcs12());
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_EQ(WorkFiles(), before);
  }
  tsa.Stop();
  r = Run("sign doc.pdf --tsa http://127.0.0.1:9/tsa " + Pkcs12());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("la autoridad de sellado de tiempo (http://127.0.0.1:9/tsa) no respondio: "),
            std::string::npos)
      << r.output;
  EXPECT_EQ(WorkFiles(), before);
  EXPECT_TRUE(temp_.dir.Entries().empty());
}

TEST_F(QuillmarkCli, ListsEverySourceAndSignsWithATokenKey) {
  hsm_.InitToken("personal", "1234");
  hsm_.Import("personal", "1234", *beto_, Bytes{0x01}, Bytes{0x01});
  ASSERT_EQ(Run("sample doc.pdf " + Pkcs12()).status, 0);

  CommandResult r = Run("certs " + Pkcs12());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("1. PKCS#11 (sistema) · Beto Rojas · emisor: Quillmark CA · vence: "),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find(" · clave privada: si (pide PIN)\n2. PKCS#12 · Ana Quispe · "), std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("Estado: DNIe: sin lector | PKCS#11 (sistema): 1 certificado(s) | PKCS#12: 1 "
                          "certificado(s) del PKCS#12\n"),
            std::string::npos)
      << r.output;

  r = Run("sign doc.pdf --cert 1 --pin-env QM_PIN " + Pkcs12(), "QM_PIN=1234");
  ASSERT_EQ(r.status, 0) << r.output;
  r = Run("sign doc_firmao.pdf --store --pin-file -", "", "1234");
  ASSERT_EQ(r.status, 0) << r.output;
  CommandResult check = RunCommand("pdfsig " + Quote(work_.File("doc_firmao_firmao.pdf")));
  EXPECT_EQ(Count(check.output, "Signature Validation: Signature is Valid."), 3) << check.output;
  EXPECT_EQ(Count(check.output, "Signer Certificate Common Name: Beto Rojas"), 2) << check.output;

  r = Run("sign doc.pdf --cert 1 --pin-env QM_PIN", "QM_PIN=0000");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("PKCS#11 no acepto el PIN"), std::string::npos) << r.output;
  r = Run("sign doc.pdf --cert 3 " + Pkcs12());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("no hay certificado numero 3 (la lista tiene 2;"), std::string::npos) << r.output;
  EXPECT_FALSE(FileExists(work_.File("doc_firmao2.pdf")));
}

}  // namespace
