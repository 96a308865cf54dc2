// voteauth as the voter meets it: the built program on a private X server, driven through
// XTest with xdotool, with a private pcscd and virtual DNIe and the loopback HTTPS server
// (trusted through SSL_CERT_FILE). Also `voteauth --registrar` in a private home.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/text.h"
#include "examples/TalvenNet/vote_rules.h"
#include "tests/support/https_server.h"
#include "tests/support/pcscd_fixture.h"
#include "tests/support/xvfb.h"

using namespace testing_support;

namespace {

const std::string kBin = std::string(VY_BINARY_DIR) + "/bin";
const std::string kShots = std::string(VY_BINARY_DIR) + "/screenshots/voteauth";

// Child runs a program in the background; it goes with the test process, even on a crash.
pid_t Child(const std::vector<std::string>& words, const std::string& log = "/dev/null") {
  pid_t pid = fork();
  if (pid != 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  dup2(out, STDOUT_FILENO);
  dup2(out, STDERR_FILENO);
  std::vector<char*> argv;
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

class TalvenDesktop : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    PrivatePcscd::UsePrivateSocket();
    HttpsServer::TrustInThisProcess();
  }
  void TearDown() override {
    if (program_ > 0) StopChild(program_, 5);
    xvfb_.reset();
  }
  // X runs an xdotool command on the test's display.
  CommandResult X(const std::string& arguments) {
    return RunCommand("DISPLAY=" + display_ + " timeout 20 xdotool " + arguments);
  }
  // Window waits for a window whose whole title is `title` and returns its id.
  std::string Window(const std::string& title) {
    CommandResult r = X("search --sync --onlyvisible --name " + Quote("^" + title + "$"));
    std::string id = r.output.substr(0, r.output.find('\n'));
    EXPECT_EQ(r.status, 0) << title << ": " << r.output;
    return id;
  }
  // Answer waits for a dialog, photographs it when asked and presses a key in it.
  void Answer(const std::string& title, const std::string& keys, const std::string& shot = "") {
    std::string id = Window(title);
    if (!shot.empty()) Screenshot(shot);
    EXPECT_EQ(X("windowfocus --sync " + id + " " + keys).status, 0) << title;
    EXPECT_TRUE(
        WaitFor([&] { return X("search --onlyvisible --name " + Quote("^" + title + "$")).status != 0; }, 10))
        << title << " stays open";
  }
  void Screenshot(const std::string& name) {
    RunCommand("mkdir -p " + Quote(kShots));
    EXPECT_EQ(RunCommand("DISPLAY=" + display_ + " import -window root " + Quote(kShots + "/" + name)).status,
              0);
  }
  std::string Log() const { return ToText(ReadFileBytes(app_.File("TALVEN.log"))); }
  // ErrorInkAboveFooter counts the pixels of the light set's error colour in the window's
  // destination band (the rows above the 40-pixel footer, right of the status band).
  int ErrorInkAboveFooter(const std::string& window) {
    const std::string shot = app_.File("window.png");
    CommandResult r = RunCommand("DISPLAY=" + display_ + " import -window " + window + " " + Quote(shot) +
                                 " && convert " + Quote(shot) +
                                 " -gravity SouthWest -crop 470x40+22+40 +repage txt:- | grep -c '#BE2828'");
    return std::atoi(r.output.c_str());
  }

  TempDir app_;
  std::string display_;
  std::unique_ptr<Xvfb> xvfb_;
  pid_t program_ = -1;
};

TEST_F(TalvenDesktop, SignsTheChallengeThroughTheWindows) {
  PrivatePcscd daemon({"Virtual Contact Reader"});
  HttpsServer server;
  std::string why;
  if (!daemon.Start(&why) || !server.Start(&why)) GTEST_SKIP() << why;
  xvfb_ = std::make_unique<Xvfb>();
  display_ = xvfb_->display();
  ASSERT_FALSE(display_.empty()) << "Xvfb did not start";
  // The program runs from a folder of its own, so its log lands there.
  ASSERT_EQ(RunCommand("cp -r " + Quote(kBin + "/voteauth") + " " + Quote(kBin + "/assets") + " " +
                       Quote(app_.path()))
                .status,
            0);
  setenv("DISPLAY", display_.c_str(), 1);
  // An empty URL: the notice comes before the window, which then opens without parameters.
  program_ = Child({app_.File("voteauth"), "firmatalven://"});
  Answer("firmatalven://", "key Return", "notice-empty-url.png");
  EXPECT_FALSE(Window("TalvenNet - 2026").empty());
  StopChild(program_, 5);

  server.SetAnswer({.status = 200, .body = ToBytes("{\"estado\":\"registrado\"}")});
  const std::string challenge = "Zm9vYmFy-77";
  // The link names a host of its own: the window warns from the start.
  const std::string host = "localhost:" + std::to_string(server.port());
  program_ = Child({app_.File("voteauth"), "--x", "firmatalven://?reto=" + challenge + "&codigo=77&host=" + host},
                   app_.File("salida.txt"));
  const std::string main = Window("TalvenNet - 2026 - Id \\[77\\]");
  ASSERT_FALSE(main.empty());
  EXPECT_GT(ErrorInkAboveFooter(main), 100) << "the warning about the host is not drawn";

  // The card goes in while the window watches.
  auto card = MakeDnie(DnieGeneration::V2);
  ASSERT_TRUE(daemon.Insert(0, card.get()));
  const auto inserted = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitFor([&] { return Log().find("': 3 certificado(s)") != std::string::npos; }, 8)) << Log();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - inserted).count();
  std::printf("voteauth: card listed %.2f s after it went in (poll every 1.5 s)\n", seconds);
  X("mousemove --window " + main + " 200 200");  // off the buttons, for the picture
  Screenshot("main-window.png");

  // "Aceptar", 20 pixels above the bottom edge: the window grew by the warning's room.
  const std::string geometry = X("getwindowgeometry " + main).output;
  const int height = std::atoi(geometry.substr(geometry.find('x', geometry.find("Geometry:")) + 1).c_str());
  X("mousemove --window " + main + " 450 " + std::to_string(height - 20) + " click 1");
  // The destination is repeated, and the PIN waits until the voter has read it.
  Window("Certificado elegido");
  EXPECT_NE(X("search --onlyvisible --name '^PIN de firma del DNIe$'").status, 0) << "PIN asked too early";
  Answer("Certificado elegido", "key Return", "message.png");
  const std::string pinBox = Window("PIN de firma del DNIe");
  EXPECT_EQ(X("windowfocus --sync " + pinBox + " type 12345678").status, 0);
  Screenshot("pin-x11.png");
  X("windowfocus --sync " + pinBox + " key Return");
  Answer("PIN a verificar", "key Return");
  Answer("Resultado de la firma", "key Escape");
  Answer("Firma enviada", "key Return", "sent.png");

  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].RequestLine(), "POST /api/auth/nimbo HTTP/1.1");
  const DnieIdentities& ids = SharedDnieIdentities();
  TempDir keys;
  TestPki pki(keys.path());
  // RSA PKCS#1 v1.5 is deterministic: the body must carry exactly openssl's signature of the
  // challenge with the card's key.
  const Bytes signature = pki.SignSha256(ids.signature, ToBytes(challenge));
  EXPECT_EQ(ToText(server.Requests()[0].body), VoteBody("44556677", "ANA LUCIA QUISPE MAMANI FIR 44556677",
                                                        challenge, signature, ids.signature.certDer));
  // The guide, then the window goes.
  X("mousemove --window " + main + " 436 27 click 1");
  Answer("Ayuda - TalvenNet", "key Escape", "help-x11.png");
  StopChild(program_, 5);
  program_ = -1;

  const std::string log = Log();
  for (const std::string& line : std::vector<std::string>{
           "  Inicio TalvenNet - Id [77]\n", "  Lector 'Virtual Contact Reader 00 00': 3 certificado(s)\n",
           "  Firma de \"hola\" completada (256 bytes)\n",
           "  POST https://" + host + "/api/auth/nimbo (firma 256 bytes, certificado " +
               std::to_string(Base64Encode(ids.signature.certDer).size()) + " b64)\n",
           "  HTTP 200: {\"estado\":\"registrado\"}\n"}) {
    EXPECT_EQ(Count(log, line), 1) << line << "\n" << log;
  }
  EXPECT_EQ(Count(log, "12345678"), 0) << "the PIN never reaches the log";
}

// The command line answers without a display, on standard output.
TEST(TalvenCommandLine, HelpAndVersionWithoutDisplay) {
  const std::string run = "env -u DISPLAY -u WAYLAND_DISPLAY " + Quote(kBin + "/voteauth");
  CommandResult version = RunCommand(run + " --version 2>/dev/null");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output, "voteauth " VOTEAUTH_TEST_VERSION "\n");
  CommandResult help = RunCommand(run + " --help 2>/dev/null");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.output.rfind("voteauth " VOTEAUTH_TEST_VERSION ": autenticador de voto", 0), 0u) << help.output;
  EXPECT_NE(help.output.find("\n  voteauth --registrar "), std::string::npos) << help.output;
}

TEST(TalvenRegistrar, WritesTheEntryAndTheHandlerOnce) {
  TempDir home;
  const std::string folder = home.File("mi carpeta");
  ASSERT_EQ(RunCommand("mkdir -p " + Quote(folder) + " " + Quote(home.File(".config")) + " && cp " +
                       Quote(kBin + "/voteauth") + " " + Quote(folder))
                .status,
            0);
  const std::string others =
      "[Default Applications]\ntext/html=navegador.desktop\n\n[Added Associations]\n"
      "image/png=visor.desktop;\n";
  ASSERT_TRUE(WriteFileText(home.File(".config/mimeapps.list"), others));
  // Without xdg-mime on the path, the list is edited in place.
  const std::string run = "env -i PATH=/nonexistent HOME=" + Quote(home.path()) +
                          " XDG_DATA_HOME=" + Quote(home.File("datos")) + " " + Quote(folder + "/voteauth") +
                          " --registrar";
  const std::string entry = home.File("datos/applications/voteauth-firmatalven.desktop");
  const std::string list = home.File(".config/mimeapps.list");
  CommandResult first = RunCommand(run);
  ASSERT_EQ(first.status, 0) << first.output;
  EXPECT_EQ(first.output, "voteauth: esquema firmatalven:// registrado para este usuario.\n");
  const std::string desktop = ToText(ReadFileBytes(entry));
  EXPECT_NE(desktop.find("\nExec=\"" + folder + "/voteauth\" %u\n"), std::string::npos) << desktop;
  EXPECT_NE(desktop.find("\nMimeType=x-scheme-handler/firmatalven;\n"), std::string::npos) << desktop;
  EXPECT_EQ(ToText(ReadFileBytes(list)),
            "[Default Applications]\ntext/html=navegador.desktop\n"
            "x-scheme-handler/firmatalven=voteauth-firmatalven.desktop\n\n[Added Associations]\n"
            "image/png=visor.desktop;\n");

  struct stat before[2], after[2];
  ASSERT_EQ(stat(entry.c_str(), &before[0]) | stat(list.c_str(), &before[1]), 0);
  CommandResult second = RunCommand(run);
  EXPECT_EQ(second.status, 0) << second.output;
  ASSERT_EQ(stat(entry.c_str(), &after[0]) | stat(list.c_str(), &after[1]), 0);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(before[i].st_mtim.tv_nsec, after[i].st_mtim.tv_nsec) << "a second run changes nothing";
    EXPECT_EQ(before[i].st_ino, after[i].st_ino);
  }
  EXPECT_EQ(ToText(ReadFileBytes(entry)), desktop);

  CommandResult homeless =
      RunCommand("env -i PATH=/nonexistent " + Quote(folder + "/voteauth") + " --registrar");
  EXPECT_EQ(homeless.status, 1);
  EXPECT_EQ(homeless.output, "voteauth: no se pudo registrar el esquema firmatalven://.\n");
}

}  // namespace
