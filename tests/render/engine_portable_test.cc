// The engine's portable layer (exports, worker, tasks, the platform's file writing) over a
// scripted renderer, so that it runs wherever the platform renderer cannot: under Wine, which
// has no Windows.Data.Pdf, as well as on Linux.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "render/engine/page_renderer.h"
#include "render/engine/vyrender.h"

#ifdef _WIN32
#include <windows.h>

#include "render/engine/platform.h"
#endif

namespace {

// The script every renderer of this test follows, and what the renderers were asked.
struct Script {
  std::mutex mutex;
  std::string openFailure;  // non-empty: Open fails with it
  int pages = 2;
  float pageWidth = 600, pageHeight = 800;
  size_t jpegSize = 16;
  std::string jpegFailure;
  std::vector<std::pair<int, int>> rendered;  // width, height asked
  std::vector<int> qualities;
} script;

class ScriptedRenderer final : public vyrender::PageRenderer {
 public:
  bool Open(const std::string&, std::string* message) override {
    std::lock_guard<std::mutex> lock(script.mutex);
    *message = script.openFailure;
    return script.openFailure.empty();
  }
  int PageCount() override { return script.pages; }
  bool PageSize(int, float* width, float* height, std::string*) override {
    std::lock_guard<std::mutex> lock(script.mutex);
    *width = script.pageWidth;
    *height = script.pageHeight;
    return true;
  }
  bool Render(int index, int width, int height, vyrender::Raster* raster, std::string* message) override {
    std::lock_guard<std::mutex> lock(script.mutex);
    script.rendered.emplace_back(width, height);
    if (!raster->Allocate(width, height)) {
      *message = "Sin memoria.";
      return false;
    }
    for (size_t i = 0; i < raster->size; ++i) raster->pixels.get()[i] = static_cast<uint8_t>(i * 3 + index);
    return true;
  }
  bool EncodeJpeg(const vyrender::Raster&, int quality, std::vector<uint8_t>* jpeg,
                  std::string* message) override {
    std::lock_guard<std::mutex> lock(script.mutex);
    script.qualities.push_back(quality);
    *message = script.jpegFailure;
    for (size_t i = 0; i < script.jpegSize; ++i) jpeg->push_back(static_cast<uint8_t>(i * 7 + quality));
    return script.jpegFailure.empty();
  }
};

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class Portable : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("vyrender-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ / "hoja.pdf") << "%PDF-1.4\n";
    pdf_ = Utf8(dir_ / "hoja.pdf");
    std::lock_guard<std::mutex> lock(script.mutex);
    script.openFailure.clear();
    script.jpegFailure.clear();
    script.pages = 2;
    script.rendered.clear();
    script.qualities.clear();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::filesystem::path dir_;
  std::string pdf_;
  char message_[256] = "";
};

TEST_F(Portable, PagesRenderAndSaveThroughTheExports) {
  int pages = 0;
  VyPdfDocument* document = VyPdf_Open(pdf_.c_str(), &pages, message_, sizeof message_);
  ASSERT_NE(document, nullptr) << message_;
  EXPECT_EQ(pages, 2);

  // Widths are clamped before the renderer sees them; the height follows the page, at least 1.
  struct Case {
    float pageWidth, pageHeight;
    int width, pixelWidth, pixelHeight;
    const char* message;
  } cases[] = {
      {600, 800, 300, 300, 400, ""},    {600, 800, 1, 16, 21, ""},
      {10000, 10, 16, 16, 1, ""},       {0, 0, 300, 0, 0, "La hoja no tiene tamano valido."},
      {600, 100, 9000, 6000, 1000, ""},  // and the document still works after the failure
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    {
      std::lock_guard<std::mutex> lock(script.mutex);
      script.pageWidth = c.pageWidth;
      script.pageHeight = c.pageHeight;
    }
    unsigned char* pixels = nullptr;
    int width = -1, height = -1;
    EXPECT_EQ(VyPdf_RenderPage(document, 1, c.width, &pixels, &width, &height, message_, sizeof message_),
              c.message[0] ? 0 : 1);
    EXPECT_STREQ(message_, c.message);
    EXPECT_EQ(width, c.pixelWidth);
    EXPECT_EQ(height, c.pixelHeight);
    if (pixels) {
      EXPECT_EQ(pixels[5], static_cast<unsigned char>(5 * 3 + 1));
    }
    VyPdf_Free(pixels);
  }

  // JPEG files: quality clamped, more than one 8 MiB write, an existing file replaced whole,
  // and left as it was when the encoder fails.
  const std::filesystem::path jpeg = dir_ / u8"hoja ñ.jpg";
  std::ofstream(jpeg) << "anterior";
  {
    std::lock_guard<std::mutex> lock(script.mutex);
    script.pageWidth = 600;
    script.pageHeight = 800;
    script.jpegSize = (8u << 20) + 123;
  }
  for (int quality : {0, -5, 150, 90})
    EXPECT_EQ(VyPdf_SavePageJpg(document, 0, 100, quality, Utf8(jpeg).c_str(), message_, sizeof message_), 1)
        << message_;
  {
    std::lock_guard<std::mutex> lock(script.mutex);
    EXPECT_EQ(script.qualities, (std::vector<int>{1, 1, 100, 90}));
  }
  const std::string written = ReadAll(jpeg);
  ASSERT_EQ(written.size(), (8u << 20) + 123);
  EXPECT_EQ(static_cast<uint8_t>(written.back()), static_cast<uint8_t>(((8u << 20) + 122) * 7 + 90));
  EXPECT_EQ(VyPdf_SavePageJpg(document, 0, 100, 90, Utf8(dir_ / "no" / "hay.jpg").c_str(), message_,
                              sizeof message_),
            0);
  EXPECT_STREQ(message_, "No se pudo crear el archivo JPG.");
  {
    std::lock_guard<std::mutex> lock(script.mutex);
    script.jpegFailure = "El codificador fallo.";
  }
  EXPECT_EQ(VyPdf_SavePageJpg(document, 0, 100, 90, Utf8(jpeg).c_str(), message_, sizeof message_), 0);
  EXPECT_STREQ(message_, "El codificador fallo.");
  EXPECT_EQ(ReadAll(jpeg), written);
  VyPdf_Close(document);
  // Nothing but the JPEG file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()),
            2);
}

TEST_F(Portable, PageSizesAndAPageRenderedAheadOnce) {
  VyPdfDocument* document = VyPdf_Open(pdf_.c_str(), nullptr, message_, sizeof message_);
  ASSERT_NE(document, nullptr) << message_;
  float sizes[4] = {};
  ASSERT_EQ(VyPdf_PageSizes(document, 0, 2, sizes, message_, sizeof message_), 1) << message_;
  EXPECT_EQ(std::vector<float>(sizes, sizes + 4), (std::vector<float>{600, 800, 600, 800}));
  EXPECT_EQ(VyPdf_PrefetchPage(document, 1, 300), 1);
  auto rendered = [] {
    std::lock_guard<std::mutex> lock(script.mutex);
    return script.rendered.size();
  };
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (rendered() < 1 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  // The render asked for takes the page rendered ahead; the next one renders again.
  for (size_t expected : {1u, 2u}) {
    unsigned char* pixels = nullptr;
    int width = 0, height = 0;
    ASSERT_EQ(VyPdf_RenderPage(document, 1, 300, &pixels, &width, &height, message_, sizeof message_), 1);
    EXPECT_EQ(pixels[5], static_cast<unsigned char>(5 * 3 + 1));
    EXPECT_EQ(height, 400);
    VyPdf_Free(pixels);
    EXPECT_EQ(rendered(), expected);
  }
  VyPdf_Close(document);
}

TEST_F(Portable, OpenFailuresCarryTheRenderersMessage) {
  struct Case {
    std::string failure;
    int pages;
    const char* message;
  } cases[] = {
      {"El PDF esta protegido con contrasena.", 2, "El PDF esta protegido con contrasena."},
      {"", 0, "El PDF no tiene hojas."},
  };
  for (const Case& c : cases) {
    {
      std::lock_guard<std::mutex> lock(script.mutex);
      script.openFailure = c.failure;
      script.pages = c.pages;
    }
    int pages = -1;
    EXPECT_EQ(VyPdf_Open(pdf_.c_str(), &pages, message_, sizeof message_), nullptr);
    EXPECT_STREQ(message_, c.message);
    EXPECT_EQ(pages, 0);
  }
}

#ifdef _WIN32
// The Windows Runtime's storage calls refuse relative paths and forward slashes, which the
// engine's checks and its callers accept: the renderer hands them the absolute form.
TEST(WindowsPaths, RendererGetsAbsolutePathsWithBackslashes) {
  wchar_t current[MAX_PATH + 1] = {};
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH + 1, current), 0u);
  std::wstring here = current;
  if (!here.empty() && here.back() == L'\\') here.pop_back();
  const struct {
    std::string path;
    std::wstring full;
  } cases[] = {
      {"docs/a.pdf", here + L"\\docs\\a.pdf"},
      {"./docs\\viejo/../a.pdf", here + L"\\docs\\a.pdf"},
      {"C:/datos/informe.pdf", L"C:\\datos\\informe.pdf"},
      {"C:\\datos\\informe.pdf", L"C:\\datos\\informe.pdf"},
      {"//servidor/recurso/a.pdf", L"\\\\servidor\\recurso\\a.pdf"},
      {"a\xC3\xB1o/\xC3\xB1" "and\xC3\xBA.pdf", here + L"\\a\u00F1o\\\u00F1and\u00FA.pdf"},
      {"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(vyrender::platform::FullPath(c.path), c.full) << c.path;
}
#endif

}  // namespace

std::unique_ptr<vyrender::PageRenderer> vyrender::CreatePageRenderer() {
  return std::make_unique<ScriptedRenderer>();
}
