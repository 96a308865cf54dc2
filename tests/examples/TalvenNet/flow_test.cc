// The authenticator's whole flow in process, on the off-screen backend, against real peers:
// a private pcscd with virtual DNIe cards and the loopback HTTPS server. Only the person is
// scripted: the messages are recorded and the PIN box answers with a given PIN.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/paths.h"
#include "core/text.h"
#include "examples/TalvenNet/main_window.h"
#include "examples/TalvenNet/vote_rules.h"
#include "tests/support/https_server.h"
#include "tests/support/pcscd_fixture.h"
#include "toolkit/button.h"
#include "toolkit/headless/headless.h"
#include "toolkit/listview.h"

using namespace testing_support;
using Vy::CHeadlessApp;

namespace {

struct Shown {
  std::string title, text;
  int kind;
};

class ScriptedWindow : public CMainWindow {
 public:
  using CMainWindow::CMainWindow;
  int Message(const std::string& title, const std::string& text, int kind) override {
    shown.push_back({title, text, kind});
    return 1;
  }
  std::string AskForPin(const std::string&) override { return pin; }
  std::vector<std::string> Titles() const {
    std::vector<std::string> titles;
    for (const Shown& s : shown) titles.push_back(s.title);
    return titles;
  }
  std::vector<Shown> shown;
  std::string pin = "12345678";
};

// SignatureVerifies asks openssl whether `signature` is the certificate's over `data`.
bool SignatureVerifies(const Bytes& certificateDer, const Bytes& signature, const std::string& data) {
  TempDir dir;
  WriteFileBytes(dir.File("c.der"), certificateDer);
  WriteFileBytes(dir.File("s.bin"), signature);
  WriteFileText(dir.File("d.txt"), data);
  CommandResult r = RunCommand("cd " + Quote(dir.path()) +
                               " && openssl x509 -inform DER -in c.der -pubkey -noout > p.pem"
                               " && openssl dgst -sha256 -verify p.pem -signature s.bin d.txt");
  return r.status == 0 && r.output.find("Verified OK") != std::string::npos;
}

// Member gives an escaped member's value out of the outer body.
std::string Member(const std::string& body, const std::string& key) {
  const std::string open = "\\\"" + key + "\\\":\\\"";
  size_t at = body.find(open);
  if (at == std::string::npos) return "<sin " + key + ">";
  at += open.size();
  return body.substr(at, body.find("\\\"", at) - at);
}

class TalvenFlow : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    PrivatePcscd::UsePrivateSocket();
    HttpsServer::TrustInThisProcess();
    daemon_ = new PrivatePcscd({"Virtual Contact Reader"});
    server_ = new HttpsServer;
    if (!daemon_->Start(&why_) || !server_->Start(&why_)) return;
    ready_ = true;
  }
  static void TearDownTestSuite() {
    delete daemon_;
    delete server_;
  }
  void SetUp() override {
    if (!ready_) GTEST_SKIP() << why_;
    std::remove((ExecutableDirectory() + "/TALVEN.log").c_str());
  }

  // Open starts a window on the off-screen backend, as the page would with `query`.
  ScriptedWindow* Open(const std::string& query) {
    app_ = std::make_unique<Vy::VyApp>(0, nullptr, std::make_unique<CHeadlessApp>());
    auto* w = new ScriptedWindow({"firmatalven://?" + query});
    app_->SetMainWindow(w);
    EXPECT_TRUE(w->Create());
    return w;
  }
  void Poll(ScriptedWindow* w) { static_cast<CHeadlessApp*>(app_->Backend())->Find(w)->Tick(1); }
  std::string Host() const { return "127.0.0.1:" + std::to_string(server_->port()); }
  std::string Log() const { return ToText(ReadFileBytes(ExecutableDirectory() + "/TALVEN.log")); }

  static PrivatePcscd* daemon_;
  static HttpsServer* server_;
  static bool ready_;
  static std::string why_;
  std::unique_ptr<Vy::VyApp> app_;
};
PrivatePcscd* TalvenFlow::daemon_ = nullptr;
HttpsServer* TalvenFlow::server_ = nullptr;
bool TalvenFlow::ready_ = false;
std::string TalvenFlow::why_;

TEST_F(TalvenFlow, EveryGenerationSignsTheChallengeAndPostsIt) {
  const DnieIdentities& ids = SharedDnieIdentities();
  TempDir keys;
  TestPki pki(keys.path());
  const std::string holder = "ANA LUCIA QUISPE MAMANI FIR 44556677";
  struct Case {
    DnieGeneration generation;
    std::string challenge;  // empty: the card signs "hola"
  } cases[] = {{DnieGeneration::V1, ""}, {DnieGeneration::V2, "r3t0-ABC_123"}, {DnieGeneration::V3, "x9"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.generation));
    auto card = MakeDnie(c.generation);
    ASSERT_TRUE(daemon_->Insert(0, card.get()));
    server_->SetAnswer({.status = 200, .body = ToBytes("{\"ok\":true}")});
    const size_t before = server_->Requests().size();
    ScriptedWindow* w =
        Open((c.challenge.empty() ? "" : "reto=" + c.challenge + "&") + "codigo=77&host=" + Host());
    EXPECT_EQ(w->Title(), "TalvenNet - 2026 - Id [77]");
    ASSERT_EQ(w->Certificates().size(), 3u) << w->StatusLine();
    ASSERT_GE(w->SelectedIndex(), 0);
    EXPECT_EQ(HolderName(w->Certificates()[w->SelectedIndex()].certificate), holder) << "FIR is chosen";
    EXPECT_NE(w->StatusLine().find(" · 2 no seleccionable(s): solo Firma (FIR)  |  Elegido: "),
              std::string::npos)
        << w->StatusLine();

    w->Accept();
    ASSERT_EQ(w->Titles(), (std::vector<std::string>{"Certificado elegido", "PIN a verificar",
                                                     "Resultado de la firma", "Firma enviada"}));
    EXPECT_EQ(w->shown[0].text.rfind("DNI: 44556677\nCN: " + holder + "\nAlias: ", 0), 0u)
        << w->shown[0].text;
    // The loopback service is not the usual one: the window and the last step before the PIN
    // both say so.
    const std::string warning = "Atención: la firma se enviará a " + Host() +
                                ", que no es el servicio de votación habitual.";
    EXPECT_EQ(w->DestinationText(), warning);
    EXPECT_TRUE(w->shown[0].text.ends_with("\n\n" + warning)) << w->shown[0].text;
    EXPECT_EQ(w->shown[0].kind, 1);
    EXPECT_EQ(w->shown[1].text, "Se va a enviar el siguiente PIN a la tarjeta:\n\n********");
    EXPECT_EQ(w->shown[3].text, "Respuesta del servidor:\n\n{\"ok\":true}");

    const std::string text = c.challenge.empty() ? "hola" : c.challenge;
    const Bytes signature = pki.SignSha256(ids.signature, ToBytes(text));
    EXPECT_EQ(w->shown[2].text, "Texto firmado: \"hola\"\nTamaño: 256 bytes\n\n" + HexEncode(signature));
    ASSERT_EQ(server_->Requests().size(), before + 1) << "one POST";
    const HttpsRequest request = server_->Requests().back();
    EXPECT_EQ(request.RequestLine(), "POST /api/auth/nimbo HTTP/1.1");
    const std::string body = ToText(request.body);
    EXPECT_EQ(body, VoteBody("44556677", holder, c.challenge, signature, ids.signature.certDer));
    Bytes sent, certificate;
    ASSERT_TRUE(Base64Decode(Member(body, "firma"), &sent));
    ASSERT_TRUE(Base64Decode(Member(body, "certificado"), &certificate));
    EXPECT_TRUE(SignatureVerifies(certificate, sent, text));
    app_.reset();
    ASSERT_TRUE(daemon_->Remove(0));
  }
}

// A refused link: the window says why, keeps Accept off and never speaks to the card, though
// one is in the reader; the log has one line with the value, the title none of it.
TEST_F(TalvenFlow, RefusedLinkNeverReachesTheCard) {
  auto card = MakeDnie(DnieGeneration::V2);
  ASSERT_TRUE(daemon_->Insert(0, card.get()));
  card->ClearTrace();
  ScriptedWindow* w = Open("reto=abc&codigo=<b>77</b>&host=" + Host());
  const std::string refusal = "Enlace rechazado: el código debe tener solo cifras (20 como máximo).";
  EXPECT_EQ(w->Title(), "TalvenNet - 2026");
  EXPECT_EQ(w->StatusLine(), refusal);
  EXPECT_EQ(w->DestinationText(), "");
  EXPECT_FALSE(w->AcceptButton()->IsEnabled());
  Poll(w);
  w->Accept();
  EXPECT_TRUE(w->shown.empty());
  EXPECT_TRUE(w->Certificates().empty());
  EXPECT_TRUE(card->Trace().empty()) << "a command reached the card";
  EXPECT_EQ(Count(Log(), "  " + refusal + " | codigo=<b>77</b>\n"), 1) << Log();
  app_.reset();
  ASSERT_TRUE(daemon_->Remove(0));
}

TEST_F(TalvenFlow, FailuresLeaveTheWindowUsable) {
  auto card = MakeDnie(DnieGeneration::V2);
  ASSERT_TRUE(daemon_->Insert(0, card.get()));
  ScriptedWindow* w = Open("reto=abc&codigo=5&host=" + Host());
  ASSERT_EQ(w->Certificates().size(), 3u) << w->StatusLine();
  const size_t posts = server_->Requests().size();

  // A non-FIR row clicked: the FIR one stays chosen.
  w->List()->SetSelectedIndex(1);
  EXPECT_EQ(w->SelectedIndex(), 0);
  EXPECT_EQ(w->List()->SelectedIndex(), 0);

  struct Case {
    const char* what;
    std::string pin;
    HttpsAnswer answer;
    std::string lastTitle, lastText, status;
  } cases[] = {
      {"no PIN", "", {}, "Certificado elegido", "", "Firma cancelada: no se introdujo el PIN."},
      {"wrong PIN",
       "00000000",
       {},
       "PIN rechazado",
       "El PIN no es correcto:\n\nPIN incorrecto: quedan 2 intento(s).",
       "Firma cancelada: PIN no verificado."},
      {"401",
       "12345678",
       {.status = 401, .body = ToBytes("no autorizado")},
       "Error del servidor",
       "HTTP 401\n\nno autorizado",
       ""},
      {"500",
       "12345678",
       {.status = 500, .body = ToBytes("{\"error\":1}")},
       "Error del servidor",
       "HTTP 500\n\n{\"error\":1}",
       ""},
      {"hang",
       "12345678",
       {.kind = HttpsAnswer::Kind::Hang},
       "Error de conexion",
       "No se pudo conectar con el servidor.\n\nTiempo de espera agotado (timeout).",
       ""},
  };
  size_t expectedPosts = posts;
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    server_->SetAnswer(c.answer);
    w->shown.clear();
    w->pin = c.pin;
    w->Accept();
    ASSERT_FALSE(w->shown.empty());
    EXPECT_EQ(w->shown.back().title, c.lastTitle);
    if (!c.lastText.empty()) {
      EXPECT_EQ(w->shown.back().text, c.lastText);
    }
    if (!c.status.empty()) {
      EXPECT_EQ(w->StatusLine().rfind(c.status, 0), 0u) << w->StatusLine();
    }
    if (c.lastTitle.starts_with("Error")) ++expectedPosts;
    EXPECT_EQ(server_->Requests().size(), expectedPosts) << "no POST without a signature";
    EXPECT_EQ(w->SelectedIndex(), 0) << "the window stays ready for another try";
  }
  EXPECT_EQ(card->retriesLeft(), 3) << "the right PIN reset the count after the wrong one";

  // The PIN passes but the card will not sign: no success is claimed and nothing is sent.
  card->RefuseEnvironment(0x81);
  w->shown.clear();
  w->Accept();
  ASSERT_EQ(w->Titles(), (std::vector<std::string>{"Certificado elegido", "PIN a verificar", "Firma"}));
  EXPECT_EQ(w->shown.back().text.rfind("No se pudo firmar \"hola\":\n\nMSE:AT rechazado: ", 0), 0u)
      << w->shown.back().text;
  EXPECT_EQ(w->StatusLine().rfind("No se pudo firmar el texto.", 0), 0u) << w->StatusLine();
  EXPECT_EQ(server_->Requests().size(), expectedPosts);

  // The card taken out and put back while the window is open.
  ASSERT_TRUE(daemon_->Remove(0));
  Poll(w);
  EXPECT_EQ(w->StatusLine(), "Sin tarjeta en el lector. Acerque el DNIe y se listara solo.");
  EXPECT_TRUE(w->Certificates().empty());
  w->shown.clear();
  w->Accept();
  ASSERT_EQ(w->Titles(), (std::vector<std::string>{"Aceptar"}));
  EXPECT_EQ(w->shown[0].text, "Seleccione primero un certificado de la lista.");

  // A card with only the authentication and encryption certificates lists both, chooses none.
  auto partial = MakeDnie(DnieGeneration::V2);
  partial->PutFile(0x001D, {});
  ASSERT_TRUE(daemon_->Insert(0, partial.get()));
  Poll(w);
  ASSERT_EQ(w->Certificates().size(), 2u) << w->StatusLine();
  EXPECT_EQ(w->SelectedIndex(), -1);
  EXPECT_TRUE(w->StatusLine().ends_with(" · 2 no seleccionable(s): solo Firma (FIR)")) << w->StatusLine();
  w->List()->SetSelectedIndex(0);
  EXPECT_TRUE(w->StatusLine().ends_with("  |   : solo se admite el certificado de Firma (FIR)"))
      << w->StatusLine();
  EXPECT_EQ(w->List()->SelectedIndex(), -1);
  Poll(w);
  EXPECT_EQ(w->Certificates().size(), 2u) << "the same card is not read again";
  w->CancelSelection();
  EXPECT_EQ(w->StatusLine(), "Seleccion cancelada.");

  ASSERT_TRUE(daemon_->Remove(0));
  Poll(w);
  ASSERT_TRUE(daemon_->Insert(0, card.get()));
  Poll(w);
  EXPECT_EQ(w->Certificates().size(), 3u);
  EXPECT_EQ(w->SelectedIndex(), 0);
  app_.reset();
  ASSERT_TRUE(daemon_->Remove(0));
  EXPECT_EQ(Count(Log(), "00000000") + Count(Log(), "12345678"), 0) << "no PIN in the log";
}

}  // namespace
