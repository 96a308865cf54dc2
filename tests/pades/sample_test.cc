#include <gtest/gtest.h>

#include "pades/pipeline.h"
#include "pades/sample.h"
#include "tests/pades/pades_fixture.h"

using namespace pades_test;
using testing_support::ReadFileBytes;
using testing_support::TempDir;

namespace {

TEST(SignedSample, SignedFromTheStart) {
  TempDir dir;
  SignResult r = CreateSignedSampleAt(dir.File("s.pdf"), "Hola (mundo)", Signer().certificate, 8192,
                                      SignerKey().Callback("nota"), {"Ana", "", ""}, kSigningTime);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.isSigned);
  EXPECT_EQ(r.info, "nota");
  EXPECT_TRUE(r.error.empty());
  const std::string text = ToText(ReadFileBytes(dir.File("s.pdf")));
  EXPECT_EQ(r.size, text.size());
  EXPECT_NE(text.find("(Hola \\(mundo\\)) Tj"), std::string::npos);
  EXPECT_NE(text.find("/Rect [50 40 270 72]"), std::string::npos) << "short lines give the minimum width 220";
  EXPECT_NE(text.find("xref\n0 11\n0000000000 65535 f \n"), std::string::npos);
  EXPECT_NE(text.find("trailer\n<< /Size 11 /Root 1 0 R >>\nstartxref\n"), std::string::npos);
  EXPECT_EQ(text.find("/ID"), std::string::npos);
  ExpectValid(dir.File("s.pdf"), 1);
}

// A name code page 1252 cannot write is drawn in the embedded font and reads back as written;
// the page's own text stays in Helvetica, with "?" for what it lacks.
TEST(SignedSample, NameOutsideCodePage1252) {
  TempDir dir;
  SignResult r = CreateSignedSampleAt(dir.File("s.pdf"), "Hola \xCE\xA9", Signer().certificate, 8192,
                                      SignerKey().Callback(), {"\xC5\x81ucja Dvo\xC5\x99\xC3\xA1k", "", ""},
                                      kSigningTime);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.warning, "la fuente del sello no tiene los caracteres \"\xCE\xA9\"; se dibujan como \"?\".");
  ExpectValid(dir.File("s.pdf"), 1);
  const std::string text = testing_support::RunCommand("pdftotext " + dir.File("s.pdf") + " -").output;
  EXPECT_NE(text.find("\n\xC5\x81ucja Dvo\xC5\x99\xC3\xA1k\n"), std::string::npos) << text;
  EXPECT_NE(testing_support::RunCommand("pdffonts " + dir.File("s.pdf")).output.find("DejaVuSans"),
            std::string::npos);
}

TEST(SignedSample, WrittenWithoutSignatureWhenSigningCannotFinish) {
  TempDir dir;
  SignResult r = CreateSignedSampleAt(dir.File("s.pdf"), "Hola", Signer().certificate, 8192,
                                      SigningCallback(), {}, kSigningTime);
  EXPECT_TRUE(r.ok);
  EXPECT_FALSE(r.isSigned);
  EXPECT_EQ(r.error, "PDF escrito sin firma.");
  const std::string text = ToText(ReadFileBytes(dir.File("s.pdf")));
  EXPECT_EQ(r.size, text.size());
  EXPECT_NE(text.find("xref\n0 6\n"), std::string::npos);
  EXPECT_NE(text.find("<< /Size 6 /Root 1 0 R >>"), std::string::npos);
  EXPECT_EQ(text.find("/AcroForm"), std::string::npos);
  EXPECT_EQ(testing_support::RunCommand("qpdf --check " + dir.File("s.pdf")).status, 0);

  // The first error stays in front of the fallback's text.
  SigningCallback refuses = [](const Bytes&, std::string* note) {
    *note = "PIN incorrecto.";
    return Bytes();
  };
  r = CreateSignedSampleAt(dir.File("t.pdf"), "Hola", Signer().certificate, 8192, refuses, {}, kSigningTime);
  EXPECT_TRUE(r.ok);
  EXPECT_FALSE(r.isSigned);
  EXPECT_EQ(r.error, "PIN incorrecto.");
  r = CreateSignedSampleAt(dir.File("u.pdf"), "Hola", Signer().certificate, 600, refuses, {}, kSigningTime);
  EXPECT_NE(r.error.find("no cabe en la reserva de 600 B."), std::string::npos) << r.error;
  r = CreateSignedSampleAt(dir.File("no/such/v.pdf"), "Hola", Signer().certificate, 8192, SigningCallback(),
                           {}, kSigningTime);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "no se pudo abrir " + dir.File("no/such/v.pdf") + " para escritura.");
}

TEST(SignedSample, LayoutPlaceholdersFrameTheHole) {
  SampleLayout layout = BuildSampleDocument("x", true, 16384, kSigningTime, {"Ana", "Lima", "Prueba"});
  const std::string& doc = layout.document;
  EXPECT_EQ(doc.compare(layout.byteRange - 12, 12, "/ByteRange ["), 0);
  EXPECT_EQ(doc[layout.contentsOpen], '<');
  EXPECT_EQ(doc[layout.contentsClose], '>');
  EXPECT_EQ(layout.contentsClose - layout.contentsOpen, 32769u);
  EXPECT_EQ(doc.compare(0, 15, "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"), 0);
}

}  // namespace
