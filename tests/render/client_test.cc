// The engine client's binding and its messages, with the real engine and with test builds of
// it, each placed beside a copy of a probe program (the binding is made once per process).
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/pdf_documents.h"
#include "tests/support/test_support.h"

namespace {

using testing_support::Quote;
using testing_support::RunCommand;
using testing_support::TempDir;

TEST(Client, BindsTheEngineBesideTheProgramAndReportsWhatIsWrong) {
  TempDir docs;
  std::string pdf = docs.File("muestra.pdf");
  ASSERT_TRUE(testing_support::WriteSamplePdf(pdf, 3));
  std::string missing = docs.File("no_existe.pdf");
  std::string jpg = docs.File("hoja.jpg");
  struct Case {
    const char* engine;  // library placed beside the probe as libvyrender.so, or "" for none
    std::vector<std::string> steps;
    std::string expected;
  } cases[] = {
      {"",
       {"open:" + missing, "loaded", "open:" + pdf, "open:" + pdf},
       "No se encuentra el archivo PDF.\nloaded no\n"
       "No se encontro libvyrender.so junto al ejecutable.\n"
       "No se encontro libvyrender.so junto al ejecutable.\n"},
      {VY_REAL_ENGINE,
       {"open:" + missing, "loaded", "open:" + pdf, "loaded", "render:0:100", "render:7:100", "render:-1:100",
        "render:0:1", "jpeg:0:" + jpg, "jpeg:3:" + jpg, "jpeg:0:"},
       "No se encuentra el archivo PDF.\nloaded no\nopen 3\nloaded yes\nrender 100x141\n"
       "Pagina fuera de rango (8).\nPagina fuera de rango (0).\nrender 16x23\njpeg ok\n"
       "Pagina fuera de rango (4).\nRuta de destino vacia.\n"},
      {VY_FAKE_ENGINE_DIR "/libfake_no_render.so",
       {"open:" + pdf},
       "libvyrender.so incompleta (faltan exportaciones).\n"},
      {VY_FAKE_ENGINE_DIR "/libfake_version2.so",
       {"open:" + pdf},
       "libvyrender.so con una version inesperada del ABI.\n"},
      {VY_FAKE_ENGINE_DIR "/libfake_no_version.so", {"open:" + pdf, "render:1:50"}, "open 2\nrender 2x2\n"},
      {VY_FAKE_ENGINE_DIR "/libfake_no_jpeg.so",
       {"open:" + pdf, "render:0:50", "jpeg:0:" + jpg},
       "open 2\nrender 2x2\nlibvyrender.so no exporta VyPdf_SavePageJpg.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(*c.engine ? c.engine : "(sin motor)");
    TempDir folder;
    std::filesystem::copy_file(VY_CLIENT_PROBE, folder.File("probe"));
    std::filesystem::permissions(folder.File("probe"), std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    if (*c.engine) std::filesystem::copy_file(c.engine, folder.File("libvyrender.so"));
    std::string command = "env -u LD_LIBRARY_PATH " + Quote(folder.File("probe"));
    for (const std::string& step : c.steps) command += " " + Quote(step);
    auto run = RunCommand(command);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, c.expected);
  }
}

}  // namespace
