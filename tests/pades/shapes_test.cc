#include <gtest/gtest.h>

#include "pades/pdf_scan.h"
#include "pades/sign.h"
#include "tests/pades/pades_fixture.h"

using namespace pades_test;
using testing_support::Quote;
using testing_support::ReadFileBytes;
using testing_support::RunCommand;
using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

void Make(const std::string& command) {
  auto r = RunCommand(command);
  ASSERT_EQ(r.status, 0) << command << "\n" << r.output;
}

// The shapes of documents people bring, from Debian's producers and by hand, each signed with a
// stamp on page 1: every signature validates, and page 1 changes only inside the stamp in both
// renderers, whatever the form asks readers to regenerate.
TEST(DocumentShapes, SignAndChangeNothingOutsideTheStamp) {
  TempDir dir;
  auto file = [&](const std::string& name) { return dir.File(name); };
  // One-pass producers: a classic table of 15 000 entries whose /Length values are objects of
  // their own, and Ghostscript with hundreds of pages.
  WriteFileText(file("one-pass.pdf"), OnePassDocument(5000));
  WriteFileText(file("pages.ps"),
                "%!PS\n/Helvetica findfont 11 scalefont setfont\n1 1 900 { /n exch def 0 1 40 { 11 mul 760 "
                "exch sub 72 exch moveto (Linea de un informe largo, pagina ) show n 8 string cvs show } for "
                "0.2 0.4 0.8 setrgbcolor 300 100 100 80 rectfill 0 setgray showpage } for\n");
  Make("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sPAPERSIZE=a4 -o " + Quote(file("ghostscript.pdf")) +
      " " + Quote(file("pages.ps")));
  // Forms with /NeedAppearances true: pdfTeX with hyperref, LibreOffice from HTML, and one
  // without any /DA as ConTeXt writes them.
  WriteFileText(file("form.tex"),
                "\\documentclass{article}\\usepackage{hyperref}\\begin{document}\\section*{Solicitud}"
                "\\begin{Form}\\TextField[name=nombre,width=5cm]{Nombre:}\\par\\medskip"
                "\\ChoiceMenu[name=ciudad,combo]{Ciudad:}{Lima,Cusco}\\end{Form}\\end{document}\n");
  Make("cd " + Quote(dir.path()) + " && pdflatex -interaction=nonstopmode -halt-on-error form.tex");
  // LuaTeX writes the same form with object streams and a cross-reference stream.
  Make("cd " + Quote(dir.path()) + " && lualatex -interaction=nonstopmode -halt-on-error -jobname=form-lua form.tex");
  WriteFileText(file("solicitud.html"),
                "<html><body><h1>Solicitud</h1><form><p>Nombre: <input type=\"text\" name=\"nombre\" "
                "value=\"Juana\"></p><p>Acepto: <input type=\"checkbox\" name=\"acepto\" checked></p><p>Ciudad: "
                "<select name=\"ciudad\"><option>Lima</option><option>Cusco</option></select></p></form>"
                "</body></html>\n");
  Make("cd " + Quote(dir.path()) + " && soffice -env:UserInstallation=file://" + dir.path() +
      "/perfil --headless --convert-to pdf solicitud.html");
  WriteFileText(file("undecorated.pdf"), UndecoratedFormDocument());
  WriteFileText(file("deep.pdf"), DeepTreeDocument(40));

  for (const char* name : {"one-pass", "ghostscript", "form", "form-lua", "solicitud", "undecorated", "deep"}) {
    SCOPED_TRACE(name);
    const std::string in = file(std::string(name) + ".pdf"), out = file(std::string(name) + "-firmado.pdf");
    if (std::string(name).rfind("form", 0) == 0 || std::string(name) == "solicitud") {
      auto flag = RunCommand("mutool show " + Quote(in) + " trailer/Root/AcroForm/NeedAppearances");
      ASSERT_EQ(flag.output, "true\n") << "the producer changed its forms";
    }
    SignResult r = SignPdf(in, out, Signer().certificate, SignerKey().Callback(), {}, {StampMode::FirstPage, ""});
    ASSERT_TRUE(r.ok) << r.error;
    ExpectValid(out, 1);
    ExpectOnlyStampChanged(in, out);
  }
  // A second signature stacks its stamp above the first one, also over a form's widgets.
  const std::string twice = file("solicitud-2.pdf");
  ASSERT_TRUE(SignPdf(file("solicitud-firmado.pdf"), twice, Signer().certificate, SignerKey().Callback(), {},
                      {StampMode::FirstPage, ""})
                  .ok);
  ExpectValid(twice, 2);
  ExpectOnlyStampChanged(file("solicitud-firmado.pdf"), twice, "Signature2");
  EXPECT_NE(ToText(ReadFileBytes(twice)).find("/T (Signature2) /Rect [50 76 210 108]"), std::string::npos);
}

// The reader's budget bounds hostile files, not honest ones: thousands of objects that are not
// dictionaries cost only their own bytes, while a file that makes every read run to its limit
// is refused as such, not as a damaged one.
TEST(DocumentShapes, ReadBudgetSpentOnlyByHostileFiles) {
  TempDir dir;
  WriteFileText(dir.File("one-pass.pdf"), OnePassDocument(10000));
  PdfScan honest;
  ASSERT_EQ(honest.Open(dir.File("one-pass.pdf")), ScanStatus::Ok);
  EXPECT_EQ(honest.index().size(), 30002u);
  EXPECT_EQ(honest.pages().size(), 10000u);

  // Forty dictionaries that never end, each read through ever larger windows up to the limit.
  std::string hostile = "%PDF-1.4\n";
  for (int n = 1; n <= 40; ++n) hostile += std::to_string(n) + " 0 obj\n<< /Kids [\n";
  hostile += std::string(size_t(9) << 20, ' ');
  WriteFileText(dir.File("hostile.pdf"), WithTrailer(hostile));
  PdfScan refused;
  EXPECT_EQ(refused.Open(dir.File("hostile.pdf")), ScanStatus::OverBudget);
}

}  // namespace
