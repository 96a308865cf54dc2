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
TEST(Reader, ObjectsInsideStreamDataNeverShadowTheDocument) {
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

}  // namespace
