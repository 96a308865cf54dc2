#include <sys/stat.h>

#include <gtest/gtest.h>

#include "core/sha256.h"
#include "core/text.h"
#include "pades/container.h"
#include "pades/pipeline.h"
#include "pades/sign.h"
#include "tests/pades/pades_fixture.h"

using namespace pades_test;
using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::RunCommand;
using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

std::string ReadText(const std::string& path) {
  return ToText(ReadFileBytes(path));
}

struct Signed {
  SignResult result;
  std::string input;
  std::string output;  // whole output file, empty when none was written
  std::string section() const { return output.substr(input.size()); }
};

// SignText signs `input` (written to a fresh folder) and returns the result and the file.
Signed SignText(const TempDir& dir, const std::string& input, StampOptions stamp = {StampMode::None, ""},
                const SignatureTexts& texts = {"Ana", "Lima", "Prueba"},
                const SigningCallback* callback = nullptr, uint32_t reservation = 8192) {
  Signed s;
  s.input = input;
  WriteFileText(dir.File("in.pdf"), input);
  std::remove(dir.File("out.pdf").c_str());
  s.result = SignPdfAt(dir.File("in.pdf"), dir.File("out.pdf"), Signer().certificate, reservation,
                       callback ? *callback : SignerKey().Callback(), texts, stamp, kSigningTime);
  if (FileExists(dir.File("out.pdf"))) s.output = ReadText(dir.File("out.pdf"));
  return s;
}

std::string NumberingExample(bool finalNewline = true, const std::string& trailerExtra = "") {
  PdfBuilder pdf;
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Object(
      3,
      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << /Font << /F1 5 "
      "0 R >> >> >>");
  std::string content = "BT /F1 12 Tf 72 720 Td (Hola) Tj ET";
  pdf.Object(4, "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
  pdf.Object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  return pdf.Finish(trailerExtra, finalNewline);
}

std::string InputId(const std::string& input) {
  Sha256Digest d = Sha256(input.data(), input.size());
  return HexEncode(d.data(), 16);
}

TEST(SignPdf, AppendedSectionIsExactToTheByte) {
  TempDir dir;
  const std::string input = NumberingExample();
  Signed s = SignText(dir, input);
  ASSERT_TRUE(s.result.ok) << s.result.error;
  ASSERT_TRUE(s.result.isSigned);
  EXPECT_EQ(s.result.size, s.output.size());
  ASSERT_EQ(s.output.compare(0, input.size(), input), 0) << "the input bytes stay untouched";

  const std::string section = s.section();
  const size_t open = section.find("/Contents <") + 10;
  const size_t close = section.find(">", open);
  ASSERT_EQ(close - open - 1, 32768u) << "the reservation settles at 16384 bytes";
  const std::string hole = section.substr(open, close - open + 1);

  std::string expected =
      "3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources << /Font << "
      "/F1 5 0 R >> >>  /Annots [ 7 0 R ]>>\nendobj\n"
      "1 0 obj\n<< /Type /Catalog /Pages 2 0 R  /AcroForm 6 0 R>>\nendobj\n"
      "6 0 obj\n<< /Fields [ 7 0 R ] /SigFlags 3 /DA (0 0 0 rg /Helv 0 Tf) /DR << /Font << /Helv << /Type "
      "/Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>>>\nendobj\n"
      "7 0 obj\n<< /Type /Annot /Subtype /Widget /FT /Sig /T (Signature1) /Rect [0 0 0 0] /F 4 /P 3 0 R /V 8 "
      "0 R >>\nendobj\n"
      "8 0 obj\n<<\n/Type /Sig\n/Filter /Adobe.PPKLite\n/SubFilter /ETSI.CAdES.detached\n/Name (Ana)\n"
      "/Location <FEFF004C0069006D0061>\n/Reason <FEFF005000720075006500620061>\n"
      "/M (D:20261206101500+00'00')\n/ByteRange [" +
      std::string(43, '@') + "]\n/Contents " + hole + "\n>>\nendobj\n";
  const size_t base = input.size();
  auto at = [&](const std::string& header) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu", base + expected.find(header));
    return std::string(line);
  };
  const size_t holeStart = base + expected.find("/Contents <") + 10;
  const std::string xref = "xref\n0 1\n0000000000 65535 f \n1 1\n" + at("1 0 obj") + " 00000 n \n3 1\n" +
                           at("3 0 obj") + " 00000 n \n6 1\n" + at("6 0 obj") + " 00000 n \n7 1\n" +
                           at("7 0 obj") + " 00000 n \n8 1\n" + at("8 0 obj") + " 00000 n \n";
  const size_t xrefAt = base + expected.size();
  const std::string id = InputId(input);
  expected += xref + "trailer\n<< /Size 9 /Root 1 0 R /Prev " + std::to_string(input.find("xref\n")) +
              " /ID [<" + id + "> <" + id + ">] >>\nstartxref\n" + std::to_string(xrefAt) + "\n%%EOF\n";
  const size_t total = base + expected.size();
  expected.replace(expected.find('@'), 43, ByteRangeText(holeStart, holeStart + 32769, total));
  EXPECT_EQ(section, expected);
  EXPECT_EQ(ByteRangeText(holeStart, holeStart + 32769, total).size(), 43u);
  for (size_t line = section.find("xref\n") + 5; section.compare(line, 7, "trailer") != 0;
       line = section.find('\n', line) + 1) {
    if (section[line + 10] == ' ') {
      EXPECT_EQ(section.find('\n', line) + 1 - line, 20u) << "xref lines are 20 bytes";
    }
  }
  ExpectValid(dir.File("out.pdf"), 1);
}

TEST(SignPdf, EndOfInputIdentifierAndSizeRules) {
  TempDir dir;
  // No newline after %%EOF: one is added before the first new object; CR LF needs none.
  Signed bare = SignText(dir, NumberingExample(false));
  ASSERT_TRUE(bare.result.ok) << bare.result.error;
  EXPECT_EQ(bare.section().substr(0, 9), "\n3 0 obj\n");
  ExpectValid(dir.File("out.pdf"), 1);
  std::string crlf = NumberingExample(false) + "\r\n";
  Signed windows = SignText(dir, crlf);
  ASSERT_TRUE(windows.result.ok) << windows.result.error;
  EXPECT_EQ(windows.section().substr(0, 8), "3 0 obj\n");

  // An existing /ID keeps its first string; a /Size above the highest object moves the numbering.
  Signed withId = SignText(dir, NumberingExample(true, " /ID [<ab01> <CD02>]"));
  ASSERT_TRUE(withId.result.ok) << withId.result.error;
  EXPECT_NE(withId.section().find("/ID [<ab01> <" + InputId(withId.input) + ">]"), std::string::npos);
  ExpectValid(dir.File("out.pdf"), 1);

  // An /ID whose first string is not hex is not carried into the new trailer.
  Signed oddId = SignText(dir, NumberingExample(true, " /ID [<zz)> <CD02>]"));
  ASSERT_TRUE(oddId.result.ok) << oddId.result.error;
  const std::string fresh = InputId(oddId.input);
  EXPECT_NE(oddId.section().find("/ID [<" + fresh + "> <" + fresh + ">]"), std::string::npos);

  std::string sized = NumberingExample();
  sized.replace(sized.find("/Size 6"), 7, "/Size 20");
  Signed numbered = SignText(dir, sized);
  ASSERT_TRUE(numbered.result.ok) << numbered.result.error;
  EXPECT_NE(numbered.section().find("/AcroForm 20 0 R"), std::string::npos);
  EXPECT_NE(numbered.section().find("<< /Size 23 /Root 1 0 R"), std::string::npos);

  std::string small = NumberingExample();
  small.replace(small.find("/Size 6"), 7, "/Size 2");
  Signed after = SignText(dir, small);
  ASSERT_TRUE(after.result.ok) << after.result.error;
  EXPECT_NE(after.section().find("/AcroForm 6 0 R"), std::string::npos) << "numbering starts past object 5";
}

TEST(SignPdf, FailuresWriteNothingAndSayWhy) {
  TempDir dir;
  const KeySigner& key = SignerKey();
  const std::string good = SimpleDocument(1);
  // A catalog inside an object stream whose dictionary only a lenient reader reads ("/N 2x"):
  // a verifier reading strictly would find no signature in the signed copy.
  std::string garbled = ModernDocument(
      {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", "<< /Type /Page /Parent 2 0 R >>"},
      ModernLayout({1, 2}).Uncompressed());
  garbled.replace(garbled.find("/N 2 /First"), 11, "/N 2x/First");
  struct Case {
    std::string input;
    std::string error;
  } cases[] = {
      {"%PDF-1.", dir.File("in.pdf") + " no es un PDF."},
      {"hola mundo, esto no es un PDF", dir.File("in.pdf") + " no es un PDF."},
      {"%PDF-1.4\n1 0 obj <<>> endobj\n", "el PDF no tiene 'startxref': no es un PDF valido."},
      {"%PDF-1.4\nstartxref\n999\n%%EOF\n", "el 'startxref' del PDF apunta fuera del fichero."},
      {"%PDF-1.4\nstartxref\n3\n%%EOF\n", "no se pudo leer el trailer del PDF (xref ilegible)."},
      {"%PDF-1.4\nxref\ntrailer\n<< /Size 1 >>\nstartxref\n9\n%%EOF\n", "el trailer del PDF no tiene /Root."},
      {"%PDF-1.4\nxref\ntrailer\n<< /Root 1 0 R >>\nstartxref\n9\n%%EOF\n",
       "el PDF no contiene objetos legibles (probablemente todo el arbol esta en un ObjStm)."},
      {WithTrailer("%PDF-1.4\n1 0 obj 5\nendobj\n"), "el catalogo del PDF no es un diccionario legible."},
      // Numbers past 8388607 would make an update no reader accepts.
      {WithTrailer("%PDF-1.4\n1 0 obj <</Pages 2 0 R>>\nendobj\n2 0 obj <</Kids [3 0 R]>>\nendobj\n8388606 0 "
                   "obj <</Type /Page>>\nendobj\n3 0 obj <</Type /Page>>\nendobj\n"),
       "el PDF usa numeros de objeto por encima de 8388607, el maximo que admiten los lectores; no se puede "
       "firmar."},
      {WithTrailer("%PDF-1.4\n1 0 obj <</Pages [2 0 R]>>\nendobj\n"),
       "el catalogo no apunta a /Pages por referencia."},
      {WithTrailer("%PDF-1.4\n1 0 obj <</Pages 2 0 R>>\nendobj\n"),
       "no se localizo ninguna pagina en el arbol del PDF."},
      {garbled,
       "el catalogo del PDF solo se puede leer adivinando (el objeto 1 esta en un flujo de objetos ilegible); los "
       "lectores no coinciden y no se firma."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    Signed s = SignText(dir, c.input);
    EXPECT_FALSE(s.result.ok);
    EXPECT_EQ(s.result.error, c.error);
    EXPECT_TRUE(s.output.empty());
  }
  SignResult missing = SignPdf(dir.File("nada.pdf"), dir.File("out.pdf"), Signer().certificate,
                               key.Callback(), {}, StampOptions{});
  EXPECT_EQ(missing.error, "no se pudo leer " + dir.File("nada.pdf") + ".");

  // Certificate and callback conditions for the trial container.
  ParsedCertificate unparsed = Signer().certificate;
  unparsed.parsed = false;
  ParsedCertificate empty = Signer().certificate;
  empty.der.clear();
  WriteFileText(dir.File("in.pdf"), good);
  const std::string none = "no hay certificado valido para firmar.";
  EXPECT_EQ(
      SignPdf(dir.File("in.pdf"), dir.File("out.pdf"), Signer().certificate, 8192, SigningCallback(), {})
          .error,
      none);
  EXPECT_EQ(SignPdf(dir.File("in.pdf"), dir.File("out.pdf"), unparsed, 8192, key.Callback(), {}).error, none);
  EXPECT_EQ(SignPdf(dir.File("in.pdf"), dir.File("out.pdf"), empty, 8192, key.Callback(), {}).error, none);
  EXPECT_EQ(
      SignPdf(dir.File("in.pdf"), dir.File("out.pdf"), Signer().certificate, 511, key.Callback(), {}).error,
      none);
  SignResult small =
      SignPdf(dir.File("in.pdf"), dir.File("out.pdf"), Signer().certificate, 1000, key.Callback(), {});
  EXPECT_NE(small.error.find("B) no cabe en la reserva de 1000 B."), std::string::npos) << small.error;
  EXPECT_EQ(small.error.rfind("el CMS (", 0), 0u);

  SigningCallback refuses = [](const Bytes&, std::string* note) {
    *note = "PIN bloqueado.";
    return Bytes();
  };
  SigningCallback silent = [](const Bytes&, std::string*) { return Bytes(); };
  SigningCallback oversized = [](const Bytes&, std::string*) { return Bytes(20000, 1); };
  EXPECT_EQ(SignText(dir, good, {}, {}, &refuses).result.error, "PIN bloqueado.");
  EXPECT_EQ(SignText(dir, good, {}, {}, &silent).result.error, "la tarjeta no firmo.");
  Signed tooBig = SignText(dir, good, {}, {}, &oversized);
  EXPECT_NE(tooBig.result.error.find(" B) supera la reserva de 16384 B."), std::string::npos)
      << tooBig.result.error;
  EXPECT_TRUE(tooBig.output.empty());

  // A non-RSA key.
  auto ec =
      Pki().MakeLeaf(Authority(), "ec", "/CN=Clave EC", "-algorithm EC -pkeyopt ec_paramgen_curve:P-256");
  ParsedCertificate ecCert;
  ASSERT_TRUE(ParseCertificateExact(ec.certDer, &ecCert));
  EXPECT_EQ(
      SignPdf(dir.File("in.pdf"), dir.File("out.pdf"), ecCert, 8192, key.Callback(), {}).error,
      "el certificado elegido no es de firma RSA; este motor solo firma con RSA (PKCS#1 v1.5 + SHA-256).");
  EXPECT_FALSE(FileExists(dir.File("out.pdf")));
  for (const std::string& name : dir.Entries()) EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
}

TEST(SignPdf, EncryptedDocumentsAreRefusedBeforeWriting) {
  TempDir dir;
  WriteFileText(dir.File("plain.pdf"), SimpleDocument(1));
  ASSERT_EQ(
      RunCommand("qpdf --encrypt usuario duenio 256 -- " + dir.File("plain.pdf") + " " + dir.File("enc.pdf"))
          .status,
      0);
  SignResult r =
      SignPdf(dir.File("enc.pdf"), dir.File("out.pdf"), Signer().certificate, SignerKey().Callback(), {}, {});
  EXPECT_EQ(r.error, "el PDF esta cifrado; no se puede firmar.");
  EXPECT_FALSE(FileExists(dir.File("out.pdf")));
}

TEST(SignPdf, OutputReplacesAtomicallyAndNeverWritesTheInput) {
  TempDir dir;
  const std::string original = SimpleDocument(2);
  WriteFileText(dir.File("doc.pdf"), original);
  // A second name for the same bytes: the input file itself must never be written.
  ASSERT_EQ(::link(dir.File("doc.pdf").c_str(), dir.File("alias.pdf").c_str()), 0);
  SignResult r =
      SignPdf(dir.File("doc.pdf"), dir.File("doc.pdf"), Signer().certificate, SignerKey().Callback(), {}, {});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(ReadText(dir.File("alias.pdf")), original);
  ExpectValid(dir.File("doc.pdf"), 1);

  // A failure leaves an existing output as it was, and no temporary file behind.
  WriteFileText(dir.File("keep.pdf"), "anterior");
  SigningCallback refuses = [](const Bytes&, std::string*) { return Bytes(); };
  EXPECT_FALSE(
      SignPdf(dir.File("alias.pdf"), dir.File("keep.pdf"), Signer().certificate, refuses, {}, {}).ok);
  EXPECT_EQ(ReadText(dir.File("keep.pdf")), "anterior");
  // Unwritable output: the message names the path the caller gave.
  SignResult denied = SignPdf(dir.File("alias.pdf"), dir.File("no/such/out.pdf"), Signer().certificate,
                              SignerKey().Callback(), {}, {});
  EXPECT_EQ(denied.error, "no se pudo abrir " + dir.File("no/such/out.pdf") + " para escritura.");
  std::vector<std::string> names = dir.Entries();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"alias.pdf", "doc.pdf", "keep.pdf"}));
}

TEST(SignPdf, FilesPast32BitOffsetsAreRefused) {
  TempDir dir;
  std::string head = SimpleDocument(1);
  WriteFileText(dir.File("huge.pdf"), head);
  // A sparse file of 4 GiB: nothing is read beyond the header before the refusal.
  ASSERT_EQ(::truncate(dir.File("huge.pdf").c_str(), off_t(1) << 32), 0);
  SignResult r = SignPdf(dir.File("huge.pdf"), dir.File("out.pdf"), Signer().certificate,
                         SignerKey().Callback(), {}, {});
  EXPECT_EQ(r.error,
            "el PDF es demasiado grande para firmarlo: el /ByteRange admite como maximo 4294967295 bytes.");
  EXPECT_FALSE(FileExists(dir.File("out.pdf")));
}

TEST(CheckSignedFile, AcceptsOnlyTheBytesThatWereSigned) {
  TempDir dir;
  Signed s = SignText(dir, SimpleDocument(1));
  ASSERT_TRUE(s.result.ok) << s.result.error;
  // Recompute the digest over the ranges to check the checker itself.
  size_t open = s.output.rfind("/Contents <") + 10, close = s.output.find('>', open);
  std::string ranges = s.output.substr(0, open) + s.output.substr(close + 1);
  Sha256Digest digest = Sha256(ranges.data(), ranges.size());
  EXPECT_TRUE(CheckSignedFile(dir.File("out.pdf"), digest));
  std::string altered = s.output;
  altered[10] ^= 1;
  WriteFileText(dir.File("altered.pdf"), altered);
  EXPECT_FALSE(CheckSignedFile(dir.File("altered.pdf"), digest));
  WriteFileText(dir.File("short.pdf"), s.output.substr(0, s.output.size() - 1));
  EXPECT_FALSE(CheckSignedFile(dir.File("short.pdf"), digest));
  EXPECT_FALSE(CheckSignedFile(dir.File("absent.pdf"), digest));
}

}  // namespace
