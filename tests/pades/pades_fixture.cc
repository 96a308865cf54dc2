#include "tests/pades/pades_fixture.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <zlib.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include <gtest/gtest.h>

#include "core/der.h"
#include "core/text.h"
#include "pades/verify.h"

using testing_support::Quote;
using testing_support::RunCommand;

namespace pades_test {

void PdfBuilder::Object(int number, const std::string& body, unsigned generation) {
  offsets_.push_back({number, text_.size()});
  if (generation) generations_[number] = generation;
  text_ += std::to_string(number) + " " + std::to_string(generation) + " obj\n" + body + "\nendobj\n";
}

std::string PdfBuilder::Finish(const std::string& trailerExtra, bool finalNewline, int size) {
  std::sort(offsets_.begin(), offsets_.end());
  int highest = offsets_.empty() ? 0 : offsets_.back().first;
  size_t xref = text_.size();
  text_ += "xref\n0 " + std::to_string(highest + 1) + "\n0000000000 65535 f \n";
  size_t next = 0;
  char line[32];
  for (int n = 1; n <= highest; ++n) {
    if (next < offsets_.size() && offsets_[next].first == n) {
      std::snprintf(line, sizeof line, "%010zu %05u n \n", offsets_[next].second, generations_[n]);
      ++next;
    } else {
      std::snprintf(line, sizeof line, "%010d 65535 f \n", 0);
    }
    text_ += line;
  }
  text_ += "trailer\n<< /Size " + std::to_string(size >= 0 ? size : highest + 1) + " /Root 1 0 R" +
           trailerExtra + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF";
  if (finalNewline) text_ += "\n";
  return text_;
}

std::string SimpleDocument(int pages, const std::string& catalogExtra, const std::string& pageExtra) {
  PdfBuilder pdf;
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R" + catalogExtra + " >>");
  std::string kids;
  for (int i = 0; i < pages; ++i) kids += (i ? " " : "") + std::to_string(3 + 2 * i) + " 0 R";
  pdf.Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
  for (int i = 0; i < pages; ++i) {
    int page = 3 + 2 * i;
    std::string content = "BT /F1 18 Tf 72 720 Td (Pagina " + std::to_string(i + 1) + ") Tj ET";
    pdf.Object(page,
               "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 << /Type "
               "/Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> /Contents " +
                   std::to_string(page + 1) + " 0 R" + pageExtra + " >>");
    pdf.Object(page + 1,
               "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
  }
  return pdf.Finish();
}

std::string OnePassDocument(int pages) {
  PdfBuilder pdf("%PDF-1.4\n%\xAA\xAB\xAC\xAD\n");
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  std::string kids;
  for (int i = 0; i < pages; ++i) kids += std::to_string(3 + 3 * i) + " 0 R ";
  pdf.Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
  for (int i = 0; i < pages; ++i) {
    const int page = 3 + 3 * i;
    std::string content = "BT /F1 11 Tf 72 770 Td 14 TL";
    for (int line = 0; line < 8; ++line)
      content += " (Pagina " + std::to_string(i + 1) + ", linea " + std::to_string(line + 1) + ") '";
    content += " ET\n";
    pdf.Object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 << "
                     "/Type /Font /Subtype /Type1 /BaseFont /Times-Roman >> >> >> /Contents " +
                         std::to_string(page + 1) + " 0 R >>");
    pdf.Object(page + 1, "<< /Length " + std::to_string(page + 2) + " 0 R >>\nstream\n" + content + "endstream");
    pdf.Object(page + 2, std::to_string(content.size()));
  }
  return pdf.Finish();
}

std::string DeepTreeDocument(int levels) {
  PdfBuilder pdf;
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  for (int level = 0; level < levels; ++level) {
    const int node = 2 + level;
    pdf.Object(node, "<< /Type /Pages /Kids [" + std::to_string(node + 1) + " 0 R] /Count 1" +
                         (level ? " /Parent " + std::to_string(node - 1) + " 0 R" : "") + " >>");
  }
  const int page = 2 + levels;
  const std::string content = "0.2 0.4 0.8 rg 100 400 300 200 re f\n";
  pdf.Object(page, "<< /Type /Page /Parent " + std::to_string(page - 1) +
                       " 0 R /MediaBox [0 0 595 842] /Contents " + std::to_string(page + 1) + " 0 R >>");
  pdf.Object(page + 1,
             "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream");
  return pdf.Finish();
}

std::string UndecoratedFormDocument() {
  PdfBuilder pdf("%PDF-1.6\n");
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [5 0 R] /NeedAppearances true >> >>");
  pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Annots [5 0 R] >>");
  const std::string clock =
      "0.2 0.2 0.6 RG 4 w 297 500 m 397 500 l 397 600 l 297 600 l h S 347 550 m 347 590 l S 347 550 m 377 "
      "550 l S\n";
  pdf.Object(4, "<< /Length " + std::to_string(clock.size()) + " >>\nstream\n" + clock + "endstream");
  pdf.Object(5,
             "<< /Type /Annot /Subtype /Widget /FT /Btn /T (reloj) /V /On /AS /On /Rect [297 500 397 600] /F 4 "
             "/P 3 0 R /MK << /CA (4) >> /AP << /N << /On 6 0 R /Off 7 0 R >> >> >>");
  const std::string on = "0 0.5 0 rg 40 40 20 20 re f\n";
  pdf.Object(6, "<< /Type /XObject /Subtype /Form /BBox [0 0 100 100] /Length " + std::to_string(on.size()) +
                    " >>\nstream\n" + on + "endstream");
  pdf.Object(7, "<< /Type /XObject /Subtype /Form /BBox [0 0 100 100] /Length 0 >>\nstream\n\nendstream");
  return pdf.Finish();
}

namespace {

// Raster is page 1 of a file rendered at 72 dpi, three bytes a pixel.
struct Raster {
  int width = 0, height = 0;
  std::string rgb;
};

// RenderFirstPage writes `root`.ppm.
Raster RenderFirstPage(const std::string& tool, const std::string& pdf, const std::string& root) {
  const std::string ppm = root + ".ppm";
  const std::string command = tool == "pdftoppm"
                                  ? "pdftoppm -r 72 -f 1 -l 1 -singlefile " + Quote(pdf) + " " + Quote(root)
                                  : "mutool draw -q -r 72 -o " + Quote(ppm) + " " + Quote(pdf) + " 1";
  Raster raster;
  auto run = RunCommand(command);
  EXPECT_EQ(run.status, 0) << command << "\n" << run.output;
  const Bytes file = testing_support::ReadFileBytes(ppm);
  const std::string text(file.begin(), file.end());
  int maxval = 0, header = 0;
  if (std::sscanf(text.c_str(), "P6 %d %d %d%n", &raster.width, &raster.height, &maxval, &header) != 3 ||
      maxval != 255 || text.size() < size_t(header) + 1 + size_t(raster.width) * raster.height * 3) {
    ADD_FAILURE() << command << ": no PPM";
    return {};
  }
  raster.rgb = text.substr(size_t(header) + 1);
  return raster;
}

}  // namespace

void ExpectOnlyStampChanged(const std::string& input, const std::string& signedCopy, const std::string& field) {
  const Bytes file = testing_support::ReadFileBytes(signedCopy);
  const std::string text(file.begin(), file.end());
  const size_t at = text.find("/T (" + field + ") /Rect [");
  ASSERT_NE(at, std::string::npos) << field;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  ASSERT_EQ(std::sscanf(text.c_str() + text.find('[', at) + 1, "%lf %lf %lf %lf", &x1, &y1, &x2, &y2), 4);
  testing_support::TempDir work;
  for (const std::string tool : {"pdftoppm", "mutool"}) {
    SCOPED_TRACE(tool);
    const Raster before = RenderFirstPage(tool, input, work.File("before"));
    const Raster after = RenderFirstPage(tool, signedCopy, work.File("after"));
    ASSERT_FALSE(before.rgb.empty());
    ASSERT_EQ(before.width, after.width);
    ASSERT_EQ(before.height, after.height);
    // At 72 dpi a pixel is a point; rows count down from the page's top. One pixel of margin
    // takes the anti-aliased edge.
    int inside = 0, outside = 0;
    for (int y = 0; y < before.height; ++y) {
      for (int x = 0; x < before.width; ++x) {
        const size_t p = (size_t(y) * before.width + x) * 3;
        if (before.rgb.compare(p, 3, after.rgb, p, 3) == 0) continue;
        const double top = before.height - y, bottom = top - 1;
        const bool in = x + 1 >= x1 - 1 && x <= x2 + 1 && top >= y1 - 1 && bottom <= y2 + 1;
        ++(in ? inside : outside);
      }
    }
    EXPECT_EQ(outside, 0) << "pixels changed outside the stamp";
    EXPECT_GT(inside, 0) << "the stamp is not drawn";
  }
}

namespace {

std::string Deflate(const std::string& data) {
  uLongf size = compressBound(uLong(data.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                uLong(data.size()), 9) != Z_OK)
    throw std::runtime_error("compress2");
  out.resize(size);
  return out;
}

std::string StreamObject(int number, const std::string& dict, const std::string& data, bool flate,
                         const std::string& encoded = "") {
  const std::string bytes = !encoded.empty() ? encoded : flate ? Deflate(data) : data;
  return std::to_string(number) + " 0 obj\n<< " + dict + (flate ? " /Filter /FlateDecode" : "") +
         " /Length " + std::to_string(bytes.size()) + " >>\nstream\n" + bytes + "\nendstream\nendobj\n";
}

}  // namespace

std::string ModernDocument(const std::vector<std::string>& objects, const ModernLayout& layout) {
  const int count = int(objects.size());
  const int objstm = count + 1, xrefNumber = count + 2;
  std::string out = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
  std::map<int, uint64_t> offsets;
  std::map<int, int> places;
  std::string header, body;
  for (int n = 1; n <= count; ++n) {
    const std::string& text = objects[size_t(n - 1)];
    const bool inStream =
        std::find(layout.compressed.begin(), layout.compressed.end(), n) != layout.compressed.end();
    if (inStream) {
      header += std::to_string(n) + " " + std::to_string(body.size()) + " ";
      places[n] = int(places.size());
      body += text + "\n";
      continue;
    }
    auto gen = layout.generations.find(n);
    offsets[n] = out.size();
    out += std::to_string(n) + " " + std::to_string(gen == layout.generations.end() ? 0 : gen->second) +
           " obj\n" + text + "\nendobj\n";
  }
  if (!places.empty()) {
    offsets[objstm] = out.size();
    out += StreamObject(
        objstm,
        "/Type /ObjStm /N " + std::to_string(places.size()) + " /First " + std::to_string(header.size()),
        header + body, layout.flate || !layout.objectStreamData.empty(), layout.objectStreamData);
  }
  // Rows of type (1 byte), offset or stream (4), generation or index (2).
  auto row = [](int type, uint64_t second, int third) {
    const unsigned char r[7] = {uint8_t(type),        uint8_t(second >> 24), uint8_t(second >> 16),
                                uint8_t(second >> 8), uint8_t(second),       uint8_t(third >> 8),
                                uint8_t(third)};
    return std::string(reinterpret_cast<const char*>(r), 7);
  };
  auto generation = [&](int n) {
    auto gen = layout.generations.find(n);
    return gen == layout.generations.end() ? 0 : gen->second;
  };
  std::string rows;
  for (int n = 0; n <= xrefNumber; ++n) {
    if (n == 0) {
      rows += row(0, 0, 65535);
    } else if (places.count(n)) {
      rows += row(2, uint64_t(objstm), places[n]);
    } else if (layout.hybrid || n == xrefNumber || !offsets.count(n)) {
      rows += row(0, 0, 0);  // listed by the classic table, or unused
    } else {
      rows += row(1, offsets[n], generation(n));
    }
  }
  const uint64_t xrefStream = out.size();
  if (!layout.hybrid) rows.replace(size_t(xrefNumber) * 7, 7, row(1, xrefStream, 0));
  std::string data = rows, parms;
  if (layout.predictor) {  // PNG Up: each row is its difference from the row above
    data.clear();
    for (size_t at = 0; at < rows.size(); at += 7) {
      data += '\x02';
      for (size_t i = 0; i < 7; ++i)
        data += char(uint8_t(rows[at + i]) - (at ? uint8_t(rows[at - 7 + i]) : 0));
    }
    parms = " /DecodeParms << /Predictor 12 /Columns 7 >>";
  }
  const std::string size = std::to_string(xrefNumber + 1);
  const std::string root = "/Root 1 " + std::to_string(generation(1)) + " R";
  out += StreamObject(xrefNumber, "/Type /XRef /Size " + size + " " + root + " /W [1 4 2]" + parms, data,
                      layout.flate || layout.predictor);
  if (!layout.hybrid) return out + "startxref\n" + std::to_string(xrefStream) + "\n%%EOF\n";

  // Hybrid: the classic table lists the plain objects and points at the stream for the others.
  const uint64_t table = out.size();
  out += "xref\n0 1\n0000000000 65535 f \n";
  char line[40];
  for (const auto& [n, at] : offsets) {
    std::snprintf(line, sizeof line, "%d 1\n%010llu %05d n \n", n, (unsigned long long)at, generation(n));
    out += line;
  }
  return out + "trailer\n<< /Size " + size + " " + root + " /XRefStm " + std::to_string(xrefStream) +
         " >>\nstartxref\n" + std::to_string(table) + "\n%%EOF\n";
}

KeySigner::KeySigner(const std::string& keyPem) {
  FILE* f = std::fopen(keyPem.c_str(), "rb");
  if (!f) throw std::runtime_error("cannot open " + keyPem);
  key_ = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
  std::fclose(f);
  if (!key_) throw std::runtime_error("cannot read " + keyPem);
}

KeySigner::~KeySigner() {
  EVP_PKEY_free(static_cast<EVP_PKEY*>(key_));
}

Bytes KeySigner::Sign(const Bytes& data) const {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  size_t len = 0;
  if (EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, static_cast<EVP_PKEY*>(key_)) != 1 ||
      EVP_DigestSign(ctx.get(), nullptr, &len, data.data(), data.size()) != 1)
    return {};
  Bytes signature(len);
  if (EVP_DigestSign(ctx.get(), signature.data(), &len, data.data(), data.size()) != 1) return {};
  signature.resize(len);
  return signature;
}

SigningCallback KeySigner::Callback(const std::string& note) const {
  return [this, note](const Bytes& data, std::string* out) {
    *out = note;
    return Sign(data);
  };
}

namespace {

// Every test runs in a process of its own; the CA and signer keys are made once per build
// folder (renamed into place whole, so concurrent test processes never see half of them) and
// reused, which keeps RSA key generation out of each test's time.
std::string SharedPkiFolder() {
  const std::string folder = std::string(VY_BINARY_DIR) + "/tests/pades/pki";
  if (testing_support::FileExists(folder + "/firmante.crt.der")) return folder;
  const std::string fresh = folder + ".tmp" + std::to_string(::getpid());
  std::filesystem::create_directories(fresh);
  testing_support::TestPki maker(fresh);
  auto ca = maker.MakeCa("CA Pruebas Quillmark");
  maker.MakeLeaf(ca, "firmante", "/C=PE/O=Pruebas/CN=Juana Quispe Mamani");
  std::error_code error;
  std::filesystem::rename(fresh, folder, error);
  if (error) std::filesystem::remove_all(fresh, error);  // another process got there first
  return folder;
}

testing_support::TestIdentity Load(const std::string& folder, const std::string& name) {
  testing_support::TestIdentity id;
  id.keyPem = folder + "/" + name + ".key.pem";
  id.certPem = folder + "/" + name + ".crt.pem";
  id.certDer = testing_support::ReadFileBytes(folder + "/" + name + ".crt.der");
  return id;
}

struct Environment {
  testing_support::TempDir dir;
  testing_support::TestPki pki{dir.path()};
  std::string shared = SharedPkiFolder();
  testing_support::TestIdentity authority = Load(shared, "CA Pruebas Quillmark");
  Identity signer;
  Environment() {
    signer.id = Load(shared, "firmante");
    if (!ParseCertificateExact(signer.id.certDer, &signer.certificate))
      throw std::runtime_error("bad test cert");
  }
};

Environment& Env() {
  static Environment* env = new Environment();  // lives until exit; the folder goes with the process
  return *env;
}

size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

testing_support::TestPki& Pki() {
  return Env().pki;
}
const Identity& Signer() {
  return Env().signer;
}
const testing_support::TestIdentity& Authority() {
  return Env().authority;
}
const KeySigner& SignerKey() {
  static KeySigner key(Signer().id.keyPem);
  return key;
}

Validation Validate(const std::string& path) {
  Validation v;
  testing_support::TempDir work;
  auto sig = RunCommand("pdfsig -nocert " + Quote(path));
  v.log += "pdfsig:\n" + sig.output;
  v.signatures = int(CountOf(sig.output, "Signature Validation:"));
  v.validSignatures = int(CountOf(sig.output, "Signature is Valid."));
  auto mutool = RunCommand("mutool sign -v " + Quote(path));
  v.log += "mutool:\n" + mutool.output;
  v.mutoolSignatures =
      int(CountOf(mutool.output, "Verifying signature") - CountOf(mutool.output, "Signature is not signed."));
  v.mutoolDigestErrors = int(CountOf(mutool.output, "Digest error"));
  auto check = RunCommand("qpdf --check " + Quote(path));
  v.qpdfStatus = check.status;
  if (check.status != 0) v.log += "qpdf:\n" + check.output;

  const Bytes file = testing_support::ReadFileBytes(path);
  const std::string text(file.begin(), file.end());
  for (size_t at = text.find("/ByteRange ["); at != std::string::npos;
       at = text.find("/ByteRange [", at + 1)) {
    ++v.byteRanges;
    unsigned long long a, b, c, d;
    if (std::sscanf(text.c_str() + at + 12, "%llu %llu %llu %llu", &a, &b, &c, &d) != 4 || a != 0 ||
        c + d > file.size() || b >= c || text[b] != '<' || text[c - 1] != '>') {
      v.log += "bad /ByteRange\n";
      continue;
    }
    Bytes der = HexDecode(text.substr(b + 1, c - b - 2));
    // The hole is padded with zeros after the DER: keep the outer SEQUENCE only.
    size_t cursor = 0;
    DerElement outer;
    // Other signers' BER with indefinite lengths goes to openssl whole, padding and all.
    if (DerReadElement(der.data(), der.size(), &cursor, &outer)) der.resize(outer.end);
    Bytes data(file.begin(), file.begin() + long(b));
    data.insert(data.end(), file.begin() + long(c), file.begin() + long(c + d));
    testing_support::WriteFileBytes(work.File("sig.der"), der);
    testing_support::WriteFileBytes(work.File("data.bin"), data);
    auto cms =
        RunCommand("openssl cms -verify -binary -noverify -inform DER -in " + Quote(work.File("sig.der")) +
                   " -content " + Quote(work.File("data.bin")) + " -out /dev/null");
    if (cms.status == 0) {
      ++v.cmsVerified;
    } else {
      v.log += "openssl cms:\n" + cms.output;
    }
  }
  return v;
}

void ExpectValid(const std::string& path, int signatures) {
  Validation v = Validate(path);
  EXPECT_EQ(v.signatures, signatures) << v.log;
  EXPECT_EQ(v.validSignatures, signatures) << v.log;
  EXPECT_EQ(v.qpdfStatus, 0) << v.log;
  EXPECT_EQ(v.mutoolSignatures, signatures) << v.log;
  EXPECT_EQ(v.mutoolDigestErrors, 0) << v.log;
  EXPECT_EQ(v.byteRanges, signatures) << v.log;
  EXPECT_EQ(v.cmsVerified, signatures) << v.log;
  // Our own verifier agrees: every signature intact, and later revisions only added to it.
  const VerifyReport report = VerifyPdf(path, {});
  EXPECT_EQ(report.error, "");
  EXPECT_EQ(int(report.signatures.size()), signatures);
  for (const SignatureReport& s : report.signatures) {
    EXPECT_EQ(s.integrity, Integrity::Intact) << s.fieldName << ": " << s.integrityDetail;
    std::string refused;
    for (const RevisionChange& change : s.coverage.changes)
      if (!change.allowed) refused += change.what + "; ";
    EXPECT_FALSE(s.coverage.modified) << s.fieldName << ": " << refused;
  }
}

}  // namespace pades_test
