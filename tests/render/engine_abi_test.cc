// The engine's C interface, through dlopen of the built library as a C caller uses it.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <set>
#include <sstream>

#include "tests/render/engine_loader.h"
#include "tests/render/raster_compare.h"
#include "tests/support/pdf_documents.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::ReadFileBytes;
using testing_support::RunCommand;
using testing_support::TempDir;
using testing_support::WriteFileText;

// Documents made once for the whole suite.
struct Documents {
  TempDir dir;
  std::string sample = dir.File("muestra.pdf");  // three A4 pages
  std::string wide = dir.File("franja.pdf");     // 10000 x 10 pt
  std::string tall = dir.File("tira.pdf");       // 10 x 14400 pt
  Documents() {
    EXPECT_TRUE(testing_support::WriteSamplePdf(sample, 3));
    EXPECT_TRUE(testing_support::WriteStripPdf(wide, 10000, 10));
    EXPECT_TRUE(testing_support::WriteStripPdf(tall, 10, 14400));
  }
};

Documents& Docs() {
  static Documents documents;
  return documents;
}

struct Opened {
  VyPdfDocument* document = nullptr;
  int pages = -1;
  std::string message;
};

Opened OpenPdf(const char* path) {
  Opened opened;
  char message[512];
  std::memset(message, 'X', sizeof message);
  opened.document = Engine::Get().Open(path, &opened.pages, message, sizeof message);
  opened.message = message;
  return opened;
}

// Handle closes its document at the end of the scope.
struct Handle {
  VyPdfDocument* document;
  explicit Handle(const std::string& path) : document(OpenPdf(path.c_str()).document) {}
  ~Handle() { Engine::Get().Close(document); }
};

class Abi : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Engine::Get().Ready()) << dlerror(); }
  Engine& engine = Engine::Get();
};

TEST_F(Abi, ExportsExactlyItsFunctions) {
  auto nm = RunCommand("nm -D --defined-only " + testing_support::Quote(VY_ENGINE_PATH));
  ASSERT_EQ(nm.status, 0) << nm.output;
  std::set<std::string> names;
  std::istringstream lines(nm.output);
  for (std::string line; std::getline(lines, line);) names.insert(line.substr(line.rfind(' ') + 1));
  EXPECT_EQ(names, (std::set<std::string>{"VyPdf_ApiVersion", "VyPdf_Open", "VyPdf_Close", "VyPdf_Free",
                                          "VyPdf_RenderPage", "VyPdf_SavePageJpg", "VyPdf_PageSizes",
                                          "VyPdf_PrefetchPage"}));
  EXPECT_EQ(engine.ApiVersion(), 1);
}

TEST_F(Abi, OpenRefusesWhatIsNotAReadablePdf) {
  TempDir dir;
  std::string fifo = dir.File("tuberia.pdf");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string garbage = dir.File("basura.pdf");
  WriteFileText(garbage, "esto no es un PDF");
  std::string locked = dir.File("cerrado.pdf");
  auto qpdf = RunCommand("qpdf --encrypt secreto secreto 256 -- " + testing_support::Quote(Docs().sample) +
                         " " + testing_support::Quote(locked));
  ASSERT_EQ(qpdf.status, 0) << qpdf.output;
  std::string empty = dir.File("sin_hojas.pdf");
  WriteFileText(empty,
                "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                "2 0 obj<</Type/Pages/Kids[]/Count 0>>endobj\ntrailer<</Root 1 0 R>>\n%%EOF\n");
  struct Case {
    const char* path;
    const char* message;  // expected prefix
  } cases[] = {
      {nullptr, "Ruta de archivo vacia."},
      {"", "Ruta de archivo vacia."},
      {"/no/existe.pdf", "No se encuentra el archivo PDF."},
      {dir.path().c_str(), "No se encuentra el archivo PDF."},
      {fifo.c_str(), "No se encuentra el archivo PDF."},  // must not block on the pipe
      {garbage.c_str(), "El archivo no es un PDF valido o esta danado"},
      {locked.c_str(), "El PDF esta protegido con contrasena."},
      {empty.c_str(), "El PDF no tiene hojas."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path ? c.path : "(null)");
    Opened opened = OpenPdf(c.path);
    EXPECT_EQ(opened.document, nullptr);
    EXPECT_EQ(opened.pages, 0);
    EXPECT_EQ(opened.message.rfind(c.message, 0), 0u) << opened.message;
  }
  VyPdfDocument* quiet = engine.Open(Docs().sample.c_str(), nullptr, nullptr, 0);  // every output optional
  EXPECT_NE(quiet, nullptr);
  engine.Close(quiet);
}

TEST_F(Abi, CallsCheckTheirArgumentsInOrder) {
  Opened opened = OpenPdf(Docs().sample.c_str());
  ASSERT_NE(opened.document, nullptr) << opened.message;
  EXPECT_EQ(opened.pages, 3);
  EXPECT_EQ(opened.message, "");
  VyPdfDocument* doc = opened.document;
  unsigned char dummy = 0;
  struct Case {
    const char* what;
    VyPdfDocument* document;
    int page;
    bool nullOutput;
    const char* message;
  } renders[] = {
      {"null handle", nullptr, 0, false, "Documento no abierto."},
      {"null handle before null output", nullptr, 0, true, "Documento no abierto."},
      {"null output", doc, 0, true, "Argumentos nulos."},
      {"null output before page", doc, 99, true, "Argumentos nulos."},
      {"page -1", doc, -1, false, "Pagina fuera de rango."},
      {"page = count", doc, 3, false, "Pagina fuera de rango."},
  };
  for (const Case& c : renders) {
    SCOPED_TRACE(c.what);
    unsigned char* pixels = &dummy;
    int width = 7, height = 7;
    char message[64];
    EXPECT_EQ(engine.RenderPage(c.document, c.page, 100, &pixels, c.nullOutput ? nullptr : &width, &height,
                                message, sizeof message),
              0);
    EXPECT_STREQ(message, c.message);
    EXPECT_EQ(pixels, nullptr);
    EXPECT_EQ(height, 0);
    if (!c.nullOutput) {
      EXPECT_EQ(width, 0);
    }
  }
  struct JpegCase {
    const char* what;
    VyPdfDocument* document;
    int page;
    const char* destination;
    const char* message;
  } jpegs[] = {
      {"null handle", nullptr, 0, "/tmp/x.jpg", "Documento no abierto."},
      {"null destination before page", doc, 99, nullptr, "Ruta de destino vacia."},
      {"empty destination", doc, 0, "", "Ruta de destino vacia."},
      {"page -1", doc, -1, "/tmp/x.jpg", "Pagina fuera de rango."},
      {"page = count", doc, 3, "/tmp/x.jpg", "Pagina fuera de rango."},
  };
  for (const JpegCase& c : jpegs) {
    SCOPED_TRACE(c.what);
    char message[64];
    EXPECT_EQ(engine.SavePageJpg(c.document, c.page, 100, 90, c.destination, message, sizeof message), 0);
    EXPECT_STREQ(message, c.message);
  }
  // Message buffers: size 1 holds only the NUL, size 10 the first nine bytes, size 0 or a null
  // buffer is left alone.
  unsigned char* pixels = nullptr;
  int w, h;
  char small[4] = {'X', 'X', 'X', 'X'};
  engine.RenderPage(doc, 3, 100, &pixels, &w, &h, small, 1);
  EXPECT_EQ(std::string(small, 4), std::string("\0XXX", 4));
  char ten[16];
  std::memset(ten, 'X', sizeof ten);
  engine.RenderPage(doc, 3, 100, &pixels, &w, &h, ten, 10);
  EXPECT_EQ(std::string(ten, 11), std::string("Pagina fu\0X", 11));
  std::memset(ten, 'X', sizeof ten);
  engine.RenderPage(doc, 3, 100, &pixels, &w, &h, ten, 0);
  engine.RenderPage(doc, 3, 100, &pixels, &w, &h, nullptr, 10);
  EXPECT_EQ(ten[0], 'X');
  // A failed call leaves the document usable.
  Page page = RenderCopy(doc, 2, 100);
  EXPECT_TRUE(page.ok) << page.message;
  EXPECT_EQ(page.message, "");
  engine.Close(doc);
  engine.Close(nullptr);
  engine.Free(nullptr);
}

TEST_F(Abi, WidthIsClampedAndHeightFollowsThePage) {
  struct Case {
    const std::string& path;
    int asked;
    int width;
    int height;  // lround(page height / page width * width), at least 1
  } cases[] = {
      {Docs().sample, 0, 16, 23},     {Docs().sample, -5, 16, 23},     {Docs().sample, 15, 16, 23},
      {Docs().sample, 600, 600, 849}, {Docs().wide, 16, 16, 1},        {Docs().wide, 6000, 6000, 6},
      {Docs().wide, 6001, 6000, 6},   {Docs().wide, 1 << 30, 6000, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.asked);
    Handle handle(c.path);
    Page page = RenderCopy(handle.document, 0, c.asked);
    ASSERT_TRUE(page.ok) << page.message;
    EXPECT_EQ(page.width, c.width);
    EXPECT_EQ(page.height, c.height);
    bool opaque = true;
    for (size_t i = 3; i < page.rgba.size(); i += 4) opaque = opaque && page.rgba[i] == 255;
    EXPECT_TRUE(opaque);
  }
  // A page that would need more than 64 Mpx at the asked width is refused rather than allowed
  // to exhaust memory, and its document stays usable.
  Handle tall(Docs().tall);
  Page huge = RenderCopy(tall.document, 0, 6000);
  EXPECT_FALSE(huge.ok);
  EXPECT_EQ(huge.message, "La hoja es demasiado grande para rasterizarla a este ancho.");
  Page narrow = RenderCopy(tall.document, 0, 16);
  EXPECT_TRUE(narrow.ok) << narrow.message;
  EXPECT_EQ(narrow.height, 23040);
}

TEST_F(Abi, PageSizesAndPagesRenderedAhead) {
  Handle sample(Docs().sample), wide(Docs().wide);
  float sizes[6] = {};
  char message[64];
  ASSERT_EQ(engine.PageSizes(sample.document, 0, 3, sizes, message, sizeof message), 1) << message;
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(sizes[2 * i], 595.3, 0.5);  // A4
    EXPECT_NEAR(sizes[2 * i + 1], 841.9, 0.5);
  }
  ASSERT_EQ(engine.PageSizes(wide.document, 0, 1, sizes, message, sizeof message), 1) << message;
  EXPECT_EQ(sizes[0], 10000);
  EXPECT_EQ(sizes[1], 10);
  struct Case {
    const char* what;
    VyPdfDocument* document;
    int first, count;
    float* sizes;
    const char* message;
  } refused[] = {
      {"null handle", nullptr, 0, 1, sizes, "Documento no abierto."},
      {"null buffer", sample.document, 0, 1, nullptr, "Argumentos nulos."},
      {"no pages asked", sample.document, 0, 0, sizes, "Pagina fuera de rango."},
      {"past the end", sample.document, 1, 3, sizes, "Pagina fuera de rango."},
      {"before the start", sample.document, -1, 2, sizes, "Pagina fuera de rango."},
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(engine.PageSizes(c.document, c.first, c.count, c.sizes, message, sizeof message), 0);
    EXPECT_STREQ(message, c.message);
  }

  // A page rendered ahead is the same page as one rendered when asked for.
  Page direct = RenderCopy(sample.document, 1, 400);
  EXPECT_EQ(engine.PrefetchPage(sample.document, 1, 400), 1);
  Page ahead = RenderCopy(sample.document, 1, 400);
  ASSERT_TRUE(ahead.ok) << ahead.message;
  EXPECT_EQ(ahead.rgba, direct.rgba);
  EXPECT_EQ(engine.PrefetchPage(sample.document, 3, 400), 0);
  EXPECT_EQ(engine.PrefetchPage(nullptr, 0, 400), 0);
  // Closing right after asking for pages ahead drops them instead of waiting for them.
  VyPdfDocument* closing = OpenPdf(Docs().sample.c_str()).document;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(engine.PrefetchPage(closing, i, 6000), 1);
  engine.Close(closing);
}

TEST_F(Abi, JpegIsThePageRaster) {
  TempDir dir;
  Handle handle(Docs().sample);
  auto save = [&](int quality, const std::string& name, int width = 300) {
    char message[256];
    int ok = engine.SavePageJpg(handle.document, 1, width, quality, dir.File(name).c_str(), message,
                                sizeof message);
    EXPECT_EQ(ok, 1) << message;
    return ReadFileBytes(dir.File(name));
  };
  // The destination exists already: it is replaced by the whole file.
  WriteFileText(dir.File("q90.jpg"), "contenido anterior");
  Page jpeg = DecodeJpeg(save(90, "q90.jpg"));
  Page raster = RenderCopy(handle.document, 1, 300);
  ASSERT_TRUE(jpeg.ok && raster.ok);
  EXPECT_EQ(jpeg.width, raster.width);
  EXPECT_EQ(jpeg.height, raster.height);
  // JPEG at quality 90 loses a few levels on text edges; swapped channels would lose far more
  // on the page's saturated shapes.
  EXPECT_LT(MeanDifference(jpeg, raster), 3.0);
  // Quality is clamped to 1 ... 100, and it matters in between.
  Bytes q0 = save(0, "q0.jpg"), q1 = save(1, "q1.jpg"), q50 = save(50, "q50.jpg");
  Bytes q100 = save(100, "q100.jpg"), q150 = save(150, "q150.jpg");
  EXPECT_EQ(q0, q1);
  EXPECT_EQ(q150, q100);
  EXPECT_LT(q1.size(), q50.size());
  EXPECT_LT(q50.size(), q100.size());
  EXPECT_EQ(DecodeJpeg(save(90, "w10.jpg", 10)).width, 16);
  EXPECT_EQ(dir.Entries().size(), 7u);  // no temporary file left behind
}

TEST_F(Abi, FailedJpegLeavesTheDestinationAsItWas) {
  TempDir dir;
  Handle handle(Docs().sample);
  char message[256];
  std::string missingFolder = dir.File("no/existe.jpg");
  EXPECT_EQ(engine.SavePageJpg(handle.document, 0, 200, 90, missingFolder.c_str(), message, sizeof message),
            0);
  EXPECT_STREQ(message, "No se pudo crear el archivo JPG.");
  EXPECT_EQ(engine.SavePageJpg(handle.document, 0, 200, 90, dir.path().c_str(), message, sizeof message), 0);
  EXPECT_STREQ(message, "No se pudo crear el archivo JPG.");

  // A file-size limit makes the write fail part way, as a full disk would.
  std::string destination = dir.File("hoja.jpg");
  WriteFileText(destination, "contenido anterior");
  rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  int ok = engine.SavePageJpg(handle.document, 0, 1200, 95, destination.c_str(), message, sizeof message);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(ok, 0);
  EXPECT_STREQ(message, "No se pudo escribir el archivo JPG.");
  Bytes kept = ReadFileBytes(destination);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "contenido anterior");
  EXPECT_EQ(dir.Entries().size(), 1u);
}

}  // namespace
