// The engine's pixels against an independent renderer, and the engine under parallel callers.
#include <gtest/gtest.h>

#include <thread>

#include "tests/render/engine_loader.h"
#include "tests/render/raster_compare.h"
#include "tests/support/pdf_documents.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::Quote;
using testing_support::ReadFileBytes;
using testing_support::RunCommand;
using testing_support::TempDir;

struct Document {
  VyPdfDocument* handle = nullptr;
  int pages = 0;
  explicit Document(const std::string& path) {
    char message[512];
    handle = Engine::Get().Open(path.c_str(), &pages, message, sizeof message);
    EXPECT_NE(handle, nullptr) << path << ": " << message;
  }
  ~Document() { Engine::Get().Close(handle); }
};

// Poppler's pdftoppm, run on the same page at the same pixel size, is the reference: it
// shares no code of ours, so orientation, scaling, channel order, background and
// antialiasing mistakes all show. Both sides rasterise with Splash, so an honest match differs
// only by rounding (measured below 0.01 levels of 255). The bound of 0.25 is far above that
// and still below the smallest real fault measured on these pages: shapes drawn without
// antialiasing cost 0.30, text and shapes without it 4.9, a swapped channel far more.
constexpr double kMaxMeanDifference = 0.25;

TEST(Rendering, MatchesPdftoppm) {
  ASSERT_TRUE(Engine::Get().Ready());
  TempDir dir;
  struct Source {
    std::string name;
    std::string path;
  };
  std::vector<Source> sources;
  std::string cairo = dir.File("cairo.pdf"), a3 = dir.File("a3.pdf");
  ASSERT_TRUE(testing_support::WriteSamplePdf(cairo));
  ASSERT_TRUE(testing_support::WriteSamplePdf(a3, 1, 1190.55, 841.89));
  sources.push_back({"cairo", cairo});
  sources.push_back({"A3 apaisada", a3});
  testing_support::WriteFileText(dir.File("informe.ps"),
                                 "%!PS\n/Helvetica-Bold findfont 26 scalefont setfont\n"
                                 "72 740 moveto (Informe generado con Ghostscript) show\n"
                                 "/Times-Roman findfont 12 scalefont setfont\n"
                                 "0 1 30 { 72 exch 20 mul 90 add moveto (Linea de texto del informe, "
                                 "con letras y cifras 0123456789.) show } for\n"
                                 "1 0 0 setrgbcolor 320 560 120 80 rectfill 0 0.6 0 setrgbcolor 330 420 "
                                 "moveto 440 520 lineto 450 400 lineto closepath fill\n"
                                 "0 0 1 setrgbcolor 4 setlinewidth newpath 400 250 70 0 360 arc stroke\n"
                                 "showpage\n");
  auto gs = RunCommand("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sPAPERSIZE=a4 -o " +
                       Quote(dir.File("gs.pdf")) + " " + Quote(dir.File("informe.ps")));
  ASSERT_EQ(gs.status, 0) << gs.output;
  sources.push_back({"Ghostscript", dir.File("gs.pdf")});
  auto qpdf = RunCommand("qpdf --rotate=+90:1 " + Quote(cairo) + " " + Quote(dir.File("girada.pdf")));
  ASSERT_EQ(qpdf.status, 0) << qpdf.output;
  sources.push_back({"girada 90", dir.File("girada.pdf")});
  if (RunCommand("command -v soffice").status == 0) {
    testing_support::WriteFileText(dir.File("carta.txt"),
                                   "Carta de prueba\n\nTexto escrito con LibreOffice.\n");
    auto office = RunCommand("cd " + Quote(dir.path()) + " && soffice --headless --convert-to pdf carta.txt");
    if (office.status == 0) sources.push_back({"LibreOffice", dir.File("carta.pdf")});
  }

  for (const Source& source : sources) {
    SCOPED_TRACE(source.name);
    Document document(source.path);
    Page ours = RenderCopy(document.handle, 0, 600);
    ASSERT_TRUE(ours.ok) << ours.message;
    // Without -scale-dimension-before-rotation pdftoppm applies -scale-to-x to a turned page's
    // unturned width.
    auto run = RunCommand(
        "pdftoppm -f 1 -l 1 -singlefile -scale-dimension-before-rotation -scale-to-x 600 -scale-to-y " +
        std::to_string(ours.height) + " " + Quote(source.path) + " " + Quote(dir.File("ref")));
    ASSERT_EQ(run.status, 0) << run.output;
    Page reference = ReadPpm(ReadFileBytes(dir.File("ref.ppm")));
    ASSERT_TRUE(reference.ok);
    EXPECT_EQ(reference.width, ours.width);
    EXPECT_EQ(reference.height, ours.height);
    double difference = MeanDifference(ours, reference);
    EXPECT_GE(difference, 0);
    EXPECT_LE(difference, kMaxMeanDifference);
    if (source.name == "girada 90" || source.name == "A3 apaisada") {
      EXPECT_GT(ours.width, ours.height);
    }
  }
}

// Four threads share one handle and four more use a handle each; every raster must equal the
// one rendered alone.
TEST(Concurrency, ThreadsShareAHandleAndHandlesRunInParallel) {
  ASSERT_TRUE(Engine::Get().Ready());
  TempDir dir;
  std::string path = dir.File("muestra.pdf");
  ASSERT_TRUE(testing_support::WriteSamplePdf(path, 4));
  std::vector<Page> reference;
  {
    Document alone(path);
    for (int i = 0; i < alone.pages; ++i) reference.push_back(RenderCopy(alone.handle, i, 160));
  }
  ASSERT_EQ(reference.size(), 4u);
  auto renderAll = [&](VyPdfDocument* handle, int first, int* mismatches) {
    for (int round = 0; round < 2; ++round) {
      for (int k = 0; k < 4; ++k) {
        int page = (first + k) % 4;
        Page p = RenderCopy(handle, page, 160);
        if (!p.ok || p.rgba != reference[page].rgba) ++*mismatches;
      }
    }
  };
  int mismatches[8] = {};
  {
    Document shared(path);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) threads.emplace_back(renderAll, shared.handle, t, &mismatches[t]);
    for (int t = 4; t < 8; ++t) {
      threads.emplace_back([&, t] {
        Document own(path);
        renderAll(own.handle, t, &mismatches[t]);
        char message[256];
        std::string jpg = dir.File("hoja" + std::to_string(t) + ".jpg");
        if (Engine::Get().SavePageJpg(own.handle, t % 4, 160, 80, jpg.c_str(), message, sizeof message) != 1)
          ++mismatches[t];
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  for (int t = 0; t < 8; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

}  // namespace
