#include <gtest/gtest.h>

#include "pades/sign.h"
#include "tests/pades/pades_fixture.h"

using namespace pades_test;
using testing_support::Quote;
using testing_support::ReadFileBytes;
using testing_support::RunCommand;
using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

// Documents written by real producers, made here with Debian's tools.
class Producers : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    WriteFileText(File("base.pdf"), SimpleDocument(4));
    WriteFileText(
        File("page.ps"),
        "%!PS\n/Helvetica findfont 24 scalefont setfont\n72 720 moveto (Documento de prueba) show showpage\n"
        "72 720 moveto (Segunda pagina) show showpage\n");
    Run("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sOutputFile=" + Quote(File("gs.pdf")) + " " +
        Quote(File("page.ps")));
    Run("pdftocairo -pdf " + Quote(File("gs.pdf")) + " " + Quote(File("cairo.pdf")));
    Run("qpdf --qdf " + Quote(File("base.pdf")) + " " + Quote(File("qdf.pdf")));
    Run("qpdf --linearize " + Quote(File("gs.pdf")) + " " + Quote(File("linear.pdf")));
    Run("qpdf --object-streams=generate " + Quote(File("base.pdf")) + " " + Quote(File("objstm.pdf")));
  }
  static void TearDownTestSuite() { delete dir_; }
  static std::string File(const std::string& name) { return dir_->File(name); }
  static void Run(const std::string& command) {
    auto r = RunCommand(command);
    ASSERT_EQ(r.status, 0) << command << "\n" << r.output;
  }
  static SignResult SignFile(const std::string& in, const std::string& out,
                             StampMode mode = StampMode::FirstPage) {
    return SignPdf(File(in), File(out), Signer().certificate, SignerKey().Callback(), {}, {mode, ""});
  }
  static TempDir* dir_;
};
TempDir* Producers::dir_ = nullptr;

TEST_F(Producers, GhostscriptCairoAndQpdfOutputsSignAndStayValid) {
  for (const char* name : {"gs", "cairo", "qdf", "linear"}) {
    SCOPED_TRACE(name);
    std::string in = std::string(name) + ".pdf", once = std::string(name) + "-1.pdf";
    SignResult r = SignFile(in, once);
    ASSERT_TRUE(r.ok) << r.error;
    ExpectValid(File(once), 1);
  }
}

TEST_F(Producers, TwoAndThreeSignaturesStayValid) {
  ASSERT_TRUE(SignFile("cairo.pdf", "c1.pdf", StampMode::LastPage).ok);
  ASSERT_TRUE(SignFile("c1.pdf", "c2.pdf", StampMode::None).ok);
  ExpectValid(File("c2.pdf"), 2);
  SignResult third = SignFile("c2.pdf", "c3.pdf", StampMode::LastPage);
  ASSERT_TRUE(third.ok) << third.error;
  ExpectValid(File("c3.pdf"), 3);
  // The second stamp on the last page sits above the first.
  std::string text = ToText(ReadFileBytes(File("c3.pdf")));
  EXPECT_NE(text.find("/T (Signature3) /Rect [50 76 210 108]"), std::string::npos);
}

TEST_F(Producers, ObjectStreamsSignAndStayValid) {
  SignResult r = SignFile("objstm.pdf", "objstm-1.pdf");
  ASSERT_TRUE(r.ok) << r.error;
  ExpectValid(File("objstm-1.pdf"), 1);
}

}  // namespace
