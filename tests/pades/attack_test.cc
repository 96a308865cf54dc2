// The verifier against documents made after the published attack classes on PDF signatures:
// incremental saving, signature wrapping and universal forgery, shadow hide / replace /
// hide-and-replace, evil annotations and sneaky signatures on certified documents, and
// certificate tricks. Each row is one document and its expected verdict; for each document
// called modified, a reader (pdftotext, or mutool where only a repairing reader is fooled)
// must indeed show other text than the signed one, so the row is a real attack.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "core/der.h"
#include "core/text.h"
#include "pades/cms.h"
#include "pades/container.h"
#include "pades/pipeline.h"
#include "pades/verify.h"
#include "pades/tsa.h"
#include "tests/pades/pades_fixture.h"
#include "tests/support/tsa_server.h"

using namespace pades_test;
using testing_support::Quote;
using testing_support::ReadFileBytes;
using testing_support::RunCommand;
using testing_support::TempDir;
using testing_support::TestIdentity;
using testing_support::WriteFileText;

namespace {

const std::string kFont = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";

std::string Stream(const std::string& data, const std::string& extra = "") {
  return "<< /Length " + std::to_string(data.size()) + extra + " >>\nstream\n" + data + "\nendstream";
}
std::string Text(const std::string& words, int y = 720) {
  return Stream("BT /F1 18 Tf 72 " + std::to_string(y) + " Td (" + words + ") Tj ET");
}
std::string Page(const std::string& contents, const std::string& extra = "") {
  return "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 5 0 R >> >> "
         "/Contents " + contents + extra + " >>";
}

uint64_t StartxrefOf(const std::string& file) {
  return std::stoull(file.substr(file.rfind("startxref") + 9));
}
// Where "N 0 obj" is defined last (or first) in the file.
uint64_t OffsetOf(const std::string& file, int number, bool last = true) {
  const std::string header = "\n" + std::to_string(number) + " 0 obj";
  return (last ? file.rfind(header) : file.find(header)) + 1;
}

// BodyOf is the value of the last definition of object `number`, without "N G obj" and endobj.
std::string BodyOf(const std::string& file, int number) {
  const uint64_t at = OffsetOf(file, number);
  const size_t start = file.find("obj", at) + 3, end = file.find("endobj", start);
  std::string body = file.substr(start, end - start);
  return body.substr(body.find_first_not_of(" \r\n"), body.find_last_not_of(" \r\n") - body.find_first_not_of(" \r\n") + 1);
}
// AddKey puts entries into a dictionary body before its closing ">>".
std::string AddKey(const std::string& dict, const std::string& entries) {
  return dict.substr(0, dict.rfind(">>")) + entries + " >>";
}
// AddAnnot appends a reference to a page's inline /Annots array, or gives it one.
std::string AddAnnot(const std::string& page, const std::string& ref) {
  const size_t at = page.find("/Annots [");
  if (at == std::string::npos) return AddKey(page, " /Annots [" + ref + "]");
  std::string out = page;
  return out.insert(page.find(']', at), " " + ref);
}
// NumberWith is the number of the last object whose definition holds `needle`.
int NumberWith(const std::string& file, const std::string& needle) {
  const size_t hit = file.rfind(needle);
  const size_t header = file.rfind(" 0 obj", hit);
  return std::stoi(file.substr(file.rfind('\n', header) + 1));
}
// LastSection lists the entries of the file's last classic section, which lists objects one
// subsection each as the engine writes them.
std::vector<std::pair<int, uint64_t>> LastSection(const std::string& file) {
  std::vector<std::pair<int, uint64_t>> out;
  size_t at = file.rfind("\nxref\n") + 6;
  const size_t end = file.find("trailer", at);
  while (at < end) {
    int number = 0, count = 0;
    unsigned long long offset = 0;
    if (std::sscanf(file.c_str() + at, "%d %d\n%llu", &number, &count, &offset) == 3 && count == 1 && number > 0)
      out.push_back({number, offset});
    at = file.find('\n', file.find('\n', at) + 1) + 1;
  }
  return out;
}

// Update is an incremental update an attacker appends: new definitions, entries that point at
// bytes already in the file, and the trailer's /Root and /Prev.
struct Update {
  std::vector<std::pair<int, std::string>> objects;
  std::vector<std::pair<int, uint64_t>> relist;  // number -> offset of an existing definition
  std::vector<int> freed;
  int root = 1;
  std::optional<uint64_t> prev;  // default: the file's own startxref
  bool stream = false;           // a cross-reference stream instead of a table
  std::string generation = "0";
};

Update Define(std::vector<std::pair<int, std::string>> objects) {
  Update u;
  u.objects = std::move(objects);
  return u;
}

std::string Revise(const std::string& file, const Update& u) {
  std::string out = file;
  std::map<int, std::pair<uint64_t, bool>> entries;  // number -> offset, in use
  for (const auto& [number, body] : u.objects) {
    entries[number] = {out.size(), true};
    out += std::to_string(number) + " " + u.generation + " obj\n" + body + "\nendobj\n";
  }
  for (const auto& [number, offset] : u.relist) entries[number] = {offset, true};
  for (int number : u.freed) entries[number] = {0, false};
  const uint64_t prev = u.prev ? *u.prev : StartxrefOf(file);
  const uint64_t at = out.size();
  if (!u.stream) {
    out += "xref\n";
    char line[64];
    for (const auto& [number, entry] : entries) {
      std::snprintf(line, sizeof line, "%d 1\n%010llu %05d %c \n", number, (unsigned long long)entry.first,
                    entry.second ? std::stoi(u.generation) : 1, entry.second ? 'n' : 'f');
      out += line;
    }
    out += "trailer\n<< /Size 200 /Root " + std::to_string(u.root) + " 0 R /Prev " + std::to_string(prev) + " >>\n";
  } else {
    entries[199] = {at, true};
    std::string data, index;
    for (const auto& [number, entry] : entries) {
      index += std::to_string(number) + " 1 ";
      const uint8_t row[7] = {uint8_t(entry.second ? 1 : 0), uint8_t(entry.first >> 24), uint8_t(entry.first >> 16),
                              uint8_t(entry.first >> 8), uint8_t(entry.first), 0, 0};
      data.append(reinterpret_cast<const char*>(row), 7);
    }
    out += "199 0 obj\n<< /Type /XRef /Size 200 /Root " + std::to_string(u.root) + " 0 R /Prev " +
           std::to_string(prev) + " /W [1 4 2] /Index [" + index + "] /Length " + std::to_string(data.size()) +
           " >>\nstream\n" + data + "\nendstream\nendobj\n";
  }
  return out + "startxref\n" + std::to_string(at) + "\n%%EOF\n";
}

// OurSignature signs with the engine (invisible or with its stamp on page 1).
std::string OurSignature(const TempDir& dir, const std::string& input, bool stamp = false) {
  WriteFileText(dir.File("in.pdf"), input);
  SignResult r = SignPdfAt(dir.File("in.pdf"), dir.File("out.pdf"), Signer().certificate, 8192,
                           SignerKey().Callback(), {"Juana", "Lima", "Prueba"},
                           {stamp ? StampMode::FirstPage : StampMode::None, ""}, kSigningTime);
  EXPECT_TRUE(r.isSigned) << r.error;
  return ToText(ReadFileBytes(dir.File("out.pdf")));
}

// HandSignature is a signature built here rather than by the engine, for the shapes it never
// writes: certifications, field locks, other certificates, a ByteRange that stops short.
struct HandSignature {
  std::string catalog = "<< /Type /Catalog /Pages 2 0 R";  // without its closing ">>"
  std::string page = Page("4 0 R");                         // page 3 as it stands
  int field = 30;                                           // field 30, dictionary 31
  std::string dictExtra, catalogExtra, fieldExtra, fieldsBefore;
  std::string rect = "[0 0 0 0]";
  const TestIdentity* identity = nullptr;  // default: the fixture's signer
  std::vector<Bytes> certificatesFirst;    // carried in front of the signer's
  bool short_ = false;                      // the range stops before the revision's "startxref"
};

Bytes SignedDataWith(const Bytes& cert, const SignerKeyInfo& key, const Bytes& attributes, const Bytes& signature,
                     const std::vector<Bytes>& first) {
  const Bytes cms = BuildSignedData(cert, key, attributes, signature);
  if (first.empty()) return cms;
  // The certificates [0] of SignedData begin with the signer's; the others go in front of it,
  // and the four enclosing lengths (ContentInfo, [0], SignedData, certificates), all in the
  // two-byte form here, grow by as much.
  std::string hex = HexEncode(cms);
  const size_t at = hex.find(HexEncode(cert));
  Bytes extra;
  for (const Bytes& c : first) Append(&extra, c);
  hex.insert(at, HexEncode(extra));
  const size_t content = hex.find("A082", 4), signedData = hex.find("3082", content);
  for (size_t header : {size_t(0), content, signedData, at - 8}) {
    char text[8];
    std::snprintf(text, sizeof text, "%04zX", std::stoul(hex.substr(header + 4, 4), nullptr, 16) + extra.size());
    hex.replace(header + 4, 4, text);
  }
  return HexDecode(hex);
}

std::string Sign(const std::string& input, const HandSignature& h) {
  const int field = h.field, dict = h.field + 1;
  Update u;
  u.objects = {{1, h.catalog + " /AcroForm << /Fields [" + h.fieldsBefore + std::to_string(field) +
                       " 0 R] /SigFlags 3 >>" + h.catalogExtra + " >>"},
               {3, AddAnnot(h.page, std::to_string(field) + " 0 R")},
               {field, "<< /Type /Annot /Subtype /Widget /FT /Sig /T (Firma" + std::to_string(field) + ") /Rect " +
                           h.rect + " /F 4 /P 3 0 R /V " + std::to_string(dict) + " 0 R" + h.fieldExtra + " >>"},
               {dict, "<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /ETSI.CAdES.detached /M (D:20261206101500Z)" +
                          h.dictExtra + " /ByteRange [0000000000 0000000000 0000000000 0000000000] /Contents <" +
                          std::string(16384, '0') + "> >>"}};
  std::string file = Revise(input, u);
  const size_t open = file.rfind("/Contents <") + 10, close = open + 16385;
  const uint64_t end = h.short_ ? file.rfind("startxref") : file.size();
  const std::string range = ByteRangeText(open, close, end);
  file.replace(file.rfind("/ByteRange [") + 12, range.size(), range);
  const TestIdentity& id = h.identity ? *h.identity : Signer().id;
  const Bytes cert = id.certDer;
  const SignerKeyInfo key = *ExtractSignerKeyInfo(cert);
  Bytes data(file.begin(), file.begin() + long(open));
  data.insert(data.end(), file.begin() + long(close + 1), file.begin() + long(end));
  const Bytes attributes = BuildSignedAttributes(HashOf(HashKind::Sha256, data), cert, key);
  const Bytes signature = Pki().SignSha256(id, attributes);
  const Bytes cms = SignedDataWith(cert, key, attributes, signature, h.certificatesFirst);
  std::string hex = HexEncode(cms);
  hex.resize(16384, '0');
  file.replace(open + 1, hex.size(), hex);
  return file;
}

enum class Verdict { Valid, Modified, Broken, Untrusted };
const char* Name(Verdict v) {
  return v == Verdict::Valid ? "valida" : v == Verdict::Modified ? "modificado" : v == Verdict::Broken ? "rota" : "no confiable";
}
Verdict Of(const SignatureReport& s) {
  if (s.integrity != Integrity::Intact) return Verdict::Broken;
  if (s.coverage.modified) return Verdict::Modified;
  return s.trust.status == TrustStatus::Trusted ? Verdict::Valid : Verdict::Untrusted;
}

enum class Reader { None, Pdftotext, Mutool };
std::string Shown(const TempDir& dir, const std::string& file, Reader reader) {
  WriteFileText(dir.File("shown.pdf"), file);
  const std::string path = Quote(dir.File("shown.pdf"));
  return RunCommand(reader == Reader::Mutool ? "mutool draw -q -F txt " + path + " 2>/dev/null"
                                             : "pdftotext -q " + path + " - 2>/dev/null")
      .output;
}

struct Row {
  const char* why;
  std::string file;
  Verdict expected;
  Reader reader = Reader::None;  // for a modified document: who shows other text
  std::string signedFile;        // what was signed, when the row's reader compares
  size_t signature = 0;          // which signature the row judges
  int64_t now = 0;               // the verification time, when not the present
};

// Documents -------------------------------------------------------------------------------

// A one-page document that reads "Importe: 100 soles"; `contents` may add prepared streams.
std::string Plain(const std::string& contents = "4 0 R") {
  PdfBuilder pdf;
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Object(3, Page(contents));
  pdf.Object(4, Text("Importe: 100 soles"));
  pdf.Object(5, kFont);
  return pdf.Finish();
}

const std::string kCover = "1 1 1 rg 60 700 300 50 re f BT /F1 18 Tf 0 g 72 720 Td (Importe: 900 soles) Tj ET";

// Prepared carries, inside what will be signed, content that the signed revision does not
// show: an older page 3 that draws "900" over the text, hidden by a later revision, and a
// second catalog with its own page tree.
std::string Prepared() {
  PdfBuilder pdf;
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Object(3, Page("[4 0 R 6 0 R]"));
  pdf.Object(4, Text("Importe: 100 soles"));
  pdf.Object(5, kFont);
  pdf.Object(6, Stream(kCover));
  // Its /AcroForm names the number the signer's form will take, so that readers find the
  // signature there once /Root is pointed at it.
  pdf.Object(20, "<< /Type /Catalog /Pages 21 0 R /AcroForm 200 0 R >>");
  pdf.Object(21, "<< /Type /Pages /Kids [22 0 R] /Count 1 >>");
  pdf.Object(22, "<< /Type /Page /Parent 21 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 5 0 R >> >> "
                 "/Contents 6 0 R >>");
  Update hide;
  hide.objects = {{3, Page("4 0 R")}};
  return Revise(pdf.Finish(), hide);
}

// Orphaned carries a cross-reference section that no chain uses, with a page 3 that shows "900".
std::string Orphaned(uint64_t* orphan) {
  PdfBuilder pdf;
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Object(3, Page("4 0 R"));
  pdf.Object(4, Text("Importe: 100 soles"));
  pdf.Object(5, kFont);
  pdf.Object(6, Stream(kCover));
  std::string file = pdf.Finish();
  const uint64_t first = StartxrefOf(file), page = file.size();
  file += "3 0 obj\n" + Page("[4 0 R 6 0 R]") + "\nendobj\n";
  *orphan = file.size();
  char line[40];
  std::snprintf(line, sizeof line, "xref\n3 1\n%010llu 00000 n \n", (unsigned long long)page);
  file += line + std::string("trailer\n<< /Size 7 /Root 1 0 R /Prev ") + std::to_string(first) + " >>\n";
  // The revision people see lists only the font again; it never names the section above.
  Update visible;
  visible.objects = {{5, kFont}};
  visible.prev = first;
  return Revise(file, visible);
}

// A form with a text field "importe" showing "100".
std::string Form() {
  PdfBuilder pdf;
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [6 0 R] >> >>");
  pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  pdf.Object(3, Page("4 0 R", " /Annots [6 0 R]"));
  pdf.Object(4, Text("Importe:"));
  pdf.Object(5, kFont);
  pdf.Object(6, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (importe) /V (100) /Rect [160 710 300 740] /F 4 "
                "/P 3 0 R /AP << /N 7 0 R >> >>");
  pdf.Object(7, Stream("BT /F1 18 Tf 4 8 Td (100) Tj ET", " /Type /XObject /Subtype /Form /BBox [0 0 140 30] "
                                                          "/Resources << /Font << /F1 5 0 R >> >>"));
  return pdf.Finish();
}

std::string FillForm(const std::string& file, const std::string& value) {
  Update u;
  u.objects = {{6, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (importe) /V (" + value +
                       ") /Rect [160 710 300 740] /F 4 /P 3 0 R /AP << /N 40 0 R >> >>"},
               {40, Stream("BT /F1 18 Tf 4 8 Td (" + value + ") Tj ET",
                           " /Type /XObject /Subtype /Form /BBox [0 0 140 30] /Resources << /Font << /F1 5 0 R >> >>")}};
  return Revise(file, u);
}

const std::string kCoverAppearance =
    Stream("1 1 1 rg 0 0 300 50 re f BT /F1 18 Tf 0 g 12 20 Td (Importe: 900 soles) Tj ET",
           " /Type /XObject /Subtype /Form /BBox [0 0 300 50] /Resources << /Font << /F1 5 0 R >> >>");

// Overlay puts an annotation (50, with appearance 51) that draws "900" on a white box on page 3.
Update Overlay(const std::string& file, const std::string& subtype) {
  Update u;
  u.objects = {{3, AddAnnot(BodyOf(file, 3), "50 0 R")},
               {50, "<< /Type /Annot /Subtype /" + subtype + " /Rect [60 700 360 750] /Contents (Importe: 900 soles) "
                    "/F 4 /AP << /N 51 0 R >> /DA (/Helv 18 Tf 0 g) >>"},
               {51, kCoverAppearance}};
  return u;
}

HandSignature Certify(int p) {
  HandSignature h;
  h.dictExtra = " /Reference [<< /Type /SigRef /TransformMethod /DocMDP /TransformParams << /Type /TransformParams /P " +
                std::to_string(p) + " /V /1.2 >> >>]";
  h.catalogExtra = " /Perms << /DocMDP 31 0 R >>";
  return h;
}

// Certified variations: certification `p` over Plain, then what `change` appends.
std::vector<Row> CertifiedRows(const std::string& plain) {
  std::vector<Row> rows;
  std::map<int, std::string> certified;
  for (int p : {1, 2, 3}) certified[p] = Sign(plain, Certify(p));
  auto add = [&](const char* why, int p, const Update& u, Verdict v, Reader r = Reader::None) {
    rows.push_back({why, Revise(certified[p], u), v, r, certified[p], 0, 0});
  };
  HandSignature approval;
  approval.catalog = "<< /Type /Catalog /Pages 2 0 R /Perms << /DocMDP 31 0 R >>";
  approval.page = BodyOf(certified[2], 3);
  approval.field = 32;
  approval.fieldsBefore = "30 0 R ";
  for (int p : {2, 1})
    rows.push_back({p == 2 ? "certificacion P2 y una firma de aprobacion" : "certificacion P1 y una firma de aprobacion",
                    Sign(certified[p], approval), p == 2 ? Verdict::Valid : Verdict::Modified, Reader::None,
                    certified[p], 0, 0});
  Update dss;
  dss.objects = {{1, AddKey(BodyOf(certified[1], 1), " /DSS 60 0 R")}, {60, "<< /Certs [61 0 R] >>"}, {61, Stream("0")}};
  add("certificacion P1 y un almacen de validacion (/DSS)", 1, dss, Verdict::Valid);
  add("certificacion P3 y un comentario (anotacion permitida)", 3, Overlay(certified[3], "Text"), Verdict::Valid);
  add("certificacion P2 y una anotacion FreeText encima del texto", 2, Overlay(certified[2], "FreeText"),
      Verdict::Modified, Reader::Pdftotext);
  add("certificacion P1 y un comentario", 1, Overlay(certified[1], "Text"), Verdict::Modified, Reader::Pdftotext);
  Update empty;
  empty.objects = {{1, AddKey(BodyOf(certified[2], 1).replace(BodyOf(certified[2], 1).find("30 0 R"), 6, "30 0 R 70 0 R"), "")},
                   {70, "<< /FT /Sig /T (Vacia) >>"}};
  add("campo de firma vacio e invisible anadido (P2)", 2, empty, Verdict::Valid);
  // A sneaky signature field: unsigned, drawn over the text.
  Update sneaky = Overlay(certified[2], "Widget");
  sneaky.objects[1] = {50, "<< /Type /Annot /Subtype /Widget /FT /Sig /T (Sigilosa) /Rect [60 700 360 750] /F 4 "
                           "/P 3 0 R /AP << /N 51 0 R >> >>"};
  sneaky.objects.push_back({1, BodyOf(certified[2], 1).replace(BodyOf(certified[2], 1).find("30 0 R"), 6, "30 0 R 50 0 R")});
  add("campo de firma sin firmar con apariencia sobre el texto (P2)", 2, sneaky, Verdict::Modified, Reader::Pdftotext);
  // A sneaky signature that is signed: the certification allows it (P2: signing), and the
  // reader is shown who signed; that signer is not trusted here.
  static const TestIdentity elsewhere = Pki().MakeCa("CA Ajena");
  static const TestIdentity stranger = Pki().MakeLeaf(elsewhere, "intruso", "/C=PE/CN=Firmante Intruso");
  HandSignature visible = approval;
  visible.page = BodyOf(certified[2], 3);
  visible.rect = "[60 700 360 750]";
  visible.fieldExtra = " /AP << /N 51 0 R >>";
  visible.identity = &stranger;
  Update appearance;
  appearance.objects = {{51, kCoverAppearance}};
  const std::string signedTwice = Sign(Revise(certified[2], appearance), visible);
  rows.push_back({"firma sigilosa visible sobre el texto (P2): la certificacion la admite", signedTwice, Verdict::Valid,
                  Reader::None, certified[2], 0, 0});
  rows.push_back({"firma sigilosa visible sobre el texto (P2): su firmante no es de confianza", signedTwice,
                  Verdict::Untrusted, Reader::None, certified[2], 1, 0});
  return rows;
}

// Rows over the engine's own signature of Plain with a stamp (`ours`).
std::vector<Row> IncrementalRows(const TempDir& dir, const std::string& ours) {
  std::vector<Row> rows;
  auto add = [&](const char* why, const std::string& file, Verdict v, Reader r = Reader::None) {
    rows.push_back({why, file, v, r, ours, 0, 0});
  };
  const std::string changed = Text("Importe: 900 soles");
  const int acroForm = NumberWith(ours, "/Fields"), field = NumberWith(ours, "/FT /Sig");
  add("firmado, sin cambios", ours, Verdict::Valid);
  add("segunda firma del motor encima", OurSignature(dir, ours, true), Verdict::Valid);
  add("flujo de contenido sustituido", Revise(ours, Define({{4, changed}})), Verdict::Modified, Reader::Pdftotext);
  Update stream;
  stream.objects = {{4, changed}};
  stream.stream = true;
  add("flujo sustituido con un flujo de referencias", Revise(ours, stream), Verdict::Modified, Reader::Pdftotext);
  std::string page = BodyOf(ours, 3);
  page.replace(page.find("4 0 R"), 5, "80 0 R");
  add("/Contents de la pagina apunta a un flujo nuevo", Revise(ours, Define({{3, page}, {80, changed}})), Verdict::Modified,
      Reader::Pdftotext);
  add("pagina anadida al arbol",
      Revise(ours, Define({{2, "<< /Type /Pages /Kids [3 0 R 81 0 R] /Count 2 >>"}, {81, Page("80 0 R")}, {80, changed}})),
      Verdict::Modified, Reader::Pdftotext);
  const std::pair<const char*, const char*> types[] = {{"/Root apunta a un catalogo nuevo con otro arbol", "/Type /Page "},
                                                      {"pagina nueva sin /Type", ""},
                                                      {"pagina nueva con /Type escrito /P#61ge", "/Type /P#61ge "}};
  for (const auto& [why, type] : types) {
    Update u;
    u.root = 90;
    u.objects = {{90, "<< /Type /Catalog /Pages 91 0 R /AcroForm " + std::to_string(acroForm) + " 0 R >>"},
                 {91, "<< /Type /Pages /Kids [92 0 R] /Count 1 >>"},
                 {92, std::string("<< ") + type + "/Parent 91 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 5 "
                      "0 R >> >> /Contents 80 0 R >>"},
                 {80, changed}};
    add(why, Revise(ours, u), Verdict::Modified, Reader::Pdftotext);
  }
  add("fuente sustituida: el glifo del 1 dibuja un 9",
      Revise(ours, Define({{5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding << /Type /Encoding "
                         "/Differences [49 /nine] >> >>"}})),
      Verdict::Modified, Reader::Pdftotext);
  Update freed;
  freed.freed = {4};
  // Poppler still shows the freed stream; MuPDF shows nothing.
  add("flujo de contenido liberado", Revise(ours, freed), Verdict::Modified, Reader::Mutool);
  Update generation;
  generation.objects = {{4, changed}};
  generation.generation = "1";
  add("objeto redefinido con otra generacion (la referencia queda nula)", Revise(ours, generation), Verdict::Modified,
      Reader::Pdftotext);
  add("accion al abrir (/OpenAction) en el catalogo",
      Revise(ours, Define({{1, AddKey(BodyOf(ours, 1), " /OpenAction << /S /JavaScript /JS (app.alert\\(1\\)) >>")}})),
      Verdict::Modified);
  // Objects after the last %%EOF and padding enough that readers do not find "startxref":
  // MuPDF then rebuilds the table from the objects it finds.
  add("objetos tras el ultimo %%EOF sin referencias, con relleno",
      ours + "4 0 obj\n" + changed + "\nendobj\n" + std::string(4096, ' ') + "\n", Verdict::Modified, Reader::Mutool);
  add("firma de aprobacion y una anotacion FreeText encima", Revise(ours, Overlay(ours, "FreeText")),
      Verdict::Modified, Reader::Pdftotext);
  std::string widget = BodyOf(ours, field);
  widget.replace(widget.find("/Rect [") + 6, widget.find(']', widget.find("/Rect [")) - widget.find("/Rect [") - 5,
                 "[60 700 360 750]");
  widget.replace(widget.find("/AP << /N ") + 10, widget.find(" 0 R", widget.find("/AP << /N ")) - widget.find("/AP << /N ") - 10,
                 "51");
  add("apariencia y /Rect del widget de la firma cambiados", Revise(ours, Define({{field, widget}, {51, kCoverAppearance}})),
      Verdict::Modified, Reader::Pdftotext);
  for (const char* key : {" /NeedAppearances true", " /XFA 95 0 R"})
    add(key[2] == 'N' ? "el formulario gana /NeedAppearances" : "el formulario gana /XFA",
        Revise(ours, Define({{acroForm, AddKey(BodyOf(ours, acroForm), key)}, {95, Stream("<xdp:xdp/>")}})), Verdict::Modified);
  return rows;
}

// Shadow attacks: prepared in what was signed, triggered by a later revision.
std::vector<Row> ShadowRows(const TempDir& dir) {
  std::vector<Row> rows;
  auto add = [&](const char* why, const std::string& file, Verdict v, const std::string& signedFile,
                 Reader r = Reader::Pdftotext) { rows.push_back({why, file, v, r, signedFile, 0, 0}); };
  const std::string prepared = OurSignature(dir, Prepared(), true);
  Update hide;  // only a table entry: page 3 is its older definition, with the overlay
  hide.relist = {{3, OffsetOf(prepared, 3, false)}};
  add("sombra (ocultar): una entrada lleva a la pagina anterior, con la capa", Revise(prepared, hide), Verdict::Modified,
      prepared);
  Update swap;  // only the trailer: the hidden catalog and its tree
  swap.root = 20;
  add("sombra (ocultar y sustituir): /Root al catalogo oculto", Revise(prepared, swap), Verdict::Modified, prepared);
  // /Prev to the first section: page 3 as it was before the revision that hid the overlay; the
  // signature's own objects are listed again so that readers still find it.
  Update older;
  older.prev = prepared.find("\nxref\n") + 1;
  for (const auto& entry : LastSection(prepared))
    if (entry.first != 3) older.relist.push_back(entry);
  add("/Prev a una seccion anterior a la revision firmada", Revise(prepared, older), Verdict::Modified, prepared);
  older.stream = true;
  add("/Prev a una seccion anterior, con flujo de referencias", Revise(prepared, older), Verdict::Modified, prepared);
  uint64_t orphan = 0;
  const std::string orphaned = OurSignature(dir, Orphaned(&orphan));
  Update toOrphan;
  toOrphan.prev = orphan;
  for (const auto& entry : LastSection(orphaned))
    if (entry.first != 3) toOrphan.relist.push_back(entry);
  add("/Prev a una seccion huerfana dentro de lo firmado", Revise(orphaned, toOrphan), Verdict::Modified, orphaned);
  // A reference to object 12 is there when signing; object 12 is defined only later.
  const std::string dangling = OurSignature(dir, Plain("[4 0 R 12 0 R]"));
  add("referencia preparada a un objeto que solo existe despues", Revise(dangling, Define({{12, Stream(kCover)}})),
      Verdict::Modified, dangling);
  const std::string modern =
      OurSignature(dir, ModernDocument({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                                        Page("4 0 R"), Text("Importe: 100 soles"), kFont, Stream(kCover)},
                                       ModernLayout({1, 2, 3, 5})));
  Update objstm;
  objstm.stream = true;
  objstm.objects = {{3, AddKey(Page("[4 0 R 6 0 R]"), "")}};
  add("pagina de un flujo de objetos redefinida con la capa preparada", Revise(modern, objstm), Verdict::Modified,
      modern);
  const std::string form = OurSignature(dir, Form());
  add("sombra (sustituir): el valor de un campo cambia (permitido y listado)", FillForm(form, "900"), Verdict::Valid,
      form, Reader::None);
  HandSignature lock;
  lock.page = BodyOf(Form(), 3);
  lock.fieldsBefore = "6 0 R ";
  lock.fieldExtra = " /Lock << /Type /SigFieldLock /Action /Include /Fields [(importe)] >>";
  const std::string locked = Sign(Form(), lock);
  add("campo bloqueado por la firma (FieldMDP) y rellenado despues", FillForm(locked, "900"), Verdict::Modified, locked,
      Reader::Mutool);
  return rows;
}

// Signatures that are not what they claim: wrapping, universal forgery, certificates.
std::vector<Row> ForgedRows(const std::string& plain, const std::string& ours) {
  std::vector<Row> rows;
  auto add = [&](const char* why, const std::string& file, Verdict v) {
    rows.push_back({why, file, v, Reader::None, ours, 0, 0});
  };
  const std::string changed = Text("Importe: 900 soles");
  const size_t open = ours.rfind("/Contents <") + 10, close = ours.find('>', open);
  std::string wrapped = ours;
  const std::string hidden = "> 4 0 obj " + changed + " endobj <";
  wrapped.replace(close - hidden.size() - 2, hidden.size(), hidden);
  add("objetos escondidos en el relleno de /Contents", wrapped, Verdict::Broken);
  const int dict = NumberWith(ours, "/ByteRange"), field = NumberWith(ours, "/FT /Sig");
  std::string widget = BodyOf(ours, field);
  widget.replace(widget.find("/V " + std::to_string(dict)) + 3, std::to_string(dict).size(), "96");
  add("copia del diccionario de firma con el mismo /ByteRange",
      Revise(ours, Define({{96, BodyOf(ours, dict)}, {4, changed}, {field, widget}})), Verdict::Broken);
  const std::pair<const char*, const char*> forged[] = {{"/ByteRange [0 0 0 0]", "/ByteRange [0 0 0 0]"},
                                                       {"sin /ByteRange", ""},
                                                       {"/ByteRange que no empieza en 0", "/ByteRange [100 1 2 3]"}};
  for (const auto& [why, text] : forged) {
    std::string file = ours;
    const size_t at = file.rfind("/ByteRange ["), end = file.find(']', at) + 1;
    file.replace(at, end - at, std::string(text) + std::string(end - at - std::strlen(text), ' '));
    add(why, file, Verdict::Broken);
  }
  std::string empty = ours;
  empty.replace(open, close - open + 1, "<>" + std::string(close - open - 1, ' '));
  add("/Contents vacio", empty, Verdict::Broken);
  // A range that stops before its revision's "startxref": that number is not signed, and here it
  // leads to a section that redefines the content.
  HandSignature shortRange;
  shortRange.short_ = true;
  const std::string full = Sign(plain, shortRange);
  Update after = Define({{4, changed}});
  after.prev = StartxrefOf(full);
  add("/ByteRange que no llega al final de su revision", Revise(full.substr(0, full.rfind("startxref")), after),
      Verdict::Broken);
  static const TestIdentity server = Pki().MakeLeaf(Authority(), "servidor", "/C=PE/CN=Servidor Web",
                                                    "-algorithm RSA -pkeyopt rsa_keygen_bits:2048",
                                                    "keyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth");
  HandSignature tls;
  tls.identity = &server;
  add("certificado solo para servidores TLS", Sign(plain, tls), Verdict::Untrusted);
  // A certificate with the signer's issuer and serial number, but another key, carried first:
  // anyone can add one, so it must not make a genuine signature look broken.
  const std::string twin = Pki().dir() + "/gemelo";
  const auto made = RunCommand("openssl req -x509 -newkey rsa:2048 -nodes -keyout " + Quote(twin + ".key") +
                               " -subj " + Quote("/C=PE/O=Quillmark Pruebas/CN=CA Pruebas Quillmark") +
                               " -set_serial 0x" + Signer().certificate.serialHex + " -days 30 -outform DER -out " +
                               Quote(twin + ".der") + " 2>&1");
  EXPECT_EQ(made.status, 0) << made.output;
  HandSignature extra;
  extra.certificatesFirst = {ReadFileBytes(twin + ".der")};
  add("un certificado con el emisor y la serie del firmante, delante de el", Sign(plain, extra), Verdict::Valid);
  rows.push_back({"/M antedatado, certificado caducado hoy (2100): no confiable", ours, Verdict::Untrusted, Reader::None,
                  ours, 0, 4102444800});
  return rows;
}

// StampedSignature signs `input` with a signature time stamp from the test authority.
std::string StampedSignature(const TempDir& dir, const std::string& input) {
  testing_support::TsaServer tsa;
  std::string why;
  EXPECT_TRUE(tsa.Start(&why)) << why;
  TimestampPost post = [&](const Bytes& request, Bytes* response, std::string* error) {
    testing_support::WriteFileBytes(dir.File("request.tsq"), request);
    const auto r = RunCommand("python3 -c " +
                              Quote("import sys, urllib.request as u; sys.stdout.buffer.write(u.urlopen(u.Request(sys.argv[1], "
                                    "open(sys.argv[2], 'rb').read(), {'Content-Type': 'application/timestamp-query'})).read())") +
                              " " + Quote(tsa.Url()) + " " + Quote(dir.File("request.tsq")) + " > " +
                              Quote(dir.File("reply.tsr")));
    *response = ReadFileBytes(dir.File("reply.tsr"));
    *error = r.output;
    return r.status == 0;
  };
  WriteFileText(dir.File("in.pdf"), input);
  SignResult r = SignPdfAt(dir.File("in.pdf"), dir.File("out.pdf"), Signer().certificate, 16384, SignerKey().Callback(),
                           {"Juana", "Lima", "Prueba"}, {StampMode::None, ""}, kSigningTime, MakeTimestampCallback(post));
  EXPECT_TRUE(r.isSigned) << r.error;
  return ToText(ReadFileBytes(dir.File("out.pdf")));
}

std::vector<Row> Corpus(const TempDir& dir) {
  const std::string plain = Plain(), ours = OurSignature(dir, plain, true);
  std::vector<Row> rows = IncrementalRows(dir, ours);
  for (std::vector<Row> more : {ShadowRows(dir), CertifiedRows(plain), ForgedRows(plain, ours)})
    rows.insert(rows.end(), more.begin(), more.end());
  // Generations past 65535, as iText and mutool clean write them, are read as readers read them.
  PdfBuilder generations;
  generations.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  generations.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  generations.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 5 65536 R >> "
                        ">> /Contents 4 0 R >>");
  generations.Object(4, Text("Importe: 100 soles"));
  generations.Object(5, kFont, 65536);
  std::string odd = generations.Finish();
  odd.replace(odd.find("0000000000 65535 f"), 18, "0000000000 65536 f");
  rows.push_back({"generaciones de 65536 en la tabla, firmado por el motor", OurSignature(dir, odd), Verdict::Valid,
                  Reader::None, ours, 0, 0});
  rows.push_back({"certificado caducado hoy (2100), pero su sello de tiempo prueba una fecha anterior",
                  StampedSignature(dir, plain), Verdict::Valid, Reader::None, ours, 0, 4102444800});
  return rows;
}

TEST(AttackCorpus, EveryForgeryGetsItsVerdict) {
  TempDir dir;
  const std::vector<Row> rows = Corpus(dir);
  EXPECT_GE(rows.size(), 40u);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.why);
    WriteFileText(dir.File("case.pdf"), row.file);
    const std::vector<Bytes> anchors = {Authority().certDer, testing_support::TsaServer::AuthorityCa().certDer};
    const VerifyReport report =
        row.now ? VerifyPdf(dir.File("case.pdf"), anchors, row.now) : VerifyPdf(dir.File("case.pdf"), anchors);
    ASSERT_EQ(report.error, "");
    ASSERT_GT(report.signatures.size(), row.signature);
    const SignatureReport& s = report.signatures[row.signature];
    std::string changes;
    for (const RevisionChange& c : s.coverage.changes) changes += (c.allowed ? "  + " : "  - ") + c.what + "\n";
    EXPECT_EQ(Name(Of(s)), std::string(Name(row.expected)))
        << s.integrityDetail << " / " << s.trust.detail << "\n" << changes;
    if (row.expected == Verdict::Modified && row.reader != Reader::None) {
      EXPECT_NE(Shown(dir, row.file, row.reader), Shown(dir, row.signedFile, row.reader))
          << "a reader shows the signed text: the row is no attack";
    }
  }
}

}  // namespace
