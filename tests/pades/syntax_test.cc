#include <string>

#include <gtest/gtest.h>

#include "pades/field.h"
#include "pades/pdf_syntax.h"
#include "pades/stream_decode.h"
#include "pades/update.h"
#include "pades/xref.h"

namespace {

TEST(PdfSyntax, SkipValueEndsEveryKindOfValue) {
  struct Case {
    const char* text;
    size_t end;
    const char* why;
  } cases[] = {
      {"<< /A << /B 1 >> /C <41> >> tail", 27, "nested dictionary with a hex string"},
      {"  [1 [2] (x)] tail", 13, "array after blanks"},
      {"(a (b) \\) c) tail", 12, "literal with nesting and an escape"},
      {"<414243> tail", 8, "hex string"},
      {"/Name/Other", 5, "a name ends at the next delimiter"},
      {"12 0 R tail", 6, "a reference is one value"},
      {"12 0 Rx", 2, "R must end at a delimiter"},
      {"12 0 R", 6, "R at the end of the text"},
      {"12 % note\n 0 R]", 14, "comments between the parts of a reference"},
      {"12 0 obj", 2, "a number that is not a reference"},
      {"<< /A (unclosed", 15, "an unclosed dictionary runs to the end"},
      {"<< /A ) ] >> x", 12, "stray closers advance one byte each"},
      {"<< /A <42 >> x", 12, "a lone < inside a dictionary is a hex string"},
      {"<< /A > x", 7, "a lone > closes a level"},
      {"% only a comment", 16, "nothing but blanks"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(SkipValue(c.text, 0), c.end) << c.text;
  }
  // Nesting far deeper than any stack would hold ends without recursion.
  std::string deep(1 << 20, '[');
  EXPECT_EQ(SkipValue(deep, 0), deep.size());
  std::string mixed;
  for (int i = 0; i < 200000; ++i) mixed += "[<<";
  EXPECT_EQ(SkipValue(mixed, 0), mixed.size());
  std::string closed = std::string(100000, '[') + std::string(100000, ']');
  EXPECT_EQ(SkipValue(closed, 0), closed.size());
}

TEST(PdfSyntax, ReadStringBytesDecodesBothForms) {
  struct Case {
    std::string text;
    bool read;
    std::string bytes;
    size_t end;
    const char* why;
  } cases[] = {
      {" (a(b)c) x", true, "a(b)c", 8, "balanced parentheses stay"},
      {"(\\(\\)\\\\\\n\\t)", true, "()\\\n\t", 12, "escapes"},
      {"(\\303L\\101z\\1234\\7)", true,
       "\xC3LAz\x53"
       "4\x07",
       19, "octal codes of up to three digits"},
      {"(a\\\r\nb\rc)", true, "ab\nc", 9, "a line continuation, and CR read as LF"},
      {"(\\q)", true, "q", 4, "an unknown escape drops its backslash"},
      {"<4a 4B\n7>", true, "JK\x70", 9, "hex with blanks and an odd last digit"},
      {"<>", true, "", 2, "empty hex string"},
      {"(open", false, "", 0, "an unclosed literal"},
      {"<4G>", false, "", 0, "a byte that is not hex"},
      {"<< /A 1 >>", false, "", 0, "a dictionary is no string"},
      {"/Name", false, "", 0, "nor is a name"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    size_t pos = 0;
    std::string bytes = "unchanged";
    EXPECT_EQ(ReadStringBytes(c.text, &pos, &bytes), c.read);
    EXPECT_EQ(bytes, c.read ? c.bytes : "unchanged");
    EXPECT_EQ(pos, c.end);
  }
}

TEST(PdfSyntax, FindKeyAndGetRef) {
  std::string body =
      " /Type/Page /Resources << /Font << /F1 5 0 R >> >> /Parent 2 0 R /Kids [3 0 R] /Bad 5 1 R "
      "/Neg -3 0 R /Last";
  auto type = FindValue(body, "Type");
  ASSERT_TRUE(type);
  EXPECT_EQ(Trim(*type), "/Page");
  EXPECT_FALSE(HasKey(body, "Font")) << "nested keys are not top-level";
  EXPECT_FALSE(HasKey(body, "Typ"));
  EXPECT_FALSE(HasKey(body, "Last")) << "a key without a value is absent";
  EXPECT_EQ(GetRef(body, "Parent").value_or(0), 2);
  EXPECT_FALSE(GetRef(body, "Kids"));
  EXPECT_FALSE(GetRef(body, "Bad")) << "generation 1 is not accepted";
  EXPECT_FALSE(GetRef(body, "Neg"));
  EXPECT_FALSE(HasKey(" /Type /Pages", "Type") && Trim(*FindValue(" /Type /Pages", "Type")) == "/Page");
  EXPECT_EQ(Trim(" \r\n x \t\0"), "x");
}

TEST(IncrementalUpdate, EditsKeepEveryOtherByte) {
  EXPECT_EQ(WrapDict(""), "<< >>");
  EXPECT_EQ(WrapDict("<</A 1>>"), "<</A 1>>");
  EXPECT_EQ(WrapDict(" /A << /B 1 >>"), "<< /A << /B 1 >>>>");
  EXPECT_EQ(SetKey(" /SigFlags 1 /DA (x)", "SigFlags", "3"), " /SigFlags 3 /DA (x)");
  EXPECT_EQ(SetKey(" /DA (x)", "SigFlags", "3"), " /DA (x) /SigFlags 3");

  ArrayReader none;
  EXPECT_EQ(AppendRef(" /Type /Page", "Annots", 15, none), " /Type /Page /Annots [ 15 0 R ]");
  EXPECT_EQ(AppendRef(" /Annots [ 3 0 R ] /X 1", "Annots", 15, none), " /Annots [ 3 0 R  15 0 R ] /X 1");
  EXPECT_EQ(AppendRef("/Annots[]", "Annots", 15, none), "/Annots [ 15 0 R ]");
  EXPECT_EQ(AppendRef(" /Annots null", "Annots", 15, none), " /Annots [ null 15 0 R ]");
  ArrayReader reader = [](int64_t number, std::string* elements) {
    if (number == 9) *elements = "3 0 R 4 0 R";
    if (number == 10) elements->clear();
    return number == 9 || number == 10;
  };
  EXPECT_EQ(AppendRef(" /Annots 9 0 R /X 1", "Annots", 15, reader), " /Annots [ 3 0 R 4 0 R 15 0 R ] /X 1");
  EXPECT_EQ(AppendRef(" /Annots 10 0 R", "Annots", 15, reader), " /Annots [ 15 0 R ]");
  EXPECT_EQ(AppendRef(" /Annots 11 0 R", "Annots", 15, reader), " /Annots [ 11 0 R 15 0 R ]");

  UpdateBuffer update(1000);
  WriteObject(&update, 7, "<< >>");
  WriteObject(&update, 3, "<< >>");
  WriteObject(&update, 7, "<< /A 1 >>");  // the same object twice keeps only its last copy
  WriteXrefAndTrailer(&update, {8, 1, 0, "", 500, std::pair<std::string, std::string>{"AB", "CD"}});
  EXPECT_EQ(update.text().substr(update.text().find("xref")),
            "xref\n0 1\n0000000000 65535 f \n3 1\n0000001021 00000 n \n7 1\n0000001042 00000 n \n"
            "trailer\n<< /Size 8 /Root 1 0 R /Prev 500 /ID [<AB> <CD>] >>\nstartxref\n1068\n%%EOF\n");
}

TEST(StampLayout, PagesWidthsAndPlaces) {
  EXPECT_EQ(ParsePageList("1, 3, 5-8", 10), (std::vector<size_t>{0, 2, 4, 5, 6, 7}));
  EXPECT_EQ(ParsePageList("0-3", 10), (std::vector<size_t>{2}));
  EXPECT_EQ(ParsePageList("5-", 10), (std::vector<size_t>{}));
  EXPECT_EQ(ParsePageList("9-99999999999999999999,x,2,2", 10), (std::vector<size_t>{1, 8, 9}));
  EXPECT_EQ(ParsePageList("3-1", 10), (std::vector<size_t>{}));
  EXPECT_EQ(ChooseStampPages({StampMode::LastPage, ""}, 4), (std::vector<size_t>{3}));
  EXPECT_EQ(ChooseStampPages({StampMode(9), "1"}, 4), (std::vector<size_t>{}));

  EXPECT_NEAR(EstimateTextWidth("Firmado digitalmente por:"), 84.9, 1e-9);
  EXPECT_NEAR(EstimateTextWidth("Fecha: 2026-12-06 10:15:00 UTC"), 111.6, 1e-9);
  EXPECT_NEAR(EstimateTextWidth("\xC3\x91"), 8.0, 1e-9);
  EXPECT_EQ(StampWidth({"Firmado digitalmente por:", "Ana", "Fecha: 2026-12-06 10:15:00 UTC"}), 160);
  EXPECT_EQ(StampWidth({"", std::string(85, 'A'), ""}), 420);
  EXPECT_EQ(StampWidth({"", std::string(36, 'A'), ""}), 193) << "ceil(183.6 + 9)";

  EXPECT_EQ(PlaceStamp(" /MediaBox [0 0 595 842]", 0, 160).rectangle, "[50 40 210 72]");
  EXPECT_EQ(PlaceStamp("", 1, 180).rectangle, "[50 76 230 108]");
  EXPECT_EQ(PlaceStamp(" /MediaBox [0 150 595 0]", 1, 160).rectangle, "[50 76 210 108]");
  StampPlacement high = PlaceStamp(" /MediaBox [0 0 595 150]", 2, 160);
  EXPECT_FALSE(high.fits);
  EXPECT_EQ(high.rectangle, "[0 0 0 0]");
  EXPECT_EQ(PlaceStamp(" /MediaBox [0 0 595 842]", 0, 230.5).rectangle, "[50 40 280.5 72]");

  EXPECT_EQ(FieldName({}), "Signature1");
  EXPECT_EQ(FieldName({"Signature1", "Signature2", "Signature4"}), "Signature3");
}

TEST(StampLayout, AppearanceStreamText) {
  std::string body = AppearanceStream({"Firmado digitalmente por:", "A (b)", "Fecha: x"}, 160, 14);
  std::string content =
      "BT /Ft0 7.5 Tf 0 0 0 rg 4 22 Td (Firmado digitalmente por:) Tj 0 -9 Td (A \\(b\\)) Tj 0 -9 Td (Fecha: "
      "x) Tj "
      "ET\n";
  EXPECT_EQ(body,
            "<< /Type /XObject /Subtype /Form /FormType 1 /BBox [0 0 160 32] /Resources << /Font << /Ft0 14 "
            "0 R >> >> /Length " +
                std::to_string(content.size()) + " >>\nstream\n" + content + "endstream");
}

}  // namespace

// Cross-reference and predictor parameters from a hostile file: each row of the table is a
// case the fuzzer found or a limit that keeps the output in proportion to the input.
TEST(StreamParsers, HostileParametersStayBounded) {
  std::vector<XrefRecord> records;
  EXPECT_FALSE(ParseXrefStream("/W [-1 4 2] /Size 3", std::string(21, '\x01'), &records)) << "negative width";
  EXPECT_FALSE(ParseXrefStream("/W [1 9 2] /Size 3", std::string(36, '\x01'), &records))
      << "offset wider than 8";
  EXPECT_TRUE(ParseXrefStream("/W [1 2 1] /Index [5 1000000]", std::string(8, '\x01'), &records));
  EXPECT_EQ(records.size(), 2u) << "entries past the data are left out";

  std::string data = "\x02\x01\x02";  // one row of a predictor claiming 7 million columns
  EXPECT_EQ(Unpredict(&data, 12, 7122222, 1, 8), DecodeStatus::Ok);
  EXPECT_EQ(data, "\x01\x02");
  data = std::string("\x05\x01", 2);
  EXPECT_EQ(Unpredict(&data, 12, 1, 1, 8), DecodeStatus::Corrupt) << "row filter 5";

  std::vector<ObjectStreamEntry> entries;
  EXPECT_FALSE(ParseObjectStream("/N 2 /First 9", "1 0 2 99 <<>>", &entries)) << "offset past the data";
  EXPECT_TRUE(ParseObjectStream("/N 2 /First 8", "1 0 2 4 <<>><<>>", &entries));
  EXPECT_EQ(ObjectStreamText("1 0 2 4 <<>><<>>", entries, 0), "<<>>");
}
