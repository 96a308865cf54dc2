// Long-term signatures end to end: quillmark against OCSP responders, revocation lists and a
// time-stamp authority on loopback, every output checked by pdfsig and openssl.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/sha1.h"
#include "core/text.h"
#include "pades/dss.h"
#include "pades/long_term.h"
#include "pades/pdf_scan.h"
#include "pades/seal.h"
#include "pades/update_chain.h"
#include "tests/certs/cert_test_helpers.h"
#include "tests/support/revocation_services.h"

using namespace testing_support;
using Person = RevocationServices::Person;

namespace {

const std::string kProgram = std::string(VY_BINARY_DIR) + "/bin/quillmark";

class QuillmarkLtv : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    services_ = new RevocationServices();
    std::string why;
    ASSERT_TRUE(services_->Start(&why)) << why;
    const char* names[] = {"ana", "rosa", "ciro", "dora", "eva"};
    for (int i = 0; i < 5; ++i)
      MakePkcs12(services_->Holder(Person(i)), "clave", Keys().File(std::string(names[i]) + ".p12"));
  }
  static void TearDownTestSuite() {
    delete services_;
    services_ = nullptr;
  }
  static TempDir& Keys() {
    static TempDir keys;
    return keys;
  }

  void SetUp() override {
    ASSERT_EQ(RunCommand("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -o " +
                         Quote(work_.File("doc.pdf")) + " -c showpage")
                  .status,
              0);
  }

  CommandResult Run(const std::string& arguments) {
    return RunCommand("cd " + Quote(work_.path()) + " && QM_PASSWORD=clave " + Quote(kProgram) + " " +
                      arguments);
  }
  std::string Tsa() const { return " --tsa " + Quote(services_->Tsa().Url()); }
  static std::string Pkcs12(const std::string& name) {
    return " --pkcs12 " + Quote(Keys().File(name + ".p12")) + " --password-env QM_PASSWORD";
  }
  std::vector<std::string> WorkFiles() {
    std::vector<std::string> names = work_.Entries();
    std::sort(names.begin(), names.end());
    return names;
  }
  // ExpectValidInPdfsig wants every CMS signature valid in pdfsig. pdfsig 22.12 lists document
  // time stamps but cannot check them ("Unable to validate this type of signature"); openssl ts
  // checks those instead.
  void ExpectValidInPdfsig(const std::string& name, int signatures, int stamps = 0) {
    const CommandResult r = RunCommand("pdfsig " + Quote(work_.File(name)));
    EXPECT_EQ(Count(r.output, "Signature Validation: Signature is Valid."), signatures) << r.output;
    EXPECT_EQ(Count(r.output, "\nSignature #"), signatures + stamps) << r.output;
  }

  // ExpectLongTerm checks a B-LT or B-LTA file with tools of others: its CMS signatures in
  // pdfsig, every embedded OCSP answer
  // in openssl, a /VRI entry under every signature's key, and each document time stamp in
  // openssl ts over its own byte ranges.
  void ExpectLongTerm(const std::string& name, int signatures, int documentTimestamps) {
    SCOPED_TRACE(name);
    ExpectValidInPdfsig(name, signatures, documentTimestamps);
    EXPECT_EQ(RunCommand("qpdf --check " + Quote(work_.File(name))).status, 0);
    PdfScan scan;
    ASSERT_EQ(scan.Open(work_.File(name)), ScanStatus::Ok);
    const SecurityStore store = ReadSecurityStore(&scan, scan.catalog());
    EXPECT_FALSE(store.certificates.empty());
    EXPECT_FALSE(store.ocsps.empty());
    EXPECT_FALSE(store.crls.empty());  // the time-stamp authority is checked by list
    for (const StoredItem& ocsp : store.ocsps) {
      WriteFileBytes(work_.File("ocsp.der"), ocsp.der);
      const CommandResult r = RunCommand("openssl ocsp -respin " + Quote(work_.File("ocsp.der")) +
                                         " -CAfile " + Quote(services_->Root().certPem));
      EXPECT_NE(r.output.find("Response verify OK"), std::string::npos) << r.output;
    }
    std::vector<PdfSignature> found;
    std::string why;
    ASSERT_TRUE(ReadSignatures(work_.File(name), &found, &why)) << why;
    int stamps = 0;
    const std::string file = ToText(ReadFileBytes(work_.File(name)));
    for (const PdfSignature& signature : found) {
      const bool stamp = signature.subFilter == "/ETSI.RFC3161";
      // Only an archive stamp that ends the file may be missing from the store.
      if (!stamp || &signature != &found.back()) {
        const Sha1Digest key = Sha1(signature.contents.data(), signature.contents.size());
        EXPECT_NE(store.vri.find("/" + HexEncode(key.data(), key.size())), std::string::npos)
            << signature.fieldName;
      }
      if (!stamp) continue;
      ++stamps;
      const auto& range = signature.byteRange;
      WriteFileText(work_.File("ranges.bin"), file.substr(size_t(range[0]), size_t(range[1])) +
                                                  file.substr(size_t(range[2]), size_t(range[3])));
      WriteFileBytes(work_.File("token.der"), signature.contents);
      const CommandResult r =
          RunCommand("openssl ts -verify -token_in -in " + Quote(work_.File("token.der")) + " -data " +
                     Quote(work_.File("ranges.bin")) + " -CAfile " + Quote(services_->TsaRoot().certPem));
      EXPECT_NE(r.output.find("Verification: OK"), std::string::npos) << r.output;
    }
    EXPECT_EQ(stamps, documentTimestamps);
  }

  // Level is what quillmark verify --json says of one signature, with both roots trusted.
  std::string Level(const std::string& name, size_t signature) {
    const CommandResult r = Run("verify " + name + " --json --trust " + Quote(services_->TrustBundle()));
    std::vector<std::string> levels;
    for (size_t at = r.output.find("\"level\":\""); at != std::string::npos;
         at = r.output.find("\"level\":\"", at + 1))
      levels.push_back(r.output.substr(at + 9, r.output.find('"', at + 9) - at - 9));
    return signature < levels.size() ? levels[signature] : "(" + r.output + ")";
  }

  static RevocationServices* services_;
  ScopedEnv noProxy_{"no_proxy", "127.0.0.1,localhost"};
  TempDir work_;
};

RevocationServices* QuillmarkLtv::services_ = nullptr;

TEST_F(QuillmarkLtv, SignsAtTheLongTermLevels) {
  CommandResult r = Run("sign doc.pdf --out lt.pdf --level b-lt" + Tsa() + Pkcs12("ana"));
  ASSERT_EQ(r.status, 0) << r.output;
  ExpectLongTerm("lt.pdf", 1, 0);
  r = Run("sign doc.pdf --out lta.pdf --level B-LTA" + Tsa() + Pkcs12("ana"));
  ASSERT_EQ(r.status, 0) << r.output;
  ExpectLongTerm("lta.pdf", 1, 1);
  ASSERT_EQ(Run("sign doc.pdf --out t.pdf" + Tsa() + Pkcs12("ana")).status, 0);
  ASSERT_EQ(Run("sign doc.pdf --out b.pdf" + Pkcs12("ana")).status, 0);
  // Read back offline: each level as far as the document's own data takes it.
  EXPECT_EQ(Level("b.pdf", 0), "B-B");
  EXPECT_EQ(Level("t.pdf", 0), "B-T");
  EXPECT_EQ(Level("lt.pdf", 0), "B-LT");
  EXPECT_EQ(Level("lta.pdf", 0), "B-LTA");
  EXPECT_EQ(Level("lta.pdf", 1), "");  // the archive stamp itself
  r = Run("verify lta.pdf --trust " + Quote(services_->TrustBundle()));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("perfil: PAdES B-T · nivel: PAdES B-LTA"), std::string::npos) << r.output;
  // An archive stamp whose signature value was altered is checked like any signature: broken,
  // it proves nothing, and the signature under it is back at B-LT.
  std::string bytes = ToText(ReadFileBytes(work_.File("lta.pdf")));
  size_t at = bytes.find_last_not_of('0', bytes.find('>', bytes.rfind("/Contents <")) - 1) - 4;
  bytes[at] = bytes[at] == '0' ? '1' : '0';
  WriteFileText(work_.File("lta-rota.pdf"), bytes);
  r = Run("verify lta-rota.pdf --json --trust " + Quote(services_->TrustBundle()));
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("\"level\":\"B-LT\""), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("\"integrity\":{\"status\":\"broken\""), std::string::npos) << r.output;

  struct Case {
    std::string arguments, message;
  } usage[] = {
      {"sign doc.pdf --level b-lt" + Pkcs12("ana"), "--level b-lt necesita --tsa URL."},
      {"sign doc.pdf --level b-b" + Tsa() + Pkcs12("ana"), "--level b-b es una firma sin sello de tiempo"},
      {"sign doc.pdf --level b-x" + Tsa() + Pkcs12("ana"), "--level admite b-b, b-t, b-lt o b-lta."},
      {"extend lt.pdf --level b-t" + Tsa(), "extend necesita --level b-lt o --level b-lta."},
      {"extend lt.pdf --level b-lta", "extend necesita --tsa URL"},
  };
  for (const Case& c : usage) {
    SCOPED_TRACE(c.arguments);
    r = Run(c.arguments);
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
  }
}

TEST_F(QuillmarkLtv, FaultsExitOneAndWriteNothing) {
  struct Case {
    std::string who;
    std::string message;
  } cases[] = {
      {"rosa", "el certificado de Rosa Revocada fue revocado el " + services_->RevokedAt() + "."},
      {"ciro", "/error/ocsp) respondio con el estado HTTP 500."},
      {"dora",
       "sobre el certificado de Dora Falsa no es valida: la firmo Respondedor ajeno, que no es un "
       "respondedor "
       "autorizado por Quillmark Raiz LTV."},
      {"eva", "la lista de revocacion (http://127.0.0.1:9/ca.crl) no respondio: "},
  };
  const std::vector<std::string> before = WorkFiles();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.who);
    for (const char* level : {"b-lt", "b-lta"}) {
      const CommandResult r =
          Run("sign doc.pdf --out firmado.pdf --level " + std::string(level) + Tsa() + Pkcs12(c.who));
      EXPECT_EQ(r.status, 1) << r.output;
      EXPECT_NE(r.output.find("quillmark: "), std::string::npos) << r.output;
      EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
      EXPECT_EQ(WorkFiles(), before);
    }
  }
}

TEST_F(QuillmarkLtv, ExtendsAnotherSignersDocumentAndRenewsItsArchiveStamp) {
  // A signature made by another program (NSS through pdfsig), without a time stamp.
  const std::string nss = work_.File("nss");
  const TestIdentity& ana = services_->Holder(Person::Good);
  CommandResult r = RunCommand("openssl pkcs12 -export -name ana -inkey " + Quote(ana.keyPem) + " -in " +
                               Quote(ana.certPem) + " -passout pass:clave -out " +
                               Quote(work_.File("nss.p12")) + " && mkdir " + Quote(nss) +
                               " && certutil -N -d sql:" + Quote(nss) + " --empty-password && pk12util -i " +
                               Quote(work_.File("nss.p12")) + " -d sql:" + Quote(nss) + " -W clave");
  ASSERT_EQ(r.status, 0) << r.output;
  r = RunCommand("pdfsig -add-signature -nssdir sql:" + Quote(nss) + " -nick ana " +
                 Quote(work_.File("doc.pdf")) + " " + Quote(work_.File("ajeno.pdf")));
  ASSERT_EQ(r.status, 0) << r.output;
  ExpectValidInPdfsig("ajeno.pdf", 1);

  r = Run("extend ajeno.pdf --out lta.pdf --level b-lta" + Tsa());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("Ampliado a PAdES B-LTA: lta.pdf  ("), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Nota: se anadio primero un sello de tiempo del documento"), std::string::npos)
      << r.output;
  // The first signature, a document time stamp that dates it, the store, and the archive stamp.
  ExpectLongTerm("lta.pdf", 1, 2);
  EXPECT_EQ(Level("ajeno.pdf", 0), "B-B");
  EXPECT_EQ(Level("lta.pdf", 0), "B-LTA");

  // Run again, in place, it renews the archive stamp: the signer's status proven after the
  // first stamp is used again, only the last stamp's authority is looked up anew.
  const int asked = services_->OcspRequests();
  r = Run("extend lta.pdf --level b-lta" + Tsa());
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output.find("Nota:"), std::string::npos) << r.output;
  EXPECT_EQ(services_->OcspRequests(), asked);
  ExpectLongTerm("lta.pdf", 1, 3);

  // B-LT on a signature without a time stamp dates it first too; nothing is written when the
  // document has no signature.
  r = Run("extend ajeno.pdf --out lt.pdf --level b-lt" + Tsa());
  ASSERT_EQ(r.status, 0) << r.output;
  ExpectLongTerm("lt.pdf", 1, 1);
  EXPECT_EQ(Level("lt.pdf", 0), "B-LT");
  r = Run("extend doc.pdf --out nada.pdf --level b-lt" + Tsa());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("el documento no contiene firmas que ampliar."), std::string::npos) << r.output;
  EXPECT_FALSE(FileExists(work_.File("nada.pdf")));
}

// A signer whose certificate the document's own data shows revoked before its time stamp is not
// trusted, with the date; verify fetches nothing to find out.
TEST_F(QuillmarkLtv, VerifyFindsARevocationInTheDocumentsOwnData) {
  CommandResult r = Run("sign doc.pdf --out rosa.pdf --level b-t" + Tsa() + Pkcs12("rosa"));
  ASSERT_EQ(r.status, 0) << r.output;
  const TestIdentity& rosa = services_->Holder(Person::Revoked);
  r = RunCommand("openssl ocsp -issuer " + Quote(services_->Root().certPem) + " -cert " +
                 Quote(rosa.certPem) + " -url " + services_->OcspUrl() + " -respout " +
                 Quote(work_.File("rosa.ocsp")));
  ASSERT_NE(r.output.find(": revoked"), std::string::npos) << r.output;
  // An answer the authority signed before it knew of the revocation, stored first, does not
  // outweigh the one that shows it.
  const std::string serial = RunCommand("openssl x509 -noout -serial -in " + Quote(rosa.certPem)).output;
  WriteFileText(work_.File("index.txt"), "V\t491231235959Z\t\t" + serial.substr(7, serial.size() - 8) +
                                             "\tunknown\t/CN=Rosa Revocada\n");
  const std::string root = Quote(services_->Root().certPem);
  r = RunCommand("cd " + Quote(work_.path()) + " && openssl ocsp -no_nonce -issuer " + root + " -cert " +
                 Quote(rosa.certPem) + " -reqout q.der && openssl ocsp -index index.txt -CA " + root +
                 " -rsigner " + root + " -rkey " + Quote(services_->Root().keyPem) +
                 " -reqin q.der -respout good.ocsp");
  ASSERT_EQ(r.status, 0) << r.output;

  // The answer goes into the store as any producer of long-term signatures would put it there.
  PdfScan scan;
  ASSERT_EQ(scan.Open(work_.File("rosa.pdf")), ScanStatus::Ok);
  UpdateChain chain(&scan);
  ValidationData data;
  data.certificates = {rosa.certDer, services_->Root().certDer};
  data.ocsps = {ReadFileBytes(work_.File("good.ocsp")), ReadFileBytes(work_.File("rosa.ocsp"))};
  data.entries.push_back({"00", {0, 1}, {0, 1}, {}});
  std::string error;
  ASSERT_TRUE(AppendSecurityStore(&chain, SecurityStore(), data, &error)) << error;
  ASSERT_EQ(WriteChecked(work_.File("rosa-lt.pdf"), &scan.file(), scan.length(), chain.Tail(), nullptr),
            WriteStatus::Written);

  const std::string trust = " --trust " + Quote(services_->TrustBundle());
  const int before = services_->OcspRequests();
  r = Run("verify rosa-lt.pdf --json" + trust);
  EXPECT_EQ(r.status, 3) << r.output;
  EXPECT_NE(r.output.find("\"trust\":{\"status\":\"revoked\""), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("el certificado de Rosa Revocada fue revocado el " + services_->RevokedAt()),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("\"level\":\"B-T\""), std::string::npos) << r.output;
  EXPECT_EQ(services_->OcspRequests(), before);
  // Extending it stops at the same answer, and writes nothing.
  r = Run("extend rosa-lt.pdf --out rosa-lta.pdf --level b-lta" + Tsa());
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_NE(r.output.find("Rosa Revocada fue revocado el " + services_->RevokedAt()), std::string::npos)
      << r.output;
  EXPECT_FALSE(FileExists(work_.File("rosa-lta.pdf")));
  // Without the answer in the document nothing says so.
  r = Run("verify rosa.pdf --json" + trust);
  EXPECT_EQ(r.status, 0) << r.output;
}

}  // namespace
