#include <gtest/gtest.h>

#include "pades/field.h"
#include "pades/pipeline.h"
#include "tests/pades/pades_fixture.h"

using namespace pades_test;
using testing_support::FileExists;
using testing_support::Quote;
using testing_support::ReadFileBytes;
using testing_support::RunCommand;
using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

constexpr const char* kNotice = " firma(s); se anade otra sin alterar las anteriores.";

// Sign signs `in` into `out` inside `dir`, returning the result and the appended section.
SignResult Sign(const TempDir& dir, const std::string& in, const std::string& out, StampOptions stamp,
                std::string* section = nullptr, SignatureTexts texts = {}, SigningCallback callback = {}) {
  SignResult r = SignPdfAt(dir.File(in), dir.File(out), Signer().certificate, 8192,
                           callback ? callback : SignerKey().Callback(), texts, stamp, kSigningTime);
  if (section && r.ok) {
    *section = ToText(ReadFileBytes(dir.File(out))).substr(ReadFileBytes(dir.File(in)).size());
  }
  return r;
}

bool Has(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

// WriteObjects writes a document whose objects are numbered from 1 in order.
void WriteObjects(const std::string& path, const std::vector<std::string>& objects) {
  PdfBuilder pdf;
  for (size_t i = 0; i < objects.size(); ++i) pdf.Object(int(i + 1), objects[i]);
  WriteFileText(path, pdf.Finish());
}

// For layouts pdfsig cannot judge: qpdf and the CMS over the ranges must accept one signature.
void ExpectQpdfAndCms(const std::string& path) {
  Validation v = Validate(path);
  EXPECT_EQ(v.qpdfStatus, 0) << v.log;
  EXPECT_EQ(v.cmsVerified, 1) << v.log;
}

TEST(SignatureField, NamesNoticeAndStackedStamps) {
  TempDir dir;
  WriteFileText(dir.File("a.pdf"), SimpleDocument(2));
  std::string section;
  ASSERT_TRUE(Sign(dir, "a.pdf", "b.pdf", {StampMode::FirstPage, ""}, &section).ok);
  EXPECT_TRUE(Has(section, "/T (Signature1) /Rect [50 40 210 72]")) << section.substr(0, 600);
  ASSERT_TRUE(Sign(dir, "b.pdf", "c.pdf", {StampMode::FirstPage, ""}, &section).ok);
  EXPECT_TRUE(Has(section, "/T (Signature2) /Rect [50 76 210 108]")) << "the second stamp sits one row up";
  ASSERT_TRUE(Sign(dir, "c.pdf", "d.pdf", {StampMode::LastPage, ""}, &section).ok);
  EXPECT_TRUE(Has(section, "/T (Signature3) /Rect [50 40 210 72]")) << "the last page had no stamp yet";
  ExpectValid(dir.File("d.pdf"), 3);

  // While signing runs, info holds the notice; a failing callback leaves it there.
  SigningCallback refuses = [](const Bytes&, std::string* note) {
    *note = "cancelado";
    return Bytes();
  };
  SignResult r = Sign(dir, "d.pdf", "e.pdf", {StampMode::None, ""}, nullptr, {}, refuses);
  EXPECT_EQ(r.info, std::string("el documento ya contenia 3") + kNotice);
  EXPECT_EQ(r.error, "cancelado");
  EXPECT_FALSE(FileExists(dir.File("e.pdf")));
}

TEST(SignatureField, ExistingFieldNamesAndTypes) {
  TempDir dir;
  WriteObjects(dir.File("a.pdf"),
               {"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R 5 0 R 6 0 R 7 0 R] >> >>",
                "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 150] /Annots [4 0 R 5 0 R 6 0 R 7 0 R] >>",
                "<< /FT /Sig /T (Signature1) /Subtype /Widget /Rect [0 0 0 0] /P 3 0 R >>",
                "<< /FT /Sig /T (Signature2) /Subtype /Widget /Rect [10 10 20 20] /P 3 0 R >>",
                "<< /FT /Sig /T(Signature2) /Subtype /Widget /Rect [10 10 20 20] >>",
                "<< /FT /Tx /T (Signature4) /Subtype /Widget /Rect [10 10 20 20] >>"});
  std::string section;
  SignResult r = Sign(dir, "a.pdf", "b.pdf", {StampMode::FirstPage, ""}, &section);
  ASSERT_TRUE(r.ok) << r.error;
  // Names Signature1 and Signature2 (twice) are taken; the text field's name is not.
  EXPECT_TRUE(Has(section, "/T (Signature3)"));
  // Two widgets with a real rectangle show on this 150-point page: row 2 (y2 = 144) does not fit.
  EXPECT_TRUE(Has(section, "/T (Signature3) /Rect [0 0 0 0] /F 4 /P 3 0 R /V 11 0 R >>"));
  EXPECT_FALSE(Has(section, "/AP")) << "no appearance for a stamp that does not fit";
  EXPECT_FALSE(Has(section, "/Subtype /Form"));
  EXPECT_TRUE(Has(section, "<< /Size 12 /Root 1 0 R")) << "font and appearance numbers stay unused";
  // The inline AcroForm is merged in place.
  EXPECT_TRUE(Has(section, "/AcroForm << /Fields [4 0 R 5 0 R 6 0 R 7 0 R 8 0 R ]  /SigFlags 3>>"))
      << "an existing form gains only the field and /SigFlags";
  ExpectValid(dir.File("b.pdf"), 1);
}

TEST(SignatureField, EveryChosenPageShowsTheStampAndValidatorsAcceptIt) {
  TempDir dir;
  WriteFileText(dir.File("a.pdf"), SimpleDocument(3));
  std::string section;
  SignResult r = Sign(dir, "a.pdf", "b.pdf", {StampMode::AllPages, ""}, &section);
  ASSERT_TRUE(r.ok) << r.error;
  // Numbers: AcroForm 9, field 10, stamps 11-12, font 13, appearance 14, signature 15. The
  // field's one widget is on page 1; pages 2 and 3 show the same appearance as locked stamps.
  const char* order[] = {"\n3 0 obj",
                         "\n1 0 obj",
                         "\n9 0 obj",
                         "\n10 0 obj",
                         "\n5 0 obj",
                         "\n11 0 obj",
                         "\n7 0 obj",
                         "\n12 0 obj",
                         "\n13 0 obj\n<< /Type /Font",
                         "\n14 0 obj\n<< /Type /XObject",
                         "\n15 0 obj"};
  size_t last = 0;
  for (const char* header : order) {
    size_t at = ("\n" + section).find(header);
    ASSERT_NE(at, std::string::npos) << header;
    EXPECT_GT(at + 1, last) << header;
    last = at;
  }
  EXPECT_TRUE(
      Has(section,
          "10 0 obj\n<< /Type /Annot /Subtype /Widget /FT /Sig /T (Signature1) /Rect [50 40 210 72] /F 4 /P "
          "3 0 R /V 15 0 R /AP << /N 14 0 R >> >>"));
  EXPECT_TRUE(
      Has(section,
          "12 0 obj\n<< /Type /Annot /Subtype /Stamp /NM (Signature1-3) /P 7 0 R /F 196 /Rect [50 40 210 "
          "72] /AP << /N 14 0 R >> >>"));
  ExpectValid(dir.File("b.pdf"), 1);

  // A page list, then a second signature on every page: its stamps stack above the first's.
  ASSERT_TRUE(Sign(dir, "a.pdf", "c.pdf", {StampMode::PageList, "1,3"}, &section).ok);
  ASSERT_TRUE(Sign(dir, "c.pdf", "d.pdf", {StampMode::AllPages, ""}, &section).ok);
  EXPECT_TRUE(Has(section, "/T (Signature2) /Rect [50 76 210 108]"));
  EXPECT_TRUE(Has(section, "/NM (Signature2-2) /P 5 0 R /F 196 /Rect [50 40 210 72]"));
  EXPECT_TRUE(Has(section, "/NM (Signature2-3) /P 7 0 R /F 196 /Rect [50 76 210 108]"));
  ExpectValid(dir.File("d.pdf"), 2);
}

TEST(SignatureField, StampWidthAndPageList) {
  TempDir dir;
  WriteFileText(dir.File("a.pdf"), SimpleDocument(3));
  std::string section;
  ASSERT_TRUE(
      Sign(dir, "a.pdf", "b.pdf", {StampMode::FirstPage, ""}, &section, {std::string(85, 'A'), "", ""}).ok);
  EXPECT_TRUE(Has(section, "/Rect [50 40 470 72]"));
  EXPECT_TRUE(Has(section, "/BBox [0 0 420 32]"));

  SignResult r = Sign(dir, "a.pdf", "c.pdf", {StampMode::PageList, "0, 99"}, &section);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.warning,
            "stampList \"0, 99\" no contiene indices validos para este documento (3 paginas); se usa "
            "firma invisible.");
  EXPECT_TRUE(Has(section, "/Rect [0 0 0 0] /F 4 /P 7 0 R")) << "invisible, on the last page";
  ExpectValid(dir.File("c.pdf"), 1);

  // What the signer checks before it signs: each item of the list, the first fault named.
  struct Check {
    const char* list;
    size_t pages;
    const char* error;
  } checks[] = {
      {"1, 3, 2-3", 3, ""},
      {" 2 ,, 1-1 ", 3, ""},
      {"1, 7", 2, "La pagina 7 no existe: el documento tiene 2 paginas."},
      {"2-9", 1, "La pagina 2 no existe: el documento tiene 1 pagina."},
      {"0-3", 3, "La pagina 0 no existe: las paginas empiezan en 1."},
      {"3-2", 3, "El intervalo 3-2 va hacia atras: escribe 2-3."},
      {"1, dos", 3, "\"dos\" no es una pagina ni un intervalo (ej. 1, 3, 5-8)."},
      {"2-", 3, "\"2-\" no es una pagina ni un intervalo (ej. 1, 3, 5-8)."},
      {"5 - 8", 9, "\"-\" no es una pagina ni un intervalo (ej. 1, 3, 5-8)."},
      {" , ", 3, "Escribe las paginas que llevan el sello (ej. 1, 3, 5-8)."},
      {"99999999999999", 3, "La pagina 99999999999999 no existe: el documento tiene 3 paginas."},
  };
  for (const Check& c : checks) {
    SCOPED_TRACE(c.list);
    std::string error;
    EXPECT_EQ(CheckPageList(c.list, c.pages, &error), *c.error == 0);
    EXPECT_EQ(error, c.error);
  }

  r = Sign(dir, "a.pdf", "d.pdf", {StampMode::PageList, "0-3"}, &section);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.warning.empty());
  EXPECT_TRUE(Has(section, "/P 7 0 R")) << "0-3 names only the third page";
  ExpectValid(dir.File("d.pdf"), 1);

  // Names with parentheses and non-ASCII letters: escaped in the stamp, hex in /Name.
  ASSERT_TRUE(Sign(dir, "a.pdf", "e.pdf", {StampMode::FirstPage, ""}, &section, {"Peña (CEO)", "", ""}).ok);
  EXPECT_TRUE(Has(section,
                  "(Pe\xF1"
                  "a \\(CEO\\)) Tj"))
      << "the stamp text is in the font's WinAnsi encoding";
  EXPECT_TRUE(Has(section, "/Name <FEFF0050006500F100610020002800430045004F0029>"));
  ExpectValid(dir.File("e.pdf"), 1);
  // A letter outside WinAnsi brings the embedded font; one that font lacks too is drawn as '?'
  // and named. /Name keeps both.
  r = Sign(dir, "a.pdf", "f.pdf", {StampMode::FirstPage, ""}, &section,
           {"\xC5\x81ucja \xE6\x9D\x8E", "", ""});
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(Has(section, "/Subtype /CIDFontType2"));
  EXPECT_FALSE(Has(section, std::string(kStampFont)));
  EXPECT_EQ(r.warning,
            "la fuente del sello no tiene los caracteres \"\xE6\x9D\x8E\"; se dibujan como \"?\".");
  EXPECT_EQ(RunCommand("pdftotext " + Quote(dir.File("f.pdf")) + " - | grep -c '^\xC5\x81ucja ?$'").output,
            "1\n");
  EXPECT_TRUE(Has(section, "/Name <FEFF0141"));
  ExpectValid(dir.File("f.pdf"), 1);
}

// Hand-written documents whose AcroForm, /Annots or page tree the signature has to rework.
TEST(SignatureField, ReferencedAndInheritedStructures) {
  struct Check {
    bool present;
    const char* text;
    const char* why = "";
  };
  struct Case {
    const char* name;
    std::vector<std::string> objects;  // numbered from 1
    StampOptions stamp;
    std::vector<Check> checks;
    bool pdfsigJudges;
  } cases[] = {
      {"AcroForm and Annots by reference",
       {"<< /Type /Catalog /Pages 2 0 R /AcroForm 4 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots 5 0 R >>",
        "<< /Fields [] /SigFlags 1 /DA (0 g /Helv 9 Tf) /DR << /Font << >> >> >>", "[ 6 0 R ]",
        "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /Border [0 0 0] >>"},
       {StampMode::None, ""},
       {{true, "/Annots [ 6 0 R 7 0 R ]", "the array object's elements are copied inline"},
        {true,
         "4 0 obj\n<< /Fields [ 7 0 R ] /SigFlags 3 /DA (0 g /Helv 9 Tf) /DR << /Font << >> >> >>\nendobj"},
        {false, "\n5 0 obj", "the array object itself is not rewritten"},
        {false, "\n1 0 obj", "a referenced AcroForm leaves the catalog alone"}},
       true},
      // A dangling /AcroForm gets a new object under a number of its own, never the field's.
      {"dangling AcroForm",
       {"<< /Type /Catalog /Pages 2 0 R /AcroForm 40 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots [ ] >>"},
       {StampMode::None, ""},
       {{true, "/AcroForm 4 0 R >>"}, {true, "4 0 obj\n<< /Fields [ 5 0 R ]"}, {true, "/Annots [  5 0 R ]"}},
       true},
      // Readers redraw every widget of such a form: the stamp is a stamp annotation over a widget
      // whose own appearance is blank, and the form gains nothing but the field and /SigFlags.
      {"form that asks for new appearances",
       {"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [] /NeedAppearances true >> >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>"},
       {StampMode::FirstPage, ""},
       {{true, "/AcroForm << /Fields [ 4 0 R ] /NeedAppearances true  /SigFlags 3>>"},
        {true, "/Annots [ 4 0 R  5 0 R ]"},
        {true, "/T (Signature1) /Rect [50 40 210 72] /F 4 /P 3 0 R /V 9 0 R /AP << /N 6 0 R >> >>"},
        {true, "5 0 obj\n<< /Type /Annot /Subtype /Stamp /NM (Signature1-1) /P 3 0 R /F 196 /Rect [50 40 210 "
               "72] /AP << /N 8 0 R >> >>"},
        {true, "6 0 obj\n<< /Type /XObject /Subtype /Form /FormType 1 /BBox [0 0 160 32] /Length 0 >>"}},
       true},
      // Page 2 inherits its box (the default top of 842 applies); page 3 is 92 points tall.
      {"nested page tree",
       {"<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 3 /MediaBox [0 0 300 200] >>",
        "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R] /Count 2 >>",
        "<< /Type /Pages /Parent 2 0 R /Kids [7 0 R] /Count 1 >>", "<< /Type /Page /Parent 3 0 R >>",
        "<< /Type /Page /Parent 3 0 R >>", "<</Type/Page/Parent 4 0 R/MediaBox[0 0 300 92]>>"},
       {StampMode::PageList, "2-3"},
       {{true, "/T (Signature1) /Rect [50 40 210 72] /F 4 /P 6 0 R /V 13 0 R /AP"},
        {true, "/Subtype /Stamp /NM (Signature1-2) /P 7 0 R /F 196 /Rect [50 40 210 72] /AP",
         "72 <= 92 - 20"},
        {true, "7 0 obj\n<</Type/Page/Parent 4 0 R/MediaBox[0 0 300 92] /Annots [ 10 0 R ]>>"}},
       true},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteObjects(dir.File("a.pdf"), c.objects);
    std::remove(dir.File("b.pdf").c_str());
    std::string section;
    ASSERT_TRUE(Sign(dir, "a.pdf", "b.pdf", c.stamp, &section).ok);
    for (const Check& k : c.checks) EXPECT_EQ(Has(section, k.text), k.present) << k.text << " " << k.why;
    c.pdfsigJudges ? ExpectValid(dir.File("b.pdf"), 1) : ExpectQpdfAndCms(dir.File("b.pdf"));
  }
}

}  // namespace
