#include <gtest/gtest.h>

#include <sstream>

#include "pades/pipeline.h"
#include "tests/pades/pades_fixture.h"

using namespace pades_test;
using testing_support::Quote;
using testing_support::ReadFileBytes;
using testing_support::RunCommand;
using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

// PDF/A documents as archives receive them: Ghostscript's PDF/A-1b, 2b and 3b, made here, and
// LibreOffice's PDF/A-1a, 2b and 3b, kept as fixtures (fixtures/make_libreoffice_pdfa.sh).
class Archival : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    WriteFileText(
        File("page.ps"),
        "%!PS\n/Helvetica findfont 20 scalefont setfont\n72 720 moveto (Acta de archivo) show showpage\n");
    // Ghostscript's PDFA_def.ps names its ICC profile relatively; this copy names the file.
    const std::string icc = "/usr/share/color/icc/ghostscript/srgb.icc";
    Run("sed 's|(srgb.icc)|(" + icc +
        ")|' \"$(ls /usr/share/ghostscript/*/lib/PDFA_def.ps | head -n 1)\" > " + Quote(File("pdfa_def.ps")));
    for (int part = 1; part <= 3; ++part)
      Run("gs -q -dPDFA=" + std::to_string(part) +
          " -dBATCH -dNOPAUSE -dPDFACompatibilityPolicy=1 -sColorConversionStrategy=RGB -sDEVICE=pdfwrite "
          "--permit-file-read=" +
          icc + " -sOutputFile=" + Quote(File("gs-pdfa" + std::to_string(part) + ".pdf")) + " " +
          Quote(File("pdfa_def.ps")) + " " + Quote(File("page.ps")));
  }
  static void TearDownTestSuite() { delete dir_; }
  static std::string File(const std::string& name) { return dir_->File(name); }
  static void Run(const std::string& command) {
    auto r = RunCommand(command);
    ASSERT_EQ(r.status, 0) << command << "\n" << r.output;
  }
  static TempDir* dir_;
};
TempDir* Archival::dir_ = nullptr;

std::string Fixture(const std::string& name) {
  return std::string(VY_SOURCE_DIR) + "/tests/pades/fixtures/" + name;
}

// Every font pdffonts lists is embedded.
void ExpectFontsEmbedded(const std::string& path) {
  const auto r = RunCommand("pdffonts " + Quote(path));
  ASSERT_EQ(r.status, 0) << r.output;
  std::istringstream lines(r.output);
  std::string line;
  int fonts = 0;
  for (int n = 0; std::getline(lines, line); ++n) {
    if (n < 2) continue;  // the heading and its rule
    ++fonts;
    EXPECT_NE(line.find(" yes yes "), std::string::npos) << "not embedded:\n" << r.output;
  }
  EXPECT_GT(fonts, 0);
}

// Every stamp line is a line of the extracted text, as written.
void ExpectStampText(const std::string& path, const std::vector<std::string>& names) {
  const std::string text = "\n" + RunCommand("pdftotext " + Quote(path) + " -").output;
  for (const std::string& name : names)
    for (const std::string& line :
         {std::string("Firmado digitalmente por:"), name, std::string("Fecha: 2026-12-06 10:15:00 UTC")})
      EXPECT_NE(text.find("\n" + line + "\n"), std::string::npos) << line << " missing in:" << text;
}

TEST_F(Archival, SignedTwiceStaysArchivalWithEveryNameAsWritten) {
  struct Input {
    std::string path;
    int part;
  };
  const Input inputs[] = {{File("gs-pdfa1.pdf"), 1},
                          {File("gs-pdfa2.pdf"), 2},
                          {File("gs-pdfa3.pdf"), 3},
                          {Fixture("libreoffice-pdfa1a.pdf"), 1},
                          {Fixture("libreoffice-pdfa2b.pdf"), 2},
                          {Fixture("libreoffice-pdfa3b.pdf"), 3}};
  // Polish, Czech, Turkish, Greek and Cyrillic letters, and a plain Spanish name, which an
  // archival document also gets in the embedded font.
  const std::string names[] = {
      "Łukasz Żółć-Brzęczyszczykiewicz", "Jiří Dvořák Šťastný",   "Çağrı Işıkoğlu Gümüş",
      "Αλέξανδρος Παπαδόπουλος",         "Юлия Щербакова-Жукова", "José Peña Núñez"};
  for (size_t i = 0; i < std::size(inputs); ++i) {
    const Input& in = inputs[i];
    SCOPED_TRACE(in.path);
    const std::string first = names[i], second = names[(i + 1) % std::size(names)];
    const std::string once = File("once.pdf"), twice = File("twice.pdf");
    SignResult r = SignPdfAt(in.path, once, Signer().certificate, 8192, SignerKey().Callback(),
                             {first, "", ""}, {StampMode::FirstPage, ""}, kSigningTime);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.warning, "");
    r = SignPdfAt(once, twice, Signer().certificate, 8192, SignerKey().Callback(), {second, "", ""},
                  {StampMode::FirstPage, ""}, kSigningTime);
    ASSERT_TRUE(r.ok) << r.error;
    for (const auto& [before, after, signatures] :
         {std::tuple{in.path, once, 1}, std::tuple{once, twice, 2}}) {
      ExpectValid(after, signatures);
      ExpectFontsEmbedded(after);
      const auto rules =
          RunCommand("python3 " + Quote(std::string(VY_SOURCE_DIR) + "/tests/pades/pdfa_check.py") + " " +
                     Quote(before) + " " + Quote(after) + " " + std::to_string(in.part));
      EXPECT_EQ(rules.status, 0) << rules.output;
    }
    ExpectStampText(twice, {first, second});
    // The document information stays readable through the newest trailer.
    const std::string producer = " | grep '^Producer:'";
    EXPECT_EQ(RunCommand("pdfinfo " + Quote(twice) + producer).output,
              RunCommand("pdfinfo " + Quote(in.path) + producer).output);
  }
}

// The font travels with each signature: for a Latin name it costs a few kilobytes over the
// Helvetica stamp, far below the 24 KB allowed.
TEST_F(Archival, EmbeddedFontOverheadForALatinName) {
  WriteFileText(File("plain.pdf"), SimpleDocument(1));
  auto size = [&](const std::string& name) {
    EXPECT_TRUE(SignPdfAt(File("plain.pdf"), File("sized.pdf"), Signer().certificate, 8192,
                          SignerKey().Callback(), {name, "", ""}, {StampMode::FirstPage, ""}, kSigningTime)
                    .ok);
    return ReadFileBytes(File("sized.pdf")).size();
  };
  const size_t helvetica = size("Lukas Zolc Brzeczyszczykiewicz");
  const size_t embedded = size("Łukasz Żółć Brzęczyszczykiewicz");
  std::printf("embedded stamp font: %zu bytes more than Helvetica\n", embedded - helvetica);
  EXPECT_LT(embedded - helvetica, size_t(24) * 1024);
}

}  // namespace
