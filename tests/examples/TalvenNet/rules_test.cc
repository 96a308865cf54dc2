// The authenticator's rules: the invocation URL, the FIR choice, the DNI number, the body
// sent to the voting service, the log and the asset lookup.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "core/text.h"
#include "examples/TalvenNet/assets.h"
#include "examples/TalvenNet/invocation.h"
#include "examples/TalvenNet/vote_log.h"
#include "examples/TalvenNet/vote_rules.h"
#include "tests/support/test_support.h"

using namespace testing_support;

namespace {

std::string Twice64(const std::string& text) {
  return Base64Encode(ToBytes(Base64Encode(ToBytes(text))));
}

TEST(TalvenInvocation, Table) {
  struct Case {
    std::vector<std::string> arguments;
    const char* challenge;
    const char* code;
    const char* host;
    const char* message;
    const char* reason;
  } cases[] = {
      {{"firmatalven://?reto=abc&codigo=77"}, "abc", "77", "", "", "plain query"},
      {{"firmatalven:///reto=abc"}, "abc", "", "", "", "one character, then every '/', is dropped"},
      {{"firmatalven://reto=abc"}, "", "", "", "", "the dropped character was the key's first letter"},
      {{"firmatalven://\xC3\xB1reto=abc"}, "abc", "", "", "", "the dropped character is a whole code point"},
      {{"firmatalven://"}, "", "", "", "URL vacía (sin parámetros)", "nothing after the prefix"},
      {{"firmatalven://?&&=/"}, "", "", "", "URL vacía (sin parámetros)", "separators only"},
      {{"firmatalven://?a?"}, "", "", "", "No se encontraron parámetros:\na?", "no key after the '?'"},
      {{"firmatalven://?" + Twice64("reto=x&codigo=9&host=h:1")}, "x", "9", "h:1", "", "Base64 twice"},
      {{"firmatalven://?" + Base64Encode(ToBytes("reto=x"))}, "", "", "", "", "Base64 once: read as it is"},
      {{"firmatalven://?" + Twice64("&&")},
       "",
       "",
       "",
       "No se encontraron parámetros:\n&&",
       "decoded, no key"},
      {{"firmatalven://?reto=a%2Bb+c%4%zz&codigo=%37%37"}, "a+b c%4%zz", "77", "", "", "URL decoding"},
      {{"firmatalven://?reto=100%"}, "100%", "", "", "", "a '%' at the end stays"},
      {{"firmatalven://?reto=1&reto=2&Reto=3"}, "2", "", "", "", "the last one wins; keys keep their case"},
      {{"firmatalven://?RETO=x&codigo"}, "", "", "", "", "upper-case key, key without value"},
      {{"--x", "FIRMATALVEN://?reto=no", "firmatalven://?reto=si", "firmatalven://?reto=otro"},
       "si",
       "",
       "",
       "",
       "the first argument with the exact prefix"},
      {{"reto=abc"}, "", "", "", "", "no scheme argument: silent"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    Invocation got = ReadInvocation(c.arguments);
    EXPECT_EQ(got.parameters.challenge, c.challenge);
    EXPECT_EQ(got.parameters.code, c.code);
    EXPECT_EQ(got.parameters.host, c.host);
    EXPECT_EQ(got.message, c.message);
  }
  EXPECT_EQ(TitleWithCode("TalvenNet - 2026", "1234"), "TalvenNet - 2026 - Id [1234]");
  EXPECT_EQ(TitleWithCode("TalvenNet - 2026", ""), "TalvenNet - 2026");
}

// What a link cannot hold: each refusal empties the parameters, so nothing reaches the card,
// the title or the request; the log keeps the offending value, cut.
TEST(TalvenInvocation, RefusedLinks) {
  const char* host = "Enlace rechazado: el servidor indicado no es un nombre de dominio ni una dirección IP.";
  const char* code = "Enlace rechazado: el código debe tener solo cifras (20 como máximo).";
  const char* control = "Enlace rechazado: el reto contiene caracteres de control.";
  const char* scheme = "Enlace rechazado: no empieza por \"firmatalven://\".";
  const std::string longest(kMaxChallengeBytes, 'r');
  struct Case {
    std::string link;
    const char* refusal;
    std::string evidence;
    const char* reason;
  } cases[] = {
      {"FIRMATALVEN://?reto=x", scheme, "FIRMATALVEN://?reto=x", "the prefix in capitals"},
      {"firmatalven:?reto=x", scheme, "firmatalven:?reto=x", "no slashes"},
      {"https://votacion.talven.pe/?reto=x", scheme, "https://votacion.talven.pe/?reto=x", "another scheme"},
      {"firmatalven://?host=votacion.talven.pe@atacante.example.com", host,
       "host=votacion.talven.pe@atacante.example.com", "user information: the request would go to the end"},
      {"firmatalven://?host=atacante.example.com/x", host, "host=atacante.example.com/x", "a path"},
      {"firmatalven://?host=a%20b", host, "host=a b", "a space"},
      {"firmatalven://?host=%zz", host, "host=%zz", "a stray '%'"},
      {"firmatalven://?host=a_b.pe", host, "host=a_b.pe", "'_' is no host name letter"},
      {"firmatalven://?host=%C3%B1.pe", host, "host=\xC3\xB1.pe", "a name outside ASCII (its xn-- form passes)"},
      {"firmatalven://?host=-a.pe", host, "host=-a.pe", "a label starting with '-'"},
      {"firmatalven://?host=a..pe", host, "host=a..pe", "an empty label"},
      {"firmatalven://?host=a.pe.", host, "host=a.pe.", "a trailing dot"},
      {"firmatalven://?host=" + std::string(64, 'a') + ".pe", host, "host=" + std::string(64, 'a') + ".pe",
       "a label of 64"},
      {"firmatalven://?host=1.2.3", host, "host=1.2.3", "numeric last label: an address, and a short one"},
      {"firmatalven://?host=256.1.1.1", host, "host=256.1.1.1", "a number over 255"},
      {"firmatalven://?host=010.1.1.1", host, "host=010.1.1.1", "a leading zero (octal to some resolvers)"},
      {"firmatalven://?host=h:0", host, "host=h:0", "port 0"},
      {"firmatalven://?host=h:65536", host, "host=h:65536", "port over 65535"},
      {"firmatalven://?host=h:", host, "host=h:", "an empty port"},
      {"firmatalven://?host=[::1", host, "host=[::1", "an open bracket"},
      {"firmatalven://?host=[1::2::3]", host, "host=[1::2::3]", "two '::'"},
      {"firmatalven://?host=[::1]x", host, "host=[::1]x", "text after the bracket"},
      {"firmatalven://?host=::1", host, "host=::1", "IPv6 without brackets"},
      {"firmatalven://?codigo=<b>77</b>", code, "codigo=<b>77</b>", "markup for the title"},
      {"firmatalven://?codigo=" + std::string(21, '7'), code, "codigo=" + std::string(21, '7'), "21 digits"},
      {"firmatalven://?codigo=%4", code, "codigo=%4", "not a digit"},
      {"firmatalven://?codigo=+1", code, "codigo= 1", "'+' is a space"},
      {"firmatalven://?reto=" + longest + "r", "Enlace rechazado: el reto supera los 4096 bytes.",
       "reto=" + std::string(195, 'r') + "...", "4097 bytes; the log keeps 200 characters"},
      {"firmatalven://?reto=a%0Ab", control, "reto=a\nb", "a line feed"},
      {"firmatalven://?reto=a%09b", control, "reto=a\tb", "a tab"},
      {"firmatalven://?reto=a%7Fb", control, "reto=a\x7F" "b", "DEL"},
      {"firmatalven://?reto=%C2%85", control, "reto=\xC2\x85", "a C1 control (NEL)"},
      {"firmatalven://?" + Twice64("reto=x&host=a/b"), host, "host=a/b", "also when Base64 hides it"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    Invocation got = ReadInvocation({"--x", c.link});
    EXPECT_EQ(got.refusal, c.refusal);
    EXPECT_EQ(got.evidence, c.evidence);
    EXPECT_TRUE(got.parameters.challenge.empty() && got.parameters.code.empty() && got.parameters.host.empty());
  }
  EXPECT_EQ(ReadInvocation({"--x", "C:\\voto", "reto=1"}).refusal, "") << "words that are no links stay silent";

  // Links that must still pass, exactly as the page wrote them.
  const std::string label63(63, 'a');
  for (const std::string& query : std::vector<std::string>{
           "host=votacion.talven.pe", "host=VOTACION.talven.pe:443", "host=localhost:8443", "host=127.0.0.1:65535",
        "host=[::1]:443", "host=[::ffff:192.0.2.1]", "host=[2001:db8::]", "host=[1:2:3:4:5:6:7:8]",
        "host=xn--votacin-8za.pe", "host=a-1.b2." + label63 + ".pe:1", "codigo=" + std::string(20, '0'),
        "reto=" + longest, "reto=<b>voto</b> ñ €&codigo=007", "reto=&codigo=&host="}) {
    SCOPED_TRACE(query);
    Invocation got = ReadInvocation({"firmatalven://?" + query});
    EXPECT_EQ(got.refusal, "");
    std::map<std::string, std::string> values = ParseQueryString(query);
    EXPECT_EQ(got.parameters.host, values["host"]);
    EXPECT_EQ(got.parameters.code, values["codigo"]);
    EXPECT_EQ(got.parameters.challenge, values["reto"]);
  }
}

TEST(TalvenInvocation, Destination) {
  EXPECT_EQ(VoteHost({}), "votacion.talven.pe");
  EXPECT_EQ(VoteHost({.challenge = "", .code = "", .host = "h:1"}), "h:1");
  EXPECT_EQ(DestinationLine("votacion.talven.pe"), "Destino de la firma: votacion.talven.pe");
  EXPECT_EQ(DestinationLine("Votacion.Talven.PE:443"), "Destino de la firma: Votacion.Talven.PE:443");
  EXPECT_EQ(DestinationLine("atacante.example.com"),
            "Atención: la firma se enviará a atacante.example.com, que no es el servicio de votación habitual.");
  EXPECT_EQ(DestinationLine("votacion.talven.pe:8443"),
            "Atención: la firma se enviará a votacion.talven.pe:8443, que no es el servicio de votación habitual.");
  // A long name keeps its end in view: that is the part that says who gets the signature.
  const std::string padded = "votacion.talven.pe." + std::string(60, 'x') + ".atacante.example.com";
  EXPECT_EQ(DestinationLine(padded), "Atención: la firma se enviará a ..." + padded.substr(padded.size() - 64) +
                                         ", que no es el servicio de votación habitual.");
}

TEST(TalvenRules, SignatureCertificateAndDniNumber) {
  struct Fir {
    const char* holder;
    const char* label;
    bool fir;
  } firs[] = {{"ANA QUISPE MAMANI FIR 44556677", "Autenticacion (DNIe)", true},
              {"ANA QUISPE", "Firma Digital (DNIe)", true},
              {"ANA QUISPE", "Cert_FIRMADO", true},
              {"ANA QUISPE AUT 44556677", "Autenticacion (DNIe)", false},
              {"ANA CONFIRMA", "FIRE.x", false},
              {"ana/fir", "", true}};
  for (const Fir& f : firs) {
    SCOPED_TRACE(std::string(f.holder) + " | " + f.label);
    EXPECT_EQ(IsSignatureCertificate(f.holder, f.label), f.fir);
  }

  struct Dni {
    const char* holder;
    const char* subject;
    const char* serial;
    const char* dni;
  } dnis[] = {{"QUISPE MAMANI ANA FIR 12345678", "", "01", "12345678"},
              {"QUISPE 123456789", "", "", "12345678"},
              {"QUISPE 1234567", "CN=X,serialNumber=PNOPE-44556677", "99999999", "44556677"},
              {"QUISPE", "CN=QUISPE", "0A1234567890", "12345678"},
              {"QUISPE", "CN=QUISPE", "0A0B", "(sin numero de DNI, serie 0A0B)"},
              {"", "", "", "(numero de DNI no encontrado)"}};
  for (const Dni& d : dnis) {
    SCOPED_TRACE(d.holder);
    ParsedCertificate cert;
    cert.subjectName = d.subject;
    cert.serialHex = d.serial;
    EXPECT_EQ(DniNumber(d.holder, cert), d.dni);
  }
}

TEST(TalvenRules, BodyBytes) {
  const Bytes signature{0x01, 0x02, 0x03}, der{0x30, 0x00};
  EXPECT_EQ(VoteBody("12345678", "ANA \"LA\" QUISPE", "", signature, der),
            R"({"datos":"{\"dni\":\"12345678\",\"cn\":\"ANA LA QUISPE\",\"reto\":\"\",)"
            R"(\"firma\":\"AQID\",\"certificado\":\"MAA=\"}"})");
  EXPECT_EQ(VoteBody("(numero de DNI no encontrado)", "B", "r=1&x", {}, {}),
            R"({"datos":"{\"dni\":\"(numero de DNI no encontrado)\",\"cn\":\"B\",\"reto\":\"r=1&x\",)"
            R"(\"firma\":\"\",\"certificado\":\"\"}"})");
  // A challenge that would end the string early stays one string, decoded back to itself.
  EXPECT_EQ(VoteBody("1", "B", "a\"b\\c\n", {}, {}),
            R"({"datos":"{\"dni\":\"1\",\"cn\":\"B\",\"reto\":\"a\\\"b\\\\c\\u000a\",)"
            R"(\"firma\":\"\",\"certificado\":\"\"}"})");
}

TEST(TalvenFiles, LogLinesAndFolders) {
  std::tm tm{};
  tm.tm_year = 126, tm.tm_mon = 2, tm.tm_mday = 6, tm.tm_hour = 9, tm.tm_min = 5, tm.tm_sec = 7;
  tm.tm_isdst = -1;
  EXPECT_EQ(LogLine(std::mktime(&tm), "Inicio TalvenNet"), "2026-03-06 09:05:07  Inicio TalvenNet");
  EXPECT_EQ(LogLine(std::mktime(&tm), "HTTP 200: {\r\n\"ok\":1}\n2026-03-06 09:05:08  Firma enviada"),
            "2026-03-06 09:05:07  HTTP 200: {\\x0d\\x0a\"ok\":1}\\x0a2026-03-06 09:05:08  Firma enviada")
      << "an answer cannot forge a line of its own";
  EXPECT_FALSE(AppendLine("", "x"));

  TempDir dir;
  // A writable program folder takes the log; the fallback is not even created.
  const LogFolders writable{dir.path(), dir.File("state/talvennet")};
  EXPECT_EQ(WriteLogTo(writable, "uno"), dir.File("TALVEN.log"));
  EXPECT_FALSE(FileExists(dir.File("state")));
  // An installed program's folder that refuses the log (here TALVEN.log is a folder, which
  // refuses even root): the line goes to the state folder, made private, instead of being lost.
  ASSERT_EQ(mkdir(dir.File("bin").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.File("bin/TALVEN.log").c_str(), 0755), 0);
  const LogFolders installed{dir.File("bin"), dir.File("state/talvennet")};
  EXPECT_EQ(WriteLogTo(installed, "dos"), dir.File("state/talvennet/TALVEN.log"));
  EXPECT_EQ(WriteLogTo(installed, "tres"), dir.File("state/talvennet/TALVEN.log"));
  std::string text = ToText(ReadFileBytes(dir.File("state/talvennet/TALVEN.log")));
  EXPECT_EQ(Count(text, "\n"), 2);
  EXPECT_NE(text.find("  dos\n"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(stat(dir.File("state/talvennet").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u);
  EXPECT_EQ(WriteLogTo({dir.File("bin"), ""}, "cuatro"), "") << "no fallback: the line is dropped quietly";
}

TEST(TalvenFiles, AssetLookupOrder) {
  TempDir dir;
  const std::string bin = dir.File("bin");
  ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
  EXPECT_EQ(AssetPathFrom("C:\\app", "logo.png"), "C:\\app/assets/logo.png") << "nothing found: candidate 1";
  RunCommand("mkdir -p " + Quote(dir.File("examples/TalvenNet/assets")) + " " + Quote(bin + "/assets"));
  ASSERT_TRUE(WriteFileText(dir.File("examples/TalvenNet/assets/dni.png"), "x"));
  EXPECT_EQ(AssetPathFrom(bin, "dni.png"), bin + "/../examples/TalvenNet/assets/dni.png");
  ASSERT_TRUE(WriteFileText(bin + "/assets/dni.png", "x"));
  EXPECT_EQ(AssetPathFrom(bin, "dni.png"), bin + "/assets/dni.png");
}

}  // namespace
