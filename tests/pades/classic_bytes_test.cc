#include <gtest/gtest.h>

#include "core/sha256.h"
#include "core/text.h"
#include "pades/pipeline.h"
#include "tests/pades/pades_fixture.h"

using namespace pades_test;
using testing_support::ReadFileBytes;
using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

std::string Document(const std::vector<std::string>& objects, const std::string& trailerExtra = "",
                     bool finalNewline = true, int size = -1) {
  PdfBuilder pdf;
  for (size_t i = 0; i < objects.size(); ++i) pdf.Object(int(i + 1), objects[i]);
  return pdf.Finish(trailerExtra, finalNewline, size);
}

// The signed output with every /Contents hole emptied, hashed: the CMS depends on the test
// key, which each build makes anew, but nothing else does.
std::string OutputDigest(const std::string& path) {
  std::string text = ToText(ReadFileBytes(path));
  for (size_t at = text.find("/Contents <"); at != std::string::npos; at = text.find("/Contents <", at + 1)) {
    size_t close = text.find('>', at);
    if (close == std::string::npos) break;
    text.erase(at + 11, close - at - 11);
  }
  Sha256Digest d = Sha256(text.data(), text.size());
  return HexEncode(d.data(), d.size());
}

// Documents of the classic structure, signed at a fixed time: every output byte outside the
// CMS must stay as it was when these digests were taken.
TEST(ClassicBytes, OutputsStayByteIdentical) {
  const std::string page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>";
  const std::string onePage = "<< /Type /Pages /Kids [3 0 R] /Count 1 >>";
  struct Case {
    const char* name;
    std::string input;
    StampOptions stamp;
    SignatureTexts texts;
    const char* digest;
  } cases[] = {
      {"invisible",
       SimpleDocument(1),
       {StampMode::None, ""},
       {"Ana", "Lima", "Prueba"},
       "2DECFF3E2F00961FC855E15231996A68468E171650DD7C934CFF604C8D107E4B"},
      {"first page",
       SimpleDocument(3),
       {StampMode::FirstPage, ""},
       {"Ana", "", ""},
       "7565AA8398952F6D94F000727289743D687C43162878B483A207BB51701EC147"},
      {"last page",
       SimpleDocument(3),
       {StampMode::LastPage, ""},
       {"Ana (CEO)", "", ""},
       "A0A7F76E46B735BE7B6EB6B9F4D9D933812C43E29DD2585FD708023E0FB74FBB"},
      {"page list",
       SimpleDocument(3),
       {StampMode::PageList, "2"},
       {std::string(85, 'A'), "", ""},
       "4A6768675938735481AE933AE23051A65DB99E980E159A371EE8AB716A3C87CE"},
      // A Spanish name stays in Helvetica: outside PDF/A only characters code page 1252 lacks
      // bring the embedded font.
      {"spanish name",
       SimpleDocument(2),
       {StampMode::FirstPage, ""},
       {"José Peña Núñez", "Cusco", "Conformidad"},
       "4F6BE0FB915BD00246EEADA2CA05F312B2C80F43E44E26B281F66F6268FBA83D"},
      {"no valid page",
       SimpleDocument(3),
       {StampMode::PageList, "0, 99"},
       {"Ana", "", ""},
       "189E0F0B576DD76276A1EE4D9784644DE4A3FA40ED6F8373C2378F94AEF9A691"},
      {"no final newline",
       Document({"<< /Type /Catalog /Pages 2 0 R >>", onePage, page}, "", false),
       {StampMode::FirstPage, ""},
       {"Ana", "", ""},
       "6074BD0283D78D0356F62D5F853E20E536967608567BF133DE2C9165AB9C297F"},
      {"identifier and size",
       Document({"<< /Type /Catalog /Pages 2 0 R >>", onePage, page}, " /ID [<ab01> <CD02>]", true, 20),
       {StampMode::None, ""},
       {"Ana", "", ""},
       "4CFD66DA8B4357D6994493F5C86103351C5A852C10F50E4B525EF28EBE453AC6"},
      {"inline AcroForm with signatures",
       Document({"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R 5 0 R] >> >>", onePage,
                 "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots [4 0 R 5 0 R] >>",
                 "<< /FT /Sig /T (Signature1) /Subtype /Widget /Rect [50 40 210 72] /P 3 0 R >>",
                 "<< /FT /Tx /T (Signature2) /Subtype /Widget /Rect [10 10 20 20] >>"}),
       {StampMode::FirstPage, ""},
       {"Ana", "", ""},
       "23C125049ECC0ED610C5B307484A8BB73E73CFD09B2806671115E1AACA0C8CDC"},
      {"referenced AcroForm and Annots",
       Document({"<< /Type /Catalog /Pages 2 0 R /AcroForm 4 0 R >>", onePage,
                 "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots 5 0 R >>",
                 "<< /Fields [] /SigFlags 1 /DA (0 g /Helv 9 Tf) >>", "[ 6 0 R ]",
                 "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] >>"}),
       {StampMode::FirstPage, ""},
       {"Ana", "", ""},
       "45C80F3F19E2AC89E1F9F46005A00EBF441A4CF1C9E5938CA181A752C2F009DD"},
      {"dangling AcroForm",
       Document({"<< /Type /Catalog /Pages 2 0 R /AcroForm 40 0 R >>", onePage, page}),
       {StampMode::None, ""},
       {"Ana", "", ""},
       "05D89E439B1C01E029E043B4DDEC4A91D1C9BC34F86AC11D878911BB70CB105E"},
      {"nested tree",
       Document({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
                 "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R] /Count 1 >>",
                 "<< /Type /Pages /Parent 2 0 R /Kids [6 0 R] /Count 1 >>", "<< /Type /Page /Parent 3 0 R >>",
                 "<</Type/Page/Parent 4 0 R/MediaBox[0 0 300 92]>>"}),
       {StampMode::LastPage, ""},
       {"Ana", "", ""},
       "2EC2850DF1FD6430D0D41155EBA077EA725DDA61853E202BC74C365E089C736D"},
      // No usable table at all: objects are found by the scan, and the update lists every one of
      // them without /Prev, so that no reader goes back to guess.
      {"empty table",
       WithTrailer("%PDF-1.4\n1 0 obj <</Type/Catalog/Pages 2 0 R>>\nendobj\n2 0 obj <</Type/Pages/Kids[3 0 "
                   "R]/Count 1>>\nendobj\n3 0 obj <</Type/Page/Parent 2 0 R>>\nendobj\n"),
       {StampMode::FirstPage, ""},
       {"Ana", "", ""},
       "ABA2F863BBB4061C0AAA5ABC556A53A380716C98340924978EC341BA05631590"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileText(dir.File("in.pdf"), c.input);
    SignResult r = SignPdfAt(dir.File("in.pdf"), dir.File("out.pdf"), Signer().certificate, 8192,
                             SignerKey().Callback(), c.texts, c.stamp, kSigningTime);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(OutputDigest(dir.File("out.pdf")), c.digest);
  }
  SignResult sample = CreateSignedSampleAt(dir.File("sample.pdf"), "Hola (mundo)", Signer().certificate, 8192,
                                           SignerKey().Callback(), {"Ana", "", ""}, kSigningTime);
  ASSERT_TRUE(sample.ok) << sample.error;
  EXPECT_EQ(OutputDigest(dir.File("sample.pdf")),
            "433FF6B0613F5C7EA6CE0A71947BEF8D31BB87F8287B47FD3FE49B542D3DD7F9");
  CreateSignedSampleAt(dir.File("plain.pdf"), "Hola", Signer().certificate, 8192, SigningCallback(), {},
                       kSigningTime);
  EXPECT_EQ(OutputDigest(dir.File("plain.pdf")),
            "B86D566B735CF96C0C5731586AE0E73DE157AE5883AC9549DB1B92DDEEEE3F7D");
}

}  // namespace
