// The authenticator's rules: the invocation URL, the FIR choice, the DNI number, the body
// sent to the voting service, the log and the asset lookup.
#include <gtest/gtest.h>

#include <sys/stat.h>

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
      {{"firmatalven://?" + Twice64("reto=x&codigo=y&host=h:1")}, "x", "y", "h:1", "", "Base64 twice"},
      {{"firmatalven://?" + Base64Encode(ToBytes("reto=x"))}, "", "", "", "", "Base64 once: read as it is"},
      {{"firmatalven://?" + Twice64("&&")},
       "",
       "",
       "",
       "No se encontraron parámetros:\n&&",
       "decoded, no key"},
      {{"firmatalven://?reto=a%2Bb+c&codigo=%4&host=%zz"}, "a+b c", "%4", "%zz", "", "URL decoding"},
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

TEST(TalvenInvocation, DoubleBase64FollowsTheStrictDecoder) {
  struct Case {
    const char* text;
    bool ok;
  } cases[] = {{"", true},          {"WVE9PQ==", true},  {"WV E9\nPQ==", true}, {"WVE9PQ=", false},
               {"WVE=PQ==", false}, {"WVE9P=Q=", false}, {"WVE9PQ-=", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string out = "sin cambio";
    EXPECT_EQ(DecodeTwiceBase64(c.text, &out), c.ok);
    if (!c.ok) {
      EXPECT_EQ(out, "sin cambio");
    }
  }
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
}

TEST(TalvenFiles, LogLinesAndFolders) {
  std::tm tm{};
  tm.tm_year = 126, tm.tm_mon = 2, tm.tm_mday = 6, tm.tm_hour = 9, tm.tm_min = 5, tm.tm_sec = 7;
  tm.tm_isdst = -1;
  EXPECT_EQ(LogLine(std::mktime(&tm), "Inicio TalvenNet"), "2026-03-06 09:05:07  Inicio TalvenNet");
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
