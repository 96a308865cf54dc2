#include <zlib.h>

#include <gtest/gtest.h>

#include "core/text.h"
#include "pades/pdf_scan.h"
#include "pades/pipeline.h"
#include "tests/pades/pades_fixture.h"

using namespace pades_test;
using testing_support::Quote;
using testing_support::ReadFileBytes;
using testing_support::RunCommand;
using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

std::string Stream(const std::string& dict, const std::string& data) {
  return "<< " + dict + " /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
}

// The page text as MuPDF shows it (it repairs a damaged table as the signer does).
std::string PageText(const std::string& path) {
  return RunCommand("mutool draw -q -F txt " + Quote(path) + " 2>/dev/null").output;
}

// A contract whose real page says 100 soles, with a second catalog and page tree saying
// 1000000 hidden inside a stream that nothing references. Viewers resolve objects through the
// table and never see the hidden ones; neither may the signer, whether the table is read or,
// being damaged, replaced by a scan.
TEST(PdfReader, ObjectsInsideStreamDataNeverShadowTheDocument) {
  const std::string font =
      "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>";
  const std::string hiddenContent = "BT /F1 18 Tf 72 720 Td (CONTRATO: pago de 1000000 soles) Tj ET";
  const std::string hidden =
      "1 0 obj\n<< /Type /Catalog /Pages 6 0 R >>\nendobj\n6 0 obj\n<< /Type /Pages /Kids [7 0 R] "
      "/Count 1 >>\nendobj\n7 0 obj\n<< /Type /Page /Parent 6 0 R /MediaBox [0 0 595 842] " +
      font + " /Contents 8 0 R >>\nendobj\n8 0 obj\n" + Stream("", hiddenContent) + "\nendobj\n";
  struct Case {
    const char* name;
    std::string lengthValue;  // the hiding stream's /Length: direct, or a reference
    bool breakTable;
  } cases[] = {
      {"table read", "", false},
      {"damaged table, direct length", "", true},
      {"damaged table, indirect length", "9 0 R", true},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] " + font + " /Contents 4 0 R >>");
    pdf.Object(4, Stream("", "BT /F1 18 Tf 72 720 Td (CONTRATO: pago de 100 soles) Tj ET"));
    pdf.Object(5, c.lengthValue.empty()
                      ? Stream("", hidden)
                      : "<< /Length " + c.lengthValue + " >>\nstream\n" + hidden + "\nendstream");
    pdf.Object(9, std::to_string(hidden.size()));
    std::string text = pdf.Finish();
    if (c.breakTable) {  // the catalog's entry points at the header's second byte
      const size_t entry = text.find("xref\n0 10\n") + 10 + 20;
      text.replace(entry, 10, "0000000001");
    }
    WriteFileText(dir.File("in.pdf"), text);
    // poppler and qpdf repair a damaged table by scanning stream contents too; MuPDF skips them.
    ASSERT_NE(PageText(dir.File("in.pdf")).find("pago de 100 soles"), std::string::npos);
    PdfScan scan;
    ASSERT_EQ(scan.Open(dir.File("in.pdf")), ScanStatus::Ok);
    EXPECT_EQ(scan.repaired(), c.breakTable);

    SignResult r =
        SignPdfAt(dir.File("in.pdf"), dir.File("out.pdf"), Signer().certificate, 8192, SignerKey().Callback(),
                  {"Ana", "", ""}, {StampMode::FirstPage, ""}, kSigningTime);
    ASSERT_TRUE(r.ok) << r.error;
    const std::string shown = PageText(dir.File("out.pdf"));
    EXPECT_NE(shown.find("pago de 100 soles"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("1000000"), std::string::npos) << shown;
    const std::string section = ToText(ReadFileBytes(dir.File("out.pdf"))).substr(text.size());
    EXPECT_NE(section.find("/P 3 0 R"), std::string::npos) << "the stamp is on the real page";
    if (!c.breakTable) ExpectValid(dir.File("out.pdf"), 1);
  }
}

// Files in the forms of pdfTeX, pdf-lib and hybrid writers: signed twice, every signature must
// satisfy every validator, and the update must take the form of the newest section.
TEST(PdfReader, ObjectStreamsCrossReferenceStreamsAndGenerations) {
  const std::string font =
      "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>";
  auto page = [&](int parent, int contents, const std::string& extra = "") {
    return "<< /Type /Page /Parent " + std::to_string(parent) + " 0 R /MediaBox [0 0 595 842] " + font +
           " /Contents " + std::to_string(contents) + " 0 R" + extra + " >>";
  };
  const std::string text = "BT /F1 18 Tf 72 720 Td (Tesis) Tj ET";
  // 1 catalog, 2 pages, 3-4 pages, 5 contents (indirect /Length 6), 6 its length, 7 AcroForm,
  // 8 an earlier, unsigned signature field on page 4.
  const std::vector<std::string> objects = {
      "<< /Type /Catalog /Pages 2 0 R /AcroForm 7 0 R >>",
      "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
      page(2, 5),
      page(2, 5, " /Annots [8 0 R]"),
      "<< /Length 6 0 R >>\nstream\n" + text + "\nendstream",
      std::to_string(text.size()),
      "<< /Fields [8 0 R] /DA (/Helv 0 Tf 0 g) >>",
      "<< /FT /Sig /T (Signature1) /Type /Annot /Subtype /Widget /Rect [300 40 400 72] /P 4 0 R /F 4 >>"};
  std::vector<std::string> generations = objects;
  generations[0] = "<< /Type /Catalog /Pages 2 0 R /AcroForm 7 0 R >>";
  generations[1] = "<< /Type /Pages /Kids [3 2 R 4 0 R] /Count 2 >>";
  generations[2] = page(2, 5);
  struct Case {
    const char* name;
    const std::vector<std::string>* objects;
    ModernLayout layout;
    bool xrefStream;  // the update ends in a cross-reference stream
  } cases[] = {
      {"pdfTeX: structure and length compressed, predictor", &objects,
       ModernLayout({1, 2, 3, 4, 6, 7, 8}).Predictor(), true},
      {"pdf-lib: every object that can be compressed", &objects, ModernLayout({1, 2, 3, 4, 6, 7, 8}), true},
      {"uncompressed object and cross-reference streams", &objects, ModernLayout({1, 2, 7, 8}).Uncompressed(),
       true},
      {"hybrid: classic table with /XRefStm", &objects, ModernLayout({2, 4, 8}).Hybrid(), false},
      {"generations above 0", &generations, ModernLayout({7, 8}).Generation(1, 1).Generation(3, 2), true},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string input = ModernDocument(*c.objects, c.layout);
    WriteFileText(dir.File("in.pdf"), input);
    ASSERT_EQ(RunCommand("qpdf --check " + Quote(dir.File("in.pdf"))).status, 0) << "the fixture itself";
    SignResult r =
        SignPdfAt(dir.File("in.pdf"), dir.File("one.pdf"), Signer().certificate, 8192,
                  SignerKey().Callback("nota"), {"Ana", "", ""}, {StampMode::AllPages, ""}, kSigningTime);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.info, "el documento ya contenia 1 firma(s); se anade otra sin alterar las anteriores. nota")
        << "the compressed field was found, and both notes are kept";
    const std::string section = ToText(ReadFileBytes(dir.File("one.pdf"))).substr(input.size());
    EXPECT_NE(section.find("/T (Signature2)"), std::string::npos);
    EXPECT_EQ(section.find("/Type /XRef") != std::string::npos, c.xrefStream);
    EXPECT_EQ(section.find("\ntrailer\n") == std::string::npos, c.xrefStream);
    if (c.objects == &generations) {
      EXPECT_EQ(section.rfind("3 2 obj\n", 0), 0u) << "a rewritten page keeps its generation";
      EXPECT_NE(section.find("/P 3 2 R"), std::string::npos);
    }
    ExpectValid(dir.File("one.pdf"), 1);
    ASSERT_TRUE(SignPdfAt(dir.File("one.pdf"), dir.File("two.pdf"), Signer().certificate, 8192,
                          SignerKey().Callback(), {"Beto", "", ""}, {StampMode::None, ""}, kSigningTime)
                    .ok);
    ExpectValid(dir.File("two.pdf"), 2);
  }
}

// Malformed object streams and zip bombs end in a message, never in a crash or a flood.
TEST(PdfReader, DamagedAndHostileStreamsAreRefused) {
  const std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>",
                                            "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>"};
  std::string bombData(size_t(16) << 20, ' ');
  const std::string good = ModernDocument(objects, ModernLayout({1, 2, 3}).Predictor());
  struct Case {
    const char* name;
    std::string input;
    ScanStatus status;
  } cases[] = {
      {"good", good, ScanStatus::Ok},
      // The object stream's data replaced by a deflated 16 MiB of blanks (16 KiB).
      {"bomb", "", ScanStatus::StreamTooLarge},
      {"object stream cut short", "", ScanStatus::BadCatalog},
  };
  {
    uLongf size = compressBound(uLong(bombData.size()));
    std::string packed(size, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(bombData.data()),
              uLong(bombData.size()), 9);
    packed.resize(size);
    cases[1].input = ModernDocument(objects, ModernLayout({2, 3}).StreamData(packed));
    std::string cut = good;
    const size_t stream = cut.find("stream\n", cut.find("/Type /ObjStm")) + 7;
    cut.replace(stream + 4, 12, std::string(12, 'x'));
    cases[2].input = cut;
  }
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileText(dir.File("in.pdf"), c.input);
    PdfScan scan;
    EXPECT_EQ(scan.Open(dir.File("in.pdf")), c.status);
  }
}

}  // namespace
