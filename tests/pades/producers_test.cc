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
    for (const char* name : {"base", "gs", "cairo"})
      Run("qpdf --object-streams=generate " + Quote(File(std::string(name) + ".pdf")) + " " +
          Quote(File(std::string(name) + "-objstm.pdf")));
    Run("qpdf --object-streams=generate --qdf " + Quote(File("base.pdf")) + " " +
        Quote(File("qdf-objstm.pdf")));
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

// qpdf keeps the catalog and page tree of each producer's file in object streams.
TEST_F(Producers, ObjectStreamOutputsSignOnEveryChosenPage) {
  struct Case {
    const char* name;
    StampOptions stamp;
  } cases[] = {{"base-objstm", {StampMode::AllPages, ""}},
               {"base-objstm", {StampMode::PageList, "1,3"}},
               {"gs-objstm", {StampMode::FirstPage, ""}},
               {"cairo-objstm", {StampMode::None, ""}},
               {"qdf-objstm", {StampMode::LastPage, ""}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.stamp.pageList);
    SignResult r = SignPdf(File(std::string(c.name) + ".pdf"), File("out.pdf"), Signer().certificate,
                           SignerKey().Callback(), {}, c.stamp);
    ASSERT_TRUE(r.ok) << r.error;
    ExpectValid(File("out.pdf"), 1);
  }
}

// A signature by another tool stays valid beside ours, and ours beside it.
TEST_F(Producers, ObjectStreamFileSignedByPdfsigFirst) {
  const std::string nss = File("nss");
  const Identity& me = Signer();
  Run("openssl pkcs12 -export -inkey " + Quote(me.id.keyPem) + " -in " + Quote(me.id.certPem) +
      " -name firmante -passout pass:clave -out " + Quote(File("id.p12")));
  Run("mkdir -p " + Quote(nss) + " && certutil -N -d sql:" + Quote(nss) + " --empty-password");
  Run("pk12util -i " + Quote(File("id.p12")) + " -d sql:" + Quote(nss) + " -W clave");
  Run("pdfsig -add-signature -nssdir sql:" + Quote(nss) + " -nick firmante " +
      Quote(File("base-objstm.pdf")) + " " + Quote(File("peer.pdf")));
  SignResult r = SignFile("peer.pdf", "peer-ours.pdf", StampMode::AllPages);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_NE(r.info.find("ya contenia 1 firma(s)"), std::string::npos) << r.info;
  ExpectValid(File("peer-ours.pdf"), 2);
}

}  // namespace
