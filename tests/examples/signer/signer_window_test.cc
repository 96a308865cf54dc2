// The signer's windows off screen, on the real engine and real certificate sources. Dialogs
// run modally: each test queues the steps the nested loops then take, in order.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "examples/signer/dlg_firmar.h"
#include "examples/signer/main_window.h"
#include "examples/signer/pin_dialog.h"
#include "examples/signer/signature_rows.h"
#include "pades/sign.h"
#include "tests/support/pcscd_fixture.h"
#include "tests/support/pdf_documents.h"
#include "tests/support/softhsm.h"
#include "tests/support/test_support.h"
#include "tests/toolkit/headless_fixture.h"
#include "toolkit/button.h"
#include "toolkit/combobox.h"
#include "toolkit/edit.h"
#include "toolkit/file_open_dialog.h"
#include "toolkit/label.h"
#include "toolkit/pdfview.h"

namespace Vy {
namespace {

using namespace testing_support;

const std::string kShots = VY_BINARY_DIR "/screenshots/signer/";

// Every PC/SC client of this process reaches only the tests' own daemon (none by default).
[[maybe_unused]] const bool kPrivatePcsc = (PrivatePcscd::UsePrivateSocket(), true);

Point Centre(CControl* c) {
  return {c->Bounds().x + c->Bounds().width / 2, c->Bounds().y + c->Bounds().height / 2};
}

class SignerTest : public HeadlessTest {
 protected:
  SignerTest() {
    RunCommand("mkdir -p " + Quote(kShots));
    // The verifier trusts the tests' authority as the system's.
    setenv("SSL_CERT_FILE", people.ca.certPem.c_str(), 1);
  }
  ~SignerTest() override { unsetenv("SSL_CERT_FILE"); }
  // Step queues an action on the innermost open window, of type T.
  template <typename T>
  void Step(std::function<void(T&, CHeadlessWindowImpl&)> act) {
    backend().Post([this, act] {
      CHeadlessWindowImpl* top = backend().Topmost();
      T* window = top ? dynamic_cast<T*>(top->Owner()) : nullptr;
      ASSERT_NE(window, nullptr) << "on top: " << (top ? top->Title() : "nothing");
      act(*window, *top);
    });
  }
  void Click(CHeadlessWindowImpl& win, CControl* control) {
    Point p = Centre(control);
    win.Click(p.x, p.y);
  }
  CMainWindow& Start(const std::string& document, Size size = {900, 680}) {
    main_ = new CMainWindow;
    main_->SetStartPath(document);
    app_.SetMainWindow(main_);
    win_ = &Open(*main_, size);
    return *main_;
  }
  // PickFile answers the file dialog and the PKCS#12 password prompt; a wrong password first,
  // when given, is asked for again in the same prompt.
  void PickPkcs12(const std::string& path, const std::string& password, const std::string& shot = "",
                  const std::string& wrong = "") {
    Step<CDlgFirmar>([](CDlgFirmar&, CHeadlessWindowImpl& w) { w.Click(86, 422); });
    Step<CFileOpenDialog>([path, shot](CFileOpenDialog&, CHeadlessWindowImpl& w) {
      if (!shot.empty()) {
        EXPECT_TRUE(w.SavePng(kShots + shot));
      }
      w.Type(path);
      w.Press(kKeyEnter);
    });
    Step<CPinDialog>([password, wrong](CPinDialog& d, CHeadlessWindowImpl& w) {
      if (!wrong.empty()) {
        w.Type(wrong);
        w.Press(kKeyEnter);
        EXPECT_TRUE(w.IsOpen());
        EXPECT_EQ(d.ErrorLine()->Text(), "Contraseña incorrecta.");
        EXPECT_EQ(d.Field()->Text(), "") << "the wrong password is wiped";
        EXPECT_EQ(d.Focused(), d.Field());
        EXPECT_TRUE(w.SavePng(kShots + "pkcs12_wrong_password.png"));
      }
      w.Type(password);
      w.Press(kKeyEnter);
    });
  }
  // Verified waits for the verifier's report on the shown document.
  void Verified(CMainWindow& w) {
    EXPECT_TRUE(WaitFor(
        [&] {
          backend().RunPending();
          return !w.Verifying();
        },
        30));
  }
  // Accept chooses the entry from `source`, the stamp choice and page list, and signs.
  void Accept(CertificateSource source, int stampIndex = 0, const std::string& pages = "",
              const std::string& shot = "") {
    Step<CDlgFirmar>([=, this](CDlgFirmar& d, CHeadlessWindowImpl& w) {
      int index = -1;
      for (size_t i = 0; i < d.Entries().size() && index < 0; ++i)
        if (d.Entries()[i].source == source) index = static_cast<int>(i);
      ASSERT_GE(index, 0) << d.Summary()->Text();
      d.List()->SetSelectedIndex(index);
      d.StampCombo()->SetSelectedIndex(stampIndex);
      w.Type(pages);
      if (!shot.empty()) {
        EXPECT_TRUE(w.SavePng(kShots + shot));
      }
      Click(w, d.SignButton());
    });
  }
  void ClickSign() { win_->Click(174, 68); }

  TempDir dir;
  TestPeople people;
  SoftHsm hsm;  // the store holds what a test puts there, nothing of this machine
  CMainWindow* main_ = nullptr;
  CHeadlessWindowImpl* win_ = nullptr;
};

// StampInView tells whether the stamp of the report's signature `index` lies wholly in the view.
bool StampInView(CMainWindow& w, size_t index) {
  SignatureRow row = RowFor(w.Report().signatures.at(index));
  double top = 0, bottom = 0;
  if (!StampBand(row, w.View()->PagePoints(row.stampPage).height, &top, &bottom)) return false;
  Rect page = w.View()->PageRect(row.stampPage), inner = w.View()->InnerRect();
  double scale = page.height / w.View()->PagePoints(row.stampPage).height;
  return page.y + top * scale >= inner.y && page.y + bottom * scale <= inner.Bottom();
}

std::string MakePkcs12(const TestPeople& people, const std::string& path, const std::string& password) {
  CommandResult r = RunCommand("openssl pkcs12 -export -inkey " + Quote(people.ana.keyPem) + " -in " +
                               Quote(people.ana.certPem) + " -passout pass:" + Quote(password) + " -out " +
                               Quote(path) + " 2>&1");
  EXPECT_EQ(r.status, 0) << r.output;
  return path;
}

TEST_F(SignerTest, NavigationPageFieldAndLayout) {
  std::string pdf = dir.File("cinco.pdf");
  ASSERT_TRUE(WriteSamplePdf(pdf, 5));
  CMainWindow& w = Start(pdf);
  ASSERT_TRUE(w.View()->HasDocument()) << w.Status();
  EXPECT_EQ(w.PathLine()->Text(), pdf);
  EXPECT_TRUE(win_->SavePng(kShots + "main_window.png"));
  auto navigation = [&] {
    std::string s;
    for (int i = 0; i < 4; ++i) s += w.NavButton(i)->IsEnabled() ? '1' : '0';
    return s;
  };
  EXPECT_EQ(w.PageField()->Text(), "1 / 5");
  EXPECT_EQ(navigation(), "0011");

  struct {
    const char* typed;
    const char* counter;
    const char* buttons;
  } cases[] = {
      {"3", "3 / 5", "1111"},   {"0", "3 / 5", "1111"},   {"-1", "3 / 5", "1111"}, {"dos", "3 / 5", "1111"},
      {"999", "5 / 5", "1100"}, {" 1 ", "1 / 5", "0011"}, {"1", "1 / 5", "0011"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    w.PageField()->SetText(c.typed);
    w.FocusControl(w.PageField());
    win_->Press(kKeyEnter);
    EXPECT_EQ(w.PageField()->Text(), c.counter);
    EXPECT_EQ(navigation(), c.buttons);
  }
  Click(*win_, w.NavButton(3));
  Click(*win_, w.NavButton(1));
  EXPECT_EQ(w.PageField()->Text(), "4 / 5");
  // A click into the field selects the counter: the typed number replaces it. Enter hands the
  // focus back to the pages, so the next click selects it again.
  Click(*win_, w.PageField());
  win_->Type("2");
  win_->Press(kKeyEnter);
  EXPECT_EQ(w.PageField()->Text(), "2 / 5");
  EXPECT_EQ(w.Focused(), w.View());
  Click(*win_, w.PageField());
  EXPECT_EQ(w.PageField()->SelectedText(), "2 / 5");
  win_->Type("5");
  win_->Press(kKeyEnter);
  EXPECT_EQ(w.PageField()->Text(), "5 / 5");

  // Control with +, - and 0 zooms wherever the focus is, typing nothing; the choice follows.
  w.FocusControl(w.PageField());
  EXPECT_EQ(w.ZoomChoice()->SelectedText(), "Ajustar al ancho");
  win_->Press(kKeyPlus, kModControl);
  EXPECT_FALSE(win_->Char(u'+', kModControl));
  EXPECT_EQ(w.PageField()->Text(), "5 / 5");
  EXPECT_EQ(w.View()->ZoomPercent(), 110);
  EXPECT_EQ(w.ZoomChoice()->SelectedIndex(), -1) << "110 % is not a listed choice";
  w.ZoomChoice()->SetSelectedIndex(1);
  EXPECT_EQ(w.View()->Zoom(), CPdfView::ZoomMode::kFitPage);
  win_->Press(kKey0, kModControl);
  EXPECT_EQ(w.ZoomChoice()->SelectedText(), "Ajustar al ancho");

  // Tab walks the toolbar and the pages in reading order, past the buttons that cannot act.
  std::vector<CControl*> order = w.TabOrder();
  ASSERT_EQ(order.size(), 9u) << "on page 5 of 5 only the backward buttons act";
  EXPECT_EQ(order[5], w.NavButton(0));
  EXPECT_EQ(order[6], w.NavButton(1));
  EXPECT_EQ(order[7], w.PageField());
  EXPECT_EQ(order[8], w.View());

  // The navigation group keeps to the right edge and the footer to the bottom; the window
  // does not shrink below its minimum.
  win_->Resize({1200, 800});
  EXPECT_EQ(w.NavButton(3)->Bounds().Right(), 1200 - 14);
  EXPECT_EQ(w.PathLine()->Bounds().y, 800 - 22);
  EXPECT_EQ(w.View()->Bounds(), (Rect{14, 100, 1172, 664}));
  EXPECT_TRUE(Near(win_->PixelAt(600, 795), kSignerPalette[kFooterBand]));
  win_->Resize({300, 200});
  EXPECT_EQ(win_->ClientSize(), (Size{720, 520}));

  // A document that does not open: the error takes the line, the view is empty, so there is
  // nothing to sign.
  EXPECT_FALSE(w.OpenDocument(dir.File("no-existe.pdf")));
  EXPECT_TRUE(w.StatusIsError());
  EXPECT_EQ(w.PathLine()->Text().rfind("Error al abrir " + dir.File("no-existe.pdf") + ": ", 0), 0u);
  EXPECT_EQ(w.PageField()->Text(), "0 / 0");
  EXPECT_EQ(navigation(), "0000");
  ClickSign();
  EXPECT_EQ(w.PathLine()->Text(), "No hay ningun documento abierto.");
  EXPECT_EQ(backend().ModalDepth(), 0);

  // A good document after the error: its path, in the footer's own colour. A long one loses
  // the middle of its folders, never its name.
  std::string deep = dir.File("una carpeta con un nombre bastante largo/otra carpeta mas larga todavia/"
                              "y una tercera carpeta/contrato de arrendamiento.pdf");
  ASSERT_EQ(RunCommand("mkdir -p " + Quote(deep.substr(0, deep.rfind('/')))).status, 0);
  ASSERT_TRUE(WriteSamplePdf(deep, 1));
  ASSERT_TRUE(w.OpenDocument(deep));
  EXPECT_FALSE(w.StatusIsError());
  EXPECT_EQ(w.PathLine()->Text(), deep);
  EXPECT_EQ(w.PathLine()->TextColor(), kSignerPalette[kButtonText]);
  win_->Paint();
  const std::string shown = w.PathLine()->ShownText();
  EXPECT_NE(shown.find("\u2026/contrato de arrendamiento.pdf"), std::string::npos) << shown;
  EXPECT_EQ(shown.substr(0, 10), deep.substr(0, 10));
  EXPECT_TRUE(win_->SavePng(kShots + "long_path.png"));
}

TEST_F(SignerTest, StartsWithTheHintAndOpensThroughTheDialog) {
  CMainWindow& w = Start("");
  if (!SampleDocumentPath().empty()) GTEST_SKIP() << "a sample document lies beside the test";
  EXPECT_EQ(w.PathLine()->Text(), "Pulsa 'Abrir PDF' para cargar un documento.");
  EXPECT_FALSE(w.StatusIsError());
  EXPECT_EQ(w.PageField()->Text(), "0 / 0");
  std::string pdf = dir.File("tres.pdf");
  ASSERT_TRUE(WriteSamplePdf(pdf, 3));
  Step<CFileOpenDialog>([&](CFileOpenDialog&, CHeadlessWindowImpl& win) {
    EXPECT_EQ(win.Title(), "Abrir documento PDF");
    win.Type(pdf);
    win.Press(kKeyEnter);
  });
  win_->Click(66, 68);
  EXPECT_EQ(w.DocumentPath(), pdf);
  EXPECT_EQ(w.PageField()->Text(), "1 / 3");
  EXPECT_EQ(w.Focused(), w.View());
}

// One run through every dialog with a PKCS#12 file: the output names, the status line, and
// what the dialogs hand back.
TEST_F(SignerTest, SignsWithAPkcs12FileThroughTheDialogs) {
  ASSERT_EQ(RunCommand("mkdir " + Quote(dir.File("dir.x"))).status, 0);
  std::string input = dir.File("dir.x/contrato.final.pdf"), bare = dir.File("dir.x/archivo");
  ASSERT_TRUE(WriteSamplePdf(input, 3));
  ASSERT_EQ(RunCommand("cp " + Quote(input) + " " + Quote(bare)).status, 0);
  std::string p12 = MakePkcs12(people, dir.File("ana.p12"), "clave ñ");
  CMainWindow& w = Start(input);

  // Nothing to sign with yet: "Firmar" cannot act and says why when Enter asks it to.
  Step<CDlgFirmar>([](CDlgFirmar& d, CHeadlessWindowImpl& win) {
    EXPECT_NE(d.Summary()->Text().find("No hay ningun certificado disponible."), std::string::npos);
    EXPECT_FALSE(d.SignButton()->IsEnabled());
    win.Press(kKeyEnter);
    EXPECT_EQ(d.Summary()->Text(), "Elige un certificado de la lista.");
  });
  PickPkcs12(p12, "clave ñ", "file_dialog.png", "otra");
  Accept(CertificateSource::Pkcs12, 3, "1, 3", "certificate_dialog.png");
  ClickSign();
  std::string first = dir.File("dir.x/contrato.final_firmao.pdf");
  EXPECT_EQ(w.Status().rfind("Firmado: " + first + "  (", 0), 0u) << w.Status();
  EXPECT_FALSE(w.StatusIsError());
  EXPECT_TRUE(w.StatusIsSuccess());
  EXPECT_EQ(w.DocumentPath(), first);
  EXPECT_EQ(w.PathLine()->Text(), "Firmado: contrato.final_firmao.pdf");
  EXPECT_EQ(w.PathLine()->TextColor(), (Color{134, 226, 168, 255}));
  // The copy is shown at its stamp, at the bottom of the first stamped page.
  EXPECT_EQ(w.View()->CurrentPage(), 0);
  Rect inner = w.View()->InnerRect(), page = w.View()->PageRect(0);
  EXPECT_GT(page.Bottom(), inner.y + inner.height / 2);
  EXPECT_LT(page.Bottom(), inner.Bottom());
  Verified(w);
  ASSERT_EQ(w.Panel()->Count(), 1);
  EXPECT_EQ(w.Summary()->Text(), "1 firma: valida");
  EXPECT_TRUE(StampInView(w, 0)) << "the report places the new stamp exactly";
  EXPECT_TRUE(win_->SavePng(kShots + "signed_with_panel.png"));
  EXPECT_EQ(w.Options().pkcs12Password, "clave ñ") << "the password serves the whole run";
  CommandResult check = RunCommand("pdfsig " + Quote(first) + " 2>&1");
  EXPECT_EQ(Count(check.output, "Signature is Valid."), 1) << check.output;

  // The same input again, then a file without extension in a folder with a dot.
  for (auto [source, expected] :
       {std::pair{input, "dir.x/contrato.final_firmao2.pdf"}, std::pair{bare, "dir.x/archivo_firmao.pdf"}}) {
    SCOPED_TRACE(source);
    ASSERT_TRUE(w.OpenDocument(source));
    Accept(CertificateSource::Pkcs12);
    ClickSign();
    EXPECT_EQ(w.DocumentPath(), dir.File(expected)) << w.Status();
  }
  EXPECT_EQ(RunCommand("ls -A " + Quote(dir.File("dir.x"))).output,
            "archivo\narchivo_firmao.pdf\ncontrato.final.pdf\ncontrato.final_firmao.pdf\n"
            "contrato.final_firmao2.pdf\n");

  // With every name taken the window says so and overwrites nothing.
  ASSERT_EQ(RunCommand("cd " + Quote(dir.File("dir.x")) +
                       " && for n in $(seq 2 999); do echo ocupado > "
                       "archivo_firmao$n.pdf; done")
                .status,
            0);
  ASSERT_TRUE(w.OpenDocument(bare));
  Accept(CertificateSource::Pkcs12);
  ClickSign();
  EXPECT_EQ(w.PathLine()->Text(), "No queda ningun nombre libre para la copia firmada de " + bare + ".");
  EXPECT_EQ(ReadFileBytes(dir.File("dir.x/archivo_firmao999.pdf")),
            (Bytes{'o', 'c', 'u', 'p', 'a', 'd', 'o', '\n'}));

  // Cancel leaves everything as it was; the toolbar does not start a second command meanwhile.
  std::string before = w.Status();
  Step<CDlgFirmar>([this](CDlgFirmar&, CHeadlessWindowImpl&) {
    ClickSign();
    win_->Click(66, 68);  // "Abrir PDF"
  });
  Step<CDlgFirmar>([this](CDlgFirmar&, CHeadlessWindowImpl& win) {
    EXPECT_EQ(backend().ModalDepth(), 1);
    win.Press(kKeyEscape);
  });
  ClickSign();
  EXPECT_EQ(w.Status(), before);
}

// The panel on a signed document, on the same document attacked after its signature, and its
// absence on an unsigned one.
TEST_F(SignerTest, SignaturePanelShowsWhatTheVerifierFound) {
  std::string plain = dir.File("plano.pdf"), signedPdf = dir.File("firmado.pdf"), attacked = dir.File("atacado.pdf");
  ASSERT_TRUE(WriteSamplePdf(plain, 2));
  ParsedCertificate ana;
  ASSERT_TRUE(ParseCertificateExact(people.ana.certDer, &ana));
  SigningCallback callback = [this](const Bytes& attributes, std::string*) {
    return people.pki.SignSha256(people.ana, attributes);
  };
  SignResult made = SignPdf(plain, signedPdf, ana, callback, {"Ana Quispe", "", ""}, {StampMode::FirstPage, ""});
  ASSERT_TRUE(made.isSigned) << made.error;
  ASSERT_EQ(RunCommand("cp " + Quote(signedPdf) + " " + Quote(attacked)).status, 0);
  ASSERT_TRUE(AppendContentChange(attacked));

  CMainWindow& w = Start(signedPdf);
  Verified(w);
  ASSERT_EQ(w.Panel()->Count(), 1);
  EXPECT_TRUE(w.Panel()->IsVisible());
  EXPECT_EQ(w.Summary()->Text(), "1 firma: valida");
  EXPECT_EQ(RowFor(w.Report().signatures[0]).level, "PAdES B-B");
  EXPECT_EQ(w.View()->Bounds().Right() + 10, w.Panel()->Bounds().x) << "the pages make room for the panel";
  EXPECT_TRUE(win_->SavePng(kShots + "panel_signed.png"));
  // Choosing the row goes to its stamp.
  EXPECT_FALSE(StampInView(w, 0));
  w.View()->GoToPage(1);
  w.Panel()->SetSelectedIndex(0);
  EXPECT_EQ(w.View()->CurrentPage(), 0);
  EXPECT_TRUE(StampInView(w, 0));

  ASSERT_TRUE(w.OpenDocument(attacked));
  Verified(w);
  EXPECT_EQ(w.Summary()->Text(), "Atención: el documento se modificó después de la firma de Ana Quispe.");
  ASSERT_EQ(w.Report().signatures.size(), 1u);
  SignatureRow row = RowFor(w.Report().signatures[0]);
  EXPECT_EQ(row.integrity.verdict, Verdict::kGood) << row.integrity.text;
  EXPECT_EQ(row.coverage.verdict, Verdict::kBad) << row.coverage.text;
  EXPECT_TRUE(win_->SavePng(kShots + "panel_modified.png"));

  ASSERT_TRUE(w.OpenDocument(plain));
  Verified(w);
  EXPECT_FALSE(w.Panel()->IsVisible());
  EXPECT_EQ(w.View()->Bounds(), (Rect{14, 100, 872, 544}));
}

// The probe that shows "Verificando..." reads from the end in chunks of 1 MiB: a needle at
// either end of the file or across two chunks is found, and nothing else.
TEST(FileMentions, FindsTheNeedleAnywhere) {
  TempDir dir;
  const size_t mib = size_t(1) << 20;
  struct Case {
    size_t size, at;  // the needle at `at` in `size` bytes of filler; at == size: absent
    bool found;
  } cases[] = {{0, 0, false},
               {5, 5, false},
               {20, 0, true},
               {20, 10, true},
               {3 * mib, 0, true},
               {3 * mib, 2 * mib - 4, true},
               {3 * mib, 3 * mib - 10, true},
               {3 * mib, 3 * mib, false}};
  for (const Case& c : cases) {
    std::string bytes(c.size, 'x');
    if (c.at < c.size) bytes.replace(c.at, 10, "/ByteRange");
    std::string path = dir.File("f.pdf");
    ASSERT_TRUE(WriteFileText(path, bytes));
    EXPECT_EQ(FileMentions(path, "/ByteRange"), c.found) << c.size << " " << c.at;
  }
  EXPECT_FALSE(FileMentions(dir.File("missing.pdf"), "/ByteRange"));
}

// What the rows and the summary say for the verifier's answers.
TEST(SignatureRows, SummaryAndMarks) {
  SignatureReport good;
  good.signerName = "Ana Quispe";
  good.signerSerial = "PNOPE-44556677";
  good.time = "2026-12-06 10:15:00 UTC";
  good.timeSource = "/M";
  good.integrity = Integrity::Intact;
  good.coverage.wholeFile = true;
  good.trust.status = TrustStatus::Trusted;
  good.trust.chain = {"Ana Quispe", "Quillmark CA"};
  SignatureRow row = RowFor(good);
  EXPECT_EQ(row.dni, "DNI 44556677");
  EXPECT_EQ(row.time, "2026-12-06 10:15:00 UTC (/M)");
  EXPECT_EQ(row.trust.text, "Confianza: emitido por Quillmark CA.");
  SignatureReport stamped = good;
  stamped.timestamp.present = stamped.timestamp.valid = stamped.timestamp.trusted = true;
  stamped.time = "2026-12-06 10:16:02 UTC";
  stamped.timeSource = "sello de tiempo";
  EXPECT_EQ(RowFor(stamped).time, "2026-12-06 10:16:02 UTC (sello de tiempo)");

  SignatureReport broken = good, untrusted = good, modified = good;
  broken.signerName = "Beto Rojas";
  broken.integrity = Integrity::Broken;
  broken.integrityDetail = "el resumen no coincide";
  untrusted.trust.status = TrustStatus::UnknownIssuer;
  untrusted.trust.detail = "emisor no confiable (Otra CA)";
  modified.coverage.wholeFile = false;
  modified.coverage.modified = true;
  RevisionChange change;
  change.what = "pagina 1 modificada";
  modified.coverage.changes = {change};
  struct Case {
    std::vector<SignatureReport> signatures;
    Verdict verdict;
    std::string text;
  } cases[] = {
      {{good, stamped}, Verdict::kGood, "2 firmas: todas validas"},
      {{good}, Verdict::kGood, "1 firma: valida"},
      {{broken, modified}, Verdict::kBad, "Atención: el documento se modificó después de la firma de Ana Quispe."},
      {{good, broken}, Verdict::kBad, "Atención: la firma de Beto Rojas está rota."},
      {{untrusted}, Verdict::kWarning, "1 firma íntegra; el certificado de Ana Quispe no es de confianza."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    VerifyReport report;
    report.signatures = c.signatures;
    SignatureSummary summary = SummaryFor(report);
    EXPECT_EQ(summary.verdict, c.verdict);
    EXPECT_EQ(summary.text, c.text);
  }
  EXPECT_EQ(RowFor(broken).integrity.text, "Integridad: firma rota: el resumen no coincide.");
  EXPECT_EQ(RowFor(modified).coverage.text, "Cobertura: pagina 1 modificada.");
  EXPECT_EQ(RowFor(untrusted).trust.text, "Confianza: emisor no confiable (Otra CA).");
}

TEST_F(SignerTest, CertificateDialogRules) {
  std::string p12 = MakePkcs12(people, dir.File("ana.p12"), "x");
  SignerOptions options;
  options.pkcs12Path = p12;
  options.pkcs12Password = "x";
  CMainWindow owner;
  Open(owner);
  CDlgFirmar d(&owner, kSignerPalette, "doc.pdf", options);
  d.SetPageCount(2);
  Step<CDlgFirmar>([](CDlgFirmar& d, CHeadlessWindowImpl& win) {
    EXPECT_EQ(d.List()->Count(), 1);
    EXPECT_TRUE(d.SignButton()->IsEnabled());
    EXPECT_NE(d.Summary()->Text().find("1 certificado(s)."), std::string::npos) << d.Summary()->Text();
    // Tab goes through the controls that can act, as they read; the page field joins them
    // with the specific-pages choice, and a page list is checked before the dialog accepts it.
    EXPECT_EQ(d.TabOrder().size(), 6u);  // list, refresh, stamp, PKCS#12, sign, cancel
    d.StampCombo()->SetSelectedIndex(3);
    std::vector<CControl*> order = d.TabOrder();
    ASSERT_EQ(order.size(), 7u);
    EXPECT_EQ(order[3], d.PageField());
    EXPECT_EQ(order[5], d.SignButton());
    win.Type("1, 7");
    win.Press(kKeyTab);
    win.Press(kKeyTab);
    EXPECT_EQ(d.Focused(), d.SignButton());
    win.Press(kKeySpace);
    EXPECT_TRUE(win.IsOpen());
    EXPECT_EQ(d.PageError()->Text(), "La pagina 7 no existe: el documento tiene 2 paginas.");
    EXPECT_EQ(d.Focused(), d.PageField());
    EXPECT_TRUE(win.SavePng(kShots + "page_list_error.png"));
    d.PageField()->Clear();
    EXPECT_EQ(d.PageError()->Text(), "") << "editing the list clears the fault";
    d.StampCombo()->SetSelectedIndex(0);
    // The specific-pages choice opens the page field; any other empties what is handed back.
    d.StampCombo()->SetSelectedIndex(3);
    EXPECT_TRUE(d.PageField()->IsEnabled());
    EXPECT_EQ(d.Focused(), d.PageField());
    win.Type("1-2");
    win.Press(kKeyEnter);
    EXPECT_EQ(d.PageList(), "1-2");
    EXPECT_EQ(d.StampChoice(), 4);
    d.StampCombo()->SetSelectedIndex(2);
    EXPECT_FALSE(d.PageField()->IsEnabled());
    EXPECT_EQ(d.PageList(), "");
    EXPECT_EQ(d.StampChoice(), 2);
    // Escape with the combo box focused and closed cancels.
    Point p = Centre(d.StampCombo());
    win.Click(p.x, p.y);
    ASSERT_TRUE(d.StampCombo()->IsOpen());
    win.Press(kKeyEscape);
    EXPECT_FALSE(d.StampCombo()->IsOpen());
    win.Press(kKeyEscape);
  });
  EXPECT_EQ(d.ShowModal(), 2);

  // How entries read in the list.
  CertificateEntry e;
  e.subjectName = "C=PE, O=Sin nombre comun";
  e.source = CertificateSource::Pkcs12;
  struct {
    std::string issuer;
    std::string shown;
  } issuers[] = {
      {std::string(44, 'a'), std::string(44, 'a')},
      {std::string(45, 'a'), std::string(43, 'a') + "."},
      {std::string(42, 'a') + "ñb", std::string(42, 'a') + "."},  // never half a character
  };
  for (const auto& c : issuers) {
    e.issuerCommonName = c.issuer;
    CListView::Item item = CDlgFirmar::ItemFor(e);
    EXPECT_EQ(item.cells[1], c.shown);
    EXPECT_EQ(item.text, e.subjectName);
    EXPECT_EQ(item.cells[3], "sin clave");
  }
  e.subjectName.clear();
  EXPECT_EQ(CDlgFirmar::ItemFor(e).text, "Certificado");
  EXPECT_EQ(CDlgFirmar::StampValueFor(7), 1);
}

TEST_F(SignerTest, PinDialog) {
  CMainWindow owner;
  Open(owner);
  CPinDialog pin(&owner, kSignerPalette, "", "Lector 00 00");
  Step<CPinDialog>([](CPinDialog& d, CHeadlessWindowImpl& win) {
    EXPECT_EQ(d.OwnerLine()->Text(), "Titular: (DNIe detectado)");
    EXPECT_EQ(win.TimerInterval(1), 530u);
    win.Press(kKeyEnter);
    EXPECT_EQ(d.ErrorLine()->Text(), "Por favor, introduce el PIN del DNIe.");
    EXPECT_TRUE(win.IsOpen());
    EXPECT_TRUE(win.SavePng(kShots + "pin_dialog.png"));
    win.Type("12345678901234567890");
    EXPECT_EQ(d.Field()->Text(), "1234567890123456");
    EXPECT_EQ(d.Field()->DisplayedText(), std::string(16, '*'));
    win.Press(kKeyEnter);
  });
  EXPECT_EQ(pin.ShowModal(), 1);
  std::string taken = "antes";
  pin.TakePin(&taken);
  EXPECT_EQ(taken, "1234567890123456");
  EXPECT_EQ(pin.Pin(), "");
  EXPECT_EQ(pin.Field()->Text(), "") << "the field is wiped when the dialog ends";

  CPinDialog again(&owner, kSignerPalette, "Ana", "");
  Step<CPinDialog>([](CPinDialog&, CHeadlessWindowImpl& win) {
    win.Type("1234");
    win.Press(kKeyEscape);
  });
  EXPECT_EQ(again.ShowModal(), 2);
}

TEST_F(SignerTest, FileOpenDialog) {
  for (const char* name : {"a.p12", "B.PFX", "c.pdf", ".oculto.p12"})
    ASSERT_TRUE(WriteFileText(dir.File(name), "x"));
  ASSERT_EQ(RunCommand("mkdir " + Quote(dir.File("sub"))).status, 0);
  ASSERT_TRUE(WriteFileText(dir.File("sub/d.p12"), "x"));
  CMainWindow owner;
  Open(owner);
  CFileOpenDialog d(&owner, {"Elegir certificado PKCS#12", dir.File("a.p12"), "*.pfx;*.p12"});
  auto names = [](CListView* list) {
    std::string s;
    for (int i = 0; i < list->Count(); ++i) s += list->GetItem(i).text + " ";
    return s;
  };
  Step<CFileOpenDialog>([&](CFileOpenDialog& d, CHeadlessWindowImpl& win) {
    EXPECT_EQ(win.Title(), "Elegir certificado PKCS#12");
    EXPECT_EQ(d.PathField()->Text(), "a.p12");
    EXPECT_EQ(names(d.Folders()), ".. sub/ ");
    EXPECT_EQ(names(d.Files()), "a.p12 B.PFX ");
    EXPECT_EQ(d.Types()->Items().back(), "Todos los archivos (*)");
    d.Types()->SetSelectedIndex(d.Types()->Count() - 1);
    EXPECT_EQ(names(d.Files()), "a.p12 B.PFX c.pdf ");
    d.Types()->SetSelectedIndex(0);
    d.Open("no-esta.p12");
    EXPECT_EQ(d.ErrorLine()->Text(), "No existe el archivo no-esta.p12.");
    d.Open("sub");  // a typed folder is entered
    EXPECT_EQ(names(d.Files()), "d.p12 ");
    d.Folders()->SetSelectedIndex(0);
    d.FocusControl(d.Folders());
    win.Press(kKeyEnter);  // Enter on ".." goes up
    EXPECT_EQ(names(d.Files()), "a.p12 B.PFX ");
    d.Files()->SetSelectedIndex(1);
    EXPECT_EQ(d.PathField()->Text(), "B.PFX");
    d.FocusControl(d.PathField());
    win.Press(kKeyEnter);
  });
  ASSERT_EQ(d.ShowModal(), 1);
  EXPECT_EQ(d.Outcome().path, dir.File("B.PFX"));
  CFileOpenDialog cancelled(&owner, {"", "", "*.pdf"});
  Step<CFileOpenDialog>([](CFileOpenDialog&, CHeadlessWindowImpl& win) {
    EXPECT_EQ(win.Title(), "Abrir archivo");
    win.Press(kKeyEscape);
  });
  EXPECT_EQ(cancelled.ShowModal(), 2);
  EXPECT_FALSE(cancelled.Outcome().chosen);

  struct {
    const char *name, *pattern;
    bool match;
  } globs[] = {{"Doc.PDF", "*.pdf", true}, {"doc.pdf.txt", "*.pdf", false},
               {"a.p12", "?.p12", true},   {"ab.p12", "?.p12", false},
               {"x", "*", true},           {"", "*", true}};
  for (const auto& g : globs)
    EXPECT_EQ(MatchesPattern(g.name, g.pattern), g.match) << g.name << " " << g.pattern;
}

// The DNIe in a private pcscd and a SoftHSM2 token whose key needs its PIN: the PIN dialogs
// of the sign command, a wrong card PIN, and the signatures.
TEST_F(SignerTest, SignsWithTheCardAndTheToken) {
  PrivatePcscd daemon({"Virtual Contact Reader"});
  std::string why;
  if (!daemon.Start(&why)) GTEST_SKIP() << why;
  auto card = MakeDnie(DnieGeneration::V2);
  ASSERT_TRUE(daemon.Insert(0, card.get()));
  hsm.InitToken("firma", "4321");
  hsm.Import("firma", "4321", people.beto, Bytes{1}, Bytes{1});
  std::string pdf = dir.File("acta.pdf");
  ASSERT_TRUE(WriteSamplePdf(pdf, 2));
  CMainWindow& w = Start(pdf);

  Accept(CertificateSource::DNIe);
  Step<CPinDialog>([](CPinDialog& d, CHeadlessWindowImpl& win) {
    EXPECT_NE(d.OwnerLine()->Text().find("QUISPE"), std::string::npos) << d.OwnerLine()->Text();
    win.Type("00000000");
    win.Press(kKeyEnter);
  });
  ClickSign();
  EXPECT_TRUE(w.StatusIsError());
  EXPECT_NE(w.PathLine()->Text().find("quedan 2 intento(s)"), std::string::npos) << w.PathLine()->Text();
  EXPECT_FALSE(FileExists(dir.File("acta_firmao.pdf")));
  EXPECT_EQ(w.Options().pin, "") << "a PIN serves one signature";

  Accept(CertificateSource::DNIe);
  Step<CPinDialog>([](CPinDialog&, CHeadlessWindowImpl& win) {
    win.Type("12345678");
    win.Press(kKeyEnter);
  });
  ClickSign();
  EXPECT_EQ(w.DocumentPath(), dir.File("acta_firmao.pdf")) << w.Status();

  Accept(CertificateSource::WindowsStore);
  Step<CPinDialog>([](CPinDialog& d, CHeadlessWindowImpl& win) {
    EXPECT_EQ(win.Title(), "PIN del token");
    EXPECT_EQ(d.OwnerLine()->Text(), "Titular: Beto Rojas");
    win.Type("4321");
    win.Press(kKeyEnter);
  });
  ClickSign();
  EXPECT_EQ(w.DocumentPath(), dir.File("acta_firmao_firmao.pdf")) << w.Status();
  CommandResult check = RunCommand("pdfsig " + Quote(w.DocumentPath()) + " 2>&1");
  EXPECT_EQ(Count(check.output, "Signature is Valid."), 2) << check.output;
}

}  // namespace
}  // namespace Vy
