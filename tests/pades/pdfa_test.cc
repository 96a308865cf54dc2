#include <gtest/gtest.h>

#include "pades/pdfa.h"

namespace {

TEST(Pdfa, ClaimFromXmpInEveryWayProducersWriteIt) {
  const std::string ns = "\"http://www.aiim.org/pdfa/ns/id/\"";
  struct Case {
    std::string xmp;
    int part;
    const char* conformance;
    const char* why;
  } cases[] = {
      {"<rdf:Description xmlns:pdfaid=" + ns + " pdfaid:part=\"2\" pdfaid:conformance=\"B\"/>", 2, "B",
       "attributes"},
      {"<rdf:Description xmlns:pdfaid='http://www.aiim.org/pdfa/ns/id/' pdfaid:part='1' "
       "pdfaid:conformance='B'/>",
       1, "B", "attributes in single quotes (Ghostscript)"},
      {"<rdf:Description rdf:about=\"\" xmlns:pdfaid=" + ns +
           ">\n <pdfaid:part> 3 </pdfaid:part>\n <pdfaid:conformance>A</pdfaid:conformance>",
       3, "A", "elements (LibreOffice), blanks around the value"},
      {"<x xmlns:id = " + ns + " id:part = \"2\" id:conformance=\"U\"/>", 2, "U", "another prefix, blanks"},
      {"<x xmlns:pdfaid=" + ns + " pdfaid:part=\"4\"/>", 4, "", "part 4 has no conformance"},
      {"<x pdfaid:part=\"2\"/>", 0, "", "a prefix bound to no namespace"},
      {"<x xmlns:pdfx=\"http://ns.adobe.com/pdfx/1.3/\" pdfx:part=\"2\"/>", 0, "", "another namespace"},
      {"<x xmlns:pdfaid=" + ns + " pdfaid:partner=\"2\"/>", 0, "", "a longer property name"},
      {"<x xmlns:pdfaid=" + ns + " pdfaid:part=\"0\"/>", 0, "", "part 0"},
      {"<x xmlns:pdfaid=" + ns + " pdfaid:part=\"two\"/>", 0, "", "not a number"},
      {"<x xmlns:pdfaid=" + ns + " pdfaid:part=\"2", 0, "", "cut off"},
      {"", 0, "", "no metadata"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    const PdfaClaim claim = ParsePdfaClaim(c.xmp);
    EXPECT_EQ(claim.part, c.part);
    EXPECT_EQ(claim.conformance, c.conformance);
  }
}

}  // namespace
