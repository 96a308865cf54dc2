// The real signer program on a private Xvfb, driven with XTest (xdotool) as a person would:
// a signed document signed again with a PKCS#12 file chosen through the file dialog (after a
// wrong password) and then the same document attacked, once with the virtual DNIe behind a
// private pcscd, once with a SoftHSM2 token. The screenshots stay in the build folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/support/pcscd_fixture.h"
#include "tests/support/pdf_documents.h"
#include "tests/support/softhsm.h"
#include "tests/support/test_support.h"
#include "tests/support/xvfb.h"

using namespace testing_support;

namespace {

const std::string kProgram = VY_BINARY_DIR "/bin/signer";
const std::string kQuillmark = VY_BINARY_DIR "/bin/quillmark";
const std::string kShots = VY_BINARY_DIR "/screenshots/signer/";

class SignerOnX11 : public testing::Test {
 protected:
  static void SetUpTestSuite() { PrivatePcscd::UsePrivateSocket(); }

  void SetUp() override {
    ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
    RunCommand("mkdir -p " + Quote(kShots));
    setenv("DISPLAY", server.display().c_str(), 1);
    ASSERT_TRUE(WriteSamplePdf(document, 3));
  }
  void TearDown() override {
    if (child > 0) StopChild(child, 5);
  }

  void Launch() {
    child = fork();
    if (child == 0) {
      if (chdir(dir.path().c_str()) != 0) _exit(126);
      execl(kProgram.c_str(), kProgram.c_str(), document.c_str(), nullptr);
      _exit(127);
    }
    main = Window("^Quillmark 2026$");
    // Mapped is not yet painted: the first frame has the white header and the page.
    EXPECT_TRUE(WaitFor(
        [&] {
          CommandResult r =
              RunCommand("import -window " + main + " " + Quote(dir.File("frame.png")) + " && convert " +
                         Quote(dir.File("frame.png")) + " -format '%[fx:mean]' info:");
          return r.status == 0 && std::atof(r.output.c_str()) > 0.5;
        },
        20));
  }
  // Window waits for a window whose name matches `pattern` and gives its id.
  std::string Window(const std::string& pattern) {
    std::string id;
    bool found = WaitFor(
        [&] {
          CommandResult r = Xdo("search --onlyvisible --name " + Quote(pattern));
          id = r.output.substr(0, r.output.find('\n'));
          return r.status == 0 && !id.empty();
        },
        20);
    EXPECT_TRUE(found) << "no window " << pattern;
    return id;
  }
  bool Gone(const std::string& pattern) {
    return WaitFor([&] { return Xdo("search --onlyvisible --name " + Quote(pattern)).status != 0; }, 20);
  }
  CommandResult Xdo(const std::string& arguments) { return RunCommand("xdotool " + arguments + " 2>&1"); }
  void Click(const std::string& window, int x, int y) {
    CommandResult r = Xdo("mousemove --sync --window " + window + " " + std::to_string(x) + " " +
                          std::to_string(y) + " click 1");
    EXPECT_EQ(r.status, 0) << r.output;
  }
  // Keys go to the window with the input focus; a dialog takes it only once the program has
  // handled its mapping, so each key waits for the focus first.
  void Key(const std::string& window, const std::string& key) {
    Xdo("windowfocus --sync " + window);
    Xdo("key " + key);
  }
  void Type(const std::string& window, const std::string& text) {
    Xdo("windowfocus --sync " + window);
    CommandResult r = Xdo("type --delay 8 " + Quote(text));
    EXPECT_EQ(r.status, 0) << r.output;
    Xdo("key Return");
  }
  void Screenshot(const std::string& name) {
    CommandResult r = RunCommand("import -window root " + Quote(kShots + name) + " 2>&1");
    EXPECT_EQ(r.status, 0) << r.output;
  }
  // Share is the share of the window's pixels in `area` (x, y, width, height) whose colour is
  // within 12 of `rgb` on each channel.
  double Share(const std::string& window, const std::string& area, const std::string& rgb) {
    CommandResult r = RunCommand("import -window " + window + " png:- 2>/dev/null | convert - -crop " + area +
                                 " +repage -fuzz 5% -fill white -opaque 'rgb(" + rgb +
                                 ")' -fill black +opaque white -format '%[fx:mean]' info:");
    return r.status == 0 ? std::atof(r.output.c_str()) : 0;
  }
  // Shows waits until the window shows `rgb` over more than `share` of `area`.
  bool Shows(const std::string& window, const std::string& area, const std::string& rgb, double share = 0.2) {
    return WaitFor([&] { return Share(window, area, rgb) > share; }, 30);
  }
  // Signed waits for the signed copy, and for the window to show it, then checks it with both
  // validators and gives pdfsig's report. The name is claimed by an empty file before the
  // signature is made, and the copy replaces it whole: a non-empty file is the finished one.
  std::string Signed(const std::string& path, const std::string& shot) {
    EXPECT_TRUE(WaitFor(
        [&] {
          struct stat st {};
          return stat(path.c_str(), &st) == 0 && st.st_size > 0;
        },
        30))
        << path;
    // The window then shows the copy, its footer naming it in green.
    EXPECT_TRUE(Shows(main, "300x14+14+658", "134,226,168", 0.02)) << "\"Firmado: ...\" in the footer";
    Screenshot(shot);
    CommandResult qpdf = RunCommand("qpdf --check " + Quote(path) + " 2>&1");
    EXPECT_EQ(qpdf.status, 0) << qpdf.output;
    return RunCommand("pdfsig " + Quote(path) + " 2>&1").output;
  }
  // SignButton is the main window's "Firmar"; the dialog's "Firmar" sits at (491, 422).
  void StartSigning() {
    Click(main, 174, 68);
    dialog = Window("^Selecciona el certificado digital$");
  }

  Xvfb server{"1280x1024x24"};
  SoftHsm hsm;
  TestPeople people;
  TempDir dir;
  std::string document = dir.File("acuerdo.pdf");
  pid_t child = -1;
  std::string main, dialog;
};

// Open a signed document (the panel lists its signature), sign it again with a PKCS#12 file
// after one wrong password (asked again, then the stamp in view and a second row), then open
// it attacked (the summary says it was modified).
TEST_F(SignerOnX11, SignedDocumentSignedAgainThenAttacked) {
  std::string p12 = dir.File("firma.p12");
  CommandResult made =
      RunCommand("openssl pkcs12 -export -inkey " + Quote(people.ana.keyPem) + " -in " +
                 Quote(people.ana.certPem) + " -passout pass:secreto -out " + Quote(p12) + " 2>&1");
  ASSERT_EQ(made.status, 0) << made.output;
  std::string plain = dir.File("borrador.pdf");
  ASSERT_TRUE(WriteSamplePdf(plain, 3));
  made = RunCommand("P=secreto " + Quote(kQuillmark) + " sign " + Quote(plain) + " --out " + Quote(document) +
                    " --pkcs12 " + Quote(p12) + " --password-env P 2>&1");
  ASSERT_EQ(made.status, 0) << made.output;
  // The program trusts the tests' authority as the system's.
  setenv("SSL_CERT_FILE", people.ca.certPem.c_str(), 1);
  const std::string band = "860x20+20+100", good = "226,244,234", bad = "253,228,228";
  Launch();
  EXPECT_TRUE(Shows(main, band, good)) << "the summary of a valid signature";
  Screenshot("x11_signed_document.png");

  StartSigning();
  Key(dialog, "Tab");
  Key(dialog, "Tab");
  Screenshot("x11_dialog_focus.png");
  Click(dialog, 86, 422);  // "Elegir PKCS#12..."
  std::string files = Window("^Elegir certificado PKCS#12$");
  Screenshot("x11_file_dialog.png");
  Type(files, p12);
  std::string password = Window("PKCS#12$");
  Type(password, "otra");
  EXPECT_TRUE(Shows(password, "200x18+24+126", "198,52,52", 0.02)) << "asked again, with the reason in red";
  Screenshot("x11_wrong_password.png");
  Type(password, "secreto");
  ASSERT_TRUE(Gone("^Contrase"));
  // The file's certificate is chosen: "Firmar" can act, and looks it.
  EXPECT_TRUE(Shows(dialog, "40x10+471+412", "16,32,58", 0.5)) << "\"Firmar\" enabled";
  Screenshot("x11_certificate_dialog.png");
  Click(dialog, 491, 422);
  std::string report = Signed(dir.File("acuerdo_firmao.pdf"), "x11_signed.png");
  EXPECT_EQ(Count(report, "Signature is Valid."), 2) << report;
  EXPECT_NE(report.find("Signer Certificate Common Name: Ana Quispe"), std::string::npos) << report;
  // Two rows, each with its green marks: the second row's first mark.
  EXPECT_TRUE(Shows(main, "6x6+597+272", "32,140,82")) << "the new signature's row";
  EXPECT_TRUE(Shows(main, band, good));
  Screenshot("x11_signed_again.png");

  std::string attacked = dir.File("atacado.pdf");
  ASSERT_EQ(RunCommand("cp " + Quote(dir.File("acuerdo_firmao.pdf")) + " " + Quote(attacked)).status, 0);
  ASSERT_TRUE(AppendContentChange(attacked));
  Click(main, 66, 68);  // "Abrir PDF"
  Type(Window("^Abrir documento PDF$"), attacked);
  EXPECT_TRUE(Shows(main, band, bad)) << "the summary says the document was modified";
  Screenshot("x11_attacked.png");
  unsetenv("SSL_CERT_FILE");
}

TEST_F(SignerOnX11, DnieBehindPcscd) {
  PrivatePcscd daemon({"Virtual Contact Reader"});
  std::string why;
  if (!daemon.Start(&why)) GTEST_SKIP() << why;
  auto card = MakeDnie(DnieGeneration::V2);
  ASSERT_TRUE(daemon.Insert(0, card.get()));
  Launch();
  StartSigning();
  Key(dialog, "Return");  // the card's signature certificate is listed first and selected
  Type(Window("^PIN del DNI electr"), "00000000");
  EXPECT_TRUE(WaitFor([&] { return card->retriesLeft() == 2; }, 20));
  ASSERT_TRUE(Gone("^PIN del DNI electr"));
  Screenshot("x11_wrong_pin.png");
  EXPECT_FALSE(FileExists(dir.File("acuerdo_firmao.pdf")));

  StartSigning();
  Key(dialog, "Return");
  std::string pin = Window("^PIN del DNI electr");
  Screenshot("x11_pin_dialog.png");
  Type(pin, "12345678");
  std::string report = Signed(dir.File("acuerdo_firmao.pdf"), "x11_signed_dnie.png");
  EXPECT_EQ(Count(report, "Signature is Valid."), 1) << report;
  EXPECT_EQ(card->retriesLeft(), 3);
}

TEST_F(SignerOnX11, TokenThatNeedsItsPin) {
  hsm.InitToken("firma", "4321");
  hsm.Import("firma", "4321", people.beto, Bytes{1}, Bytes{1});
  Launch();
  StartSigning();
  Key(dialog, "Return");
  Type(Window("^PIN del token$"), "4321");
  std::string report = Signed(dir.File("acuerdo_firmao.pdf"), "x11_signed_token.png");
  EXPECT_EQ(Count(report, "Signature is Valid."), 1) << report;
  EXPECT_NE(report.find("Beto Rojas"), std::string::npos) << report;
}

}  // namespace
