// VerifyPdf against the tampering a signed file meets, with pdfsig as the second opinion on
// integrity, and against signatures made by other signers (openssl cms, pdfsig).
#include <gtest/gtest.h>

#include <cstdio>

#include "core/der.h"
#include "core/text.h"
#include "pades/container.h"
#include "pades/pipeline.h"
#include "pades/verify.h"
#include "tests/pades/pades_fixture.h"

using namespace pades_test;
using testing_support::Count;
using testing_support::Quote;
using testing_support::ReadFileBytes;
using testing_support::RunCommand;
using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

std::string ReadText(const std::string& path) {
  return ToText(ReadFileBytes(path));
}

// PdfsigValid counts the signatures pdfsig calls valid, or -1 when it cannot read the file.
int PdfsigValid(const std::string& path) {
  auto r = RunCommand("pdfsig -nocert " + Quote(path));
  if (r.output.find("Signature #") == std::string::npos) return -1;
  return Count(r.output, "Signature is Valid.");
}

std::string Sign(const TempDir& dir, const std::string& input, const std::string& name,
                 const ParsedCertificate& certificate = Signer().certificate,
                 const std::string& signingTime = pades_internal::SigningTimeNow()) {
  WriteFileText(dir.File(name + ".in.pdf"), input);
  SignResult r =
      SignPdfAt(dir.File(name + ".in.pdf"), dir.File(name), certificate, 8192, SignerKey().Callback(),
                {"Juana", "Lima", "Prueba"}, {StampMode::FirstPage, ""}, signingTime);
  EXPECT_TRUE(r.isSigned) << r.error;
  return ReadText(dir.File(name));
}

// Revision appends an incremental update that defines `objects` (number, text) over `file`.
std::string Revision(const std::string& file, const std::vector<std::pair<int, std::string>>& objects,
                     int size) {
  const size_t at = file.rfind("startxref");
  const std::string prev = std::to_string(std::stoll(file.substr(at + 9)));
  std::string out = file;
  std::string xref = "xref\n";
  for (const auto& [number, text] : objects) {
    char line[40];
    std::snprintf(line, sizeof line, "%d 1\n%010zu 00000 n \n", number, out.size());
    xref += line;
    out += std::to_string(number) + " 0 obj\n" + text + "\nendobj\n";
  }
  const size_t start = out.size();
  return out + xref + "trailer\n<< /Size " + std::to_string(size) + " /Root 1 0 R /Prev " + prev +
         " >>\nstartxref\n" + std::to_string(start) + "\n%%EOF\n";
}

// Resign replaces the CMS of the file's last signature with one openssl makes over the same
// ranges with digest `md`.
std::string Resign(const TempDir& dir, const std::string& file, const std::string& md) {
  const size_t key = file.rfind("/ByteRange [");
  unsigned long long a, b, c, d;
  if (std::sscanf(file.c_str() + key + 12, "%llu %llu %llu %llu", &a, &b, &c, &d) != 4) return "";
  WriteFileText(dir.File("ranges.bin"), file.substr(0, b) + file.substr(c, d));
  auto r = RunCommand("openssl cms -sign -binary -md " + md + " -outform DER -signer " +
                      Quote(Signer().id.certPem) + " -inkey " + Quote(Signer().id.keyPem) + " -in " +
                      Quote(dir.File("ranges.bin")) + " -out " + Quote(dir.File("cms.der")));
  EXPECT_EQ(r.status, 0) << r.output;
  std::string hex = HexEncode(ReadFileBytes(dir.File("cms.der")));
  hex.resize(c - b - 2, '0');
  std::string out = file;
  out.replace(b + 1, hex.size(), hex);
  return out;
}

std::string Flip(std::string text, size_t at) {
  text[at] = text[at] == '0' ? '1' : '0';
  return text;
}

TEST(VerifyPdf, TamperingIsCaughtAndAgreesWithPdfsig) {
  TempDir dir;
  const std::string input = SimpleDocument(2);
  const std::string good = Sign(dir, input, "good.pdf");
  const size_t open = good.rfind("/Contents <") + 10;
  const size_t range = good.rfind("/ByteRange [") + 12;
  const size_t close = good.find('>', open);
  const Bytes der = HexDecode(good.substr(open + 1, close - open - 1));
  size_t cursor = 0;
  DerElement cms;
  ASSERT_TRUE(DerReadElement(der.data(), der.size(), &cursor, &cms));
  const size_t cmsEnd = open + 1 + 2 * cms.end;  // the signature value's hex ends here
  // The document's page 1 content stream is object 4, its page tree object 2.
  const std::string page = "<< /Length 36 >>\nstream\nBT /F1 18 Tf 72 720 Td (Otra) Tj ET\nendstream";
  const std::string pages = "<< /Type /Pages /Kids [3 0 R 5 0 R 40 0 R] /Count 3 >>";
  const std::string newPage = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] >>";
  ParsedCertificate other;
  ASSERT_TRUE(ParseCertificateExact(Pki().MakeLeaf(Authority(), "otro", "/C=PE/serialNumber=PNOPE-40123456/CN=Otro Firmante").certDer, &other));
  std::string skipped = good;
  skipped.replace(range, 43, ByteRangeText(open, close + 2, good.size()));  // two bytes left unsigned

  struct Case {
    const char* why;
    std::string file;
    Integrity integrity;
    bool modified;
  } cases[] = {
      {"untouched", good, Integrity::Intact, false},
      {"a byte flipped inside a range", Flip(good, good.find("Pagina 2") + 7), Integrity::Broken, false},
      {"a byte flipped inside /Contents", Flip(good, cmsEnd - 3), Integrity::Broken, false},
      {"a /ByteRange that skips bytes", skipped, Integrity::Broken, false},
      {"a later revision changes a page's content", Revision(good, {{4, page}}, 40), Integrity::Intact, true},
      {"a later revision adds a page", Revision(good, {{2, pages}, {40, newPage}}, 41), Integrity::Intact,
       true},
      {"a CMS with another signer's certificate", Sign(dir, input, "other.pdf", other), Integrity::Broken,
       false},
      {"openssl's CMS over SHA-384", Resign(dir, good, "sha384"), Integrity::Intact, false},
      {"openssl's CMS over SHA-512", Resign(dir, good, "sha512"), Integrity::Intact, false},
      {"openssl's CMS over SHA-1", Resign(dir, good, "sha1"), Integrity::Unsupported, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    WriteFileText(dir.File("case.pdf"), c.file);
    VerifyReport report = VerifyPdf(dir.File("case.pdf"), {Authority().certDer});
    ASSERT_EQ(report.error, "");
    ASSERT_EQ(report.signatures.size(), 1u);
    const SignatureReport& s = report.signatures[0];
    EXPECT_EQ(s.integrity, c.integrity) << s.integrityDetail;
    EXPECT_EQ(s.coverage.modified, c.modified);
    if (c.integrity != Integrity::Unsupported) {
      EXPECT_EQ(PdfsigValid(dir.File("case.pdf")), c.integrity == Integrity::Intact ? 1 : 0);
    }
  }

  // The signer is named by the certificate the CMS carries, with its serial number (a DNI).
  const SignatureReport named = VerifyPdf(dir.File("other.pdf"), {}).signatures.at(0);
  EXPECT_EQ(named.signerName + " / " + named.signerSerial, "Otro Firmante / PNOPE-40123456");

  // A file cut short never passes: its ranges run past the end, or the signature is lost.
  for (size_t cut : {1, 200}) {
    WriteFileText(dir.File("cut.pdf"), good.substr(0, good.size() - cut));
    VerifyReport report = VerifyPdf(dir.File("cut.pdf"), {});
    for (const SignatureReport& s : report.signatures) EXPECT_EQ(s.integrity, Integrity::Broken) << cut;
    if (cut == 1) {
      EXPECT_EQ(report.signatures.size(), 1u);
    }
  }
}

TEST(VerifyPdf, ReportsRevisionsSignersAndTrust) {
  TempDir dir;
  const std::string now = pades_internal::SigningTimeNow();
  Sign(dir, SimpleDocument(1), "one.pdf", Signer().certificate, now);
  WriteFileText(dir.File("one.pdf.in.pdf"), ReadText(dir.File("one.pdf")));
  const std::string twice = Sign(dir, ReadText(dir.File("one.pdf")), "two.pdf");
  EXPECT_EQ(PdfsigValid(dir.File("two.pdf")), 2);

  VerifyReport report = VerifyPdf(dir.File("two.pdf"), {Authority().certDer});
  ASSERT_EQ(report.signatures.size(), 2u);
  const SignatureReport& first = report.signatures[0];
  EXPECT_EQ(first.signerName, "Juana Quispe Mamani");
  EXPECT_EQ(first.signingTime, HumanUtcDate(now));
  EXPECT_EQ(first.profile, "PAdES B-B");
  EXPECT_EQ(first.integrity, Integrity::Intact);
  EXPECT_EQ(first.coverage.revision, 2);
  EXPECT_EQ(first.coverage.revisions, 3);
  EXPECT_FALSE(first.coverage.modified);
  EXPECT_FALSE(first.coverage.changes.empty()) << "the second signature's objects are listed as allowed";
  EXPECT_TRUE(report.signatures[1].coverage.wholeFile);
  EXPECT_EQ(first.trust.status, TrustStatus::Trusted);
  EXPECT_EQ(first.trust.chain, (std::vector<std::string>{"Juana Quispe Mamani", "CA Pruebas Quillmark"}));

  EXPECT_EQ(VerifyPdf(dir.File("two.pdf"), {}).signatures[0].trust.status, TrustStatus::UnknownIssuer);
  // /M is the signer's own word: a date before the certificate was issued decides nothing.
  Sign(dir, SimpleDocument(1), "early.pdf", Signer().certificate, "200101000000Z");
  EXPECT_EQ(VerifyPdf(dir.File("early.pdf"), {Authority().certDer}).signatures[0].trust.status,
            TrustStatus::Trusted);
}

TEST(VerifyPdf, AgreesWithPdfsigOnItsOwnSignatures) {
  TempDir dir;
  const std::string p12 = dir.File("id.p12"), nss = "sql:" + dir.File("nss");
  ASSERT_EQ(RunCommand("openssl pkcs12 -export -inkey " + Quote(Signer().id.keyPem) + " -in " +
                       Quote(Signer().id.certPem) + " -name firmante -passout pass:clave -out " + Quote(p12))
                .status,
            0);
  ASSERT_EQ(RunCommand("mkdir " + Quote(dir.File("nss")) + " && certutil -N -d " + Quote(nss) +
                       " --empty-password && pk12util -i " + Quote(p12) + " -d " + Quote(nss) + " -W clave")
                .status,
            0);
  Sign(dir, SimpleDocument(2), "ours.pdf");
  // pdfsig signs our signed file (a second revision) and a fresh document.
  for (const char* input : {"ours.pdf", "ours.pdf.in.pdf"}) {
    SCOPED_TRACE(input);
    auto r = RunCommand("pdfsig -add-signature -nssdir " + Quote(nss) + " -nick firmante " +
                        Quote(dir.File(input)) + " " + Quote(dir.File("peer.pdf")));
    ASSERT_EQ(r.status, 0) << r.output;
    const int valid = PdfsigValid(dir.File("peer.pdf"));
    VerifyReport report = VerifyPdf(dir.File("peer.pdf"), {Authority().certDer});
    ASSERT_EQ(int(report.signatures.size()), valid);
    for (const SignatureReport& s : report.signatures) {
      EXPECT_EQ(s.integrity, Integrity::Intact) << s.integrityDetail;
      EXPECT_FALSE(s.coverage.modified) << s.coverage.changes.size();
      EXPECT_EQ(s.trust.status, TrustStatus::Trusted) << s.trust.detail;
    }
  }
}

}  // namespace
