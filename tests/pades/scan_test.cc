#include <map>
#include <random>

#include <gtest/gtest.h>

#include "pades/pdf_scan.h"
#include "tests/pades/pades_fixture.h"

using namespace pades_test;
using testing_support::TempDir;
using testing_support::WriteFileText;

namespace {

bool White(char c) {
  return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
}
bool Delimiter(char c) {
  return White(c) || std::string_view("()<>[]{}/%").find(c) != std::string_view::npos;
}
bool Digit(char c) {
  return c >= '0' && c <= '9';
}

// The object index by its plain definition: every position tested, byte by byte.
std::map<int32_t, uint32_t> ReferenceIndex(const std::string& f) {
  std::map<int32_t, uint32_t> index;
  for (size_t p = 0; p + 3 < f.size();) {
    if (f.compare(p, 3, "obj") != 0) {
      ++p;
      continue;
    }
    size_t i = p;
    while (i > 0 && White(f[i - 1])) --i;
    size_t g = i;
    while (i > 0 && Digit(f[i - 1])) --i;
    bool ok = i < g;
    while (ok && i > 0 && White(f[i - 1])) --i;
    size_t n = i;
    while (ok && i > 0 && Digit(f[i - 1])) --i;
    ok = ok && i < n;
    if (ok) {
      bool alone = i == 0 || Delimiter(f[i - 1]) || (i >= 5 && f.compare(i - 5, 5, "%%EOF") == 0) ||
                   (i >= 6 && f.compare(i - 6, 6, "endobj") == 0);
      long long number = n - i > 10 ? -1 : std::stoll(f.substr(i, n - i));
      if (alone && number > 0 && number <= 0x7FFFFFFF) index[int32_t(number)] = uint32_t(i);
    }
    p += 3;
  }
  return index;
}

std::map<int32_t, uint32_t> ScannedIndex(const std::string& path, size_t chunk) {
  PdfScan scan(chunk);
  scan.Open(path);
  std::map<int32_t, uint32_t> index;
  for (const IndexEntry& e : scan.index()) index[e.number] = e.offset;
  return index;
}

TEST(PdfScan, IndexMatchesTheByteByByteRuleAcrossChunkEdges) {
  TempDir dir;
  const char* pieces[] = {"obj", "endobj", " ",  "\n", "\r\n", "0",          "1",  "12", "7", "%%EOF", "x",
                          "(",   ")",      "<<", ">>", "/T",   "9999999999", "00", "\t", "[", "]"};
  std::mt19937 random(1234);
  for (int round = 0; round < 300; ++round) {
    std::string text = "%PDF-1.7\n";
    int count = 20 + int(random() % 400);
    for (int i = 0; i < count; ++i) text += pieces[random() % std::size(pieces)];
    // Long runs of blanks and digits before a keyword make the backward walk leave a chunk.
    if (round % 7 == 0) text += "5" + std::string(300, ' ') + "0" + std::string(200, '\n') + "obj<<>>";
    text += "\nstartxref\n9\n%%EOF\n";
    WriteFileText(dir.File("f.pdf"), text);
    auto expected = ReferenceIndex(text);
    for (size_t chunk : {64, 67, 100, 4096}) {
      SCOPED_TRACE(testing::Message() << "round " << round << " chunk " << chunk);
      ASSERT_EQ(ScannedIndex(dir.File("f.pdf"), chunk), expected);
    }
  }
}

TEST(PdfScan, HeaderRulesAndLastDefinition) {
  TempDir dir;
  std::string text =
      "%PDF-1.4\n1 0 obj<</A 1>>endobj12 0 obj<</B 2>>endobj x13 0 obj<<>>endobj\n"
      "%%EOF14 0 obj<<>>endobj\n1 0 obj<</A 2>>endobj\n0 0 obj<<>>endobj\n"
      "99999999999 0 obj<<>>endobj\nstartxref\n9\n%%EOF\n";
  WriteFileText(dir.File("f.pdf"), text);
  auto index = ScannedIndex(dir.File("f.pdf"), 1 << 20);
  EXPECT_EQ(index.count(12), 1u) << "a header right after endobj counts";
  EXPECT_EQ(index.count(13), 0u) << "a header right after a letter does not";
  EXPECT_EQ(index.count(14), 1u) << "a header right after %%EOF counts";
  EXPECT_EQ(index.count(0), 0u);
  EXPECT_EQ(index.size(), 3u) << "numbers beyond 32 bits are not objects";
  EXPECT_EQ(index[1], text.find("1 0 obj<</A 2>>")) << "the last definition wins";
}

// Opening a hand-made file returns the first failing check.
ScanStatus OpenText(const std::string& text) {
  TempDir dir;
  WriteFileText(dir.File("f.pdf"), text);
  PdfScan scan;
  return scan.Open(dir.File("f.pdf"));
}

TEST(PdfScan, OpeningChecksRunInOrder) {
  EXPECT_EQ(OpenText("%PDF-1."), ScanStatus::NotPdf);
  EXPECT_EQ(OpenText("%PDF-1.4"), ScanStatus::NoStartxref);
  EXPECT_EQ(OpenText("%!PS-Adobe\nstartxref\n1\n"), ScanStatus::NotPdf);
  EXPECT_EQ(OpenText("%PDF-1.4\nstartxref\n9999\n%%EOF"), ScanStatus::StartxrefOutside);
  EXPECT_EQ(OpenText("%PDF-1.4\nstartxref\n-4\n%%EOF"), ScanStatus::StartxrefOutside);
  EXPECT_EQ(OpenText("%PDF-1.4\nstartxref\n%%EOF"), ScanStatus::StartxrefOutside);
  EXPECT_EQ(OpenText("%PDF-1.4\nxref\n0 1\nstartxref\n9\n%%EOF"), ScanStatus::BadTrailer);
  EXPECT_EQ(OpenText("%PDF-1.4\nxref\ntrailer\n<< /Size 3 >>\nstartxref\n9\n%%EOF"), ScanStatus::NoRoot);
  EXPECT_EQ(OpenText("%PDF-1.4\nxref\ntrailer\n<< /Root 1 1 R >>\nstartxref\n9\n%%EOF"), ScanStatus::NoRoot);
  EXPECT_EQ(OpenText("%PDF-1.4\nxref\ntrailer\n<< /Root 1 0 R /Encrypt 5 0 R >>\nstartxref\n9\n%%EOF"),
            ScanStatus::Encrypted);
  EXPECT_EQ(OpenText("%PDF-1.4\nxref\ntrailer\n<< /Root 1 0 R >>\nstartxref\n9\n%%EOF"),
            ScanStatus::NoObjects);
  EXPECT_EQ(OpenText(WithTrailer("%PDF-1.4\n1 0 obj [1]\nendobj\n")), ScanStatus::BadCatalog);
  EXPECT_EQ(OpenText(WithTrailer("%PDF-1.4\n1 0 obj <</Pages 2 1 R>>\nendobj\n")),
            ScanStatus::NoPagesReference);
  EXPECT_EQ(
      OpenText(WithTrailer("%PDF-1.4\n1 0 obj <</Pages 2 0 R>>\nendobj\n2 0 obj <</Kids 3 0 R>>\nendobj\n"
                           "3 0 obj [4 0 R]\nendobj\n4 0 obj <</Type/Page>>\nendobj\n")),
      ScanStatus::NoPages)
      << "/Kids given by reference yields no pages";
}

TEST(PdfScan, CrossReferenceStreamTrailerAndTheLastStartxref) {
  std::string body =
      "%PDF-1.5\n1 0 obj <</Type/Catalog/Pages 2 0 R>>\nendobj\n"
      "2 0 obj <</Type/Pages/Kids[3 0 R]/Count 1>>\nendobj\n3 0 obj <</Type/Page/Parent 2 0 R>>\nendobj\n";
  size_t stream = body.size();
  body += "4 0 obj <</Type/XRef/Size 5/Root 1 0 R/ID[<0A0B><0C0D>]/Length 0>>stream\nendstream\nendobj\n";
  body += "startxref\n3\n%%EOF\n% an earlier startxref above is not the one\nstartxref\n" +
          std::to_string(stream) + "\n%%EOF\n";
  TempDir dir;
  WriteFileText(dir.File("f.pdf"), body);
  PdfScan scan;
  ASSERT_EQ(scan.Open(dir.File("f.pdf")), ScanStatus::Ok);
  EXPECT_EQ(scan.startxref(), int64_t(stream));
  EXPECT_EQ(scan.root(), 1);
  EXPECT_EQ(scan.declaredSize(), 5);
  EXPECT_EQ(scan.firstIdentifier().value_or(""), "0A0B");
  EXPECT_EQ(scan.pages(), std::vector<int64_t>{3});
}

// The first identifier is carried into every update: hex as written, a literal one in hex.
TEST(PdfScan, FirstIdentifierInEitherStringForm) {
  struct Case {
    const char* id;
    std::optional<std::string> first;
  } cases[] = {{" /ID [<ab01> <CD02>]", "ab01"},    {" /ID [(x\\r\\303L)(x\\r\\303L)]", "780DC34C"},
               {" /ID [ (a<b>) <01>]", "613C623E"}, {" /ID [<> <01>]", std::nullopt},
               {" /ID [<4G> <01>]", std::nullopt},  {" /ID <ab01>", "ab01"}};
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R >>");
    WriteFileText(dir.File("f.pdf"), pdf.Finish(c.id));
    PdfScan scan;
    ASSERT_EQ(scan.Open(dir.File("f.pdf")), ScanStatus::Ok);
    EXPECT_EQ(scan.firstIdentifier(), c.first);
  }
}

TEST(PdfScan, PageTreeDepthCyclesAndSharedNodes) {
  // Any depth readers accept: a chain of 100 000 page-tree levels (far past what a recursive
  // walk survives on the native stack) with one page at every tenth level.
  constexpr int kLevels = 100000;
  PdfBuilder deep;
  deep.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  for (int level = 0; level < kLevels; ++level) {
    const int node = 2 + 2 * level;
    const std::string next = level + 1 < kLevels ? std::to_string(node + 2) + " 0 R" : "";
    deep.Object(node, "<< /Type /Pages /Kids [" + std::to_string(node + 1) + " 0 R " + next + "] >>");
    deep.Object(node + 1, level % 10 == 0 ? "<< /Type /Page >>" : "<< /Type /Pages /Kids [] >>");
  }
  TempDir dir;
  WriteFileText(dir.File("deep.pdf"), deep.Finish());
  PdfScan scan;
  ASSERT_EQ(scan.Open(dir.File("deep.pdf")), ScanStatus::Ok);
  ASSERT_EQ(scan.pages().size(), size_t(kLevels / 10));
  EXPECT_EQ(scan.pages().front(), 3);
  EXPECT_EQ(scan.pages().back(), 2 + 2 * (kLevels - 10) + 1);

  // A node that lists its own ancestor is a loop and is skipped; the pages around it count.
  PdfBuilder loop;
  loop.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  loop.Object(2, "<< /Type /Pages /Kids [3 0 R 5 0 R] >>");
  loop.Object(3, "<< /Type /Pages /Kids [2 0 R 4 0 R 3 0 R] >>");
  loop.Object(4, "<< /Type /Page >>");
  loop.Object(5, "<< /Type /Page >>");
  WriteFileText(dir.File("loop.pdf"), loop.Finish());
  PdfScan looped;
  ASSERT_EQ(looped.Open(dir.File("loop.pdf")), ScanStatus::Ok);
  EXPECT_EQ(looped.pages(), (std::vector<int64_t>{4, 5}));

  // Each node lists the next one twice: an honest walk would visit 2^40 nodes; the walk stops
  // after about as many visits as the file has objects.
  PdfBuilder shared;
  shared.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  for (int level = 0; level < 40; ++level) {
    std::string next = std::to_string(3 + level) + " 0 R";
    shared.Object(2 + level, "<< /Kids [" + next + " " + next + "] >>");
  }
  shared.Object(42, "<< /Type /Page >>");
  WriteFileText(dir.File("shared.pdf"), shared.Finish());
  PdfScan bounded;
  ASSERT_EQ(bounded.Open(dir.File("shared.pdf")), ScanStatus::Ok);
  EXPECT_LE(bounded.pages().size(), bounded.index().size() + 64);

  // A page reachable twice is listed twice.
  PdfBuilder twice;
  twice.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  twice.Object(2, "<< /Type /Pages /Kids [3 0 R 3 0 R] >>");
  twice.Object(3, "<< /Type /Page >>");
  WriteFileText(dir.File("twice.pdf"), twice.Finish());
  PdfScan listed;
  ASSERT_EQ(listed.Open(dir.File("twice.pdf")), ScanStatus::Ok);
  EXPECT_EQ(listed.pages(), (std::vector<int64_t>{3, 3}));
}

TEST(PdfScan, DictionariesReadThroughGrowingWindows) {
  // A page whose dictionary is far larger than the first window and than a scan chunk.
  std::string annots;
  for (int i = 0; i < 20000; ++i) annots += std::to_string(100 + i) + " 0 R ";
  PdfBuilder pdf;
  pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] >>");
  pdf.Object(3, "<< /Annots [" + annots + "] /Type /Page >>");
  pdf.Object(4, "<< /FT /Sig /T (Firma) /Rect [1 1 2 2] >>");
  TempDir dir;
  WriteFileText(dir.File("big.pdf"), pdf.Finish());
  PdfScan scan(4096);
  ASSERT_EQ(scan.Open(dir.File("big.pdf")), ScanStatus::Ok);
  std::string body;
  ASSERT_TRUE(scan.ReadObjectDict(3, &body));
  EXPECT_EQ(body.size(), annots.size() + 24);
  ASSERT_EQ(scan.fieldObjects().size(), 1u);
  EXPECT_EQ(scan.fieldObjects()[0].name.value_or(""), "Firma");
  EXPECT_TRUE(scan.fieldObjects()[0].rectangleValid);
}

}  // namespace
