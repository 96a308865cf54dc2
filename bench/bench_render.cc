// bench_render: the render engine against pdftoppm on three kinds of document (a text page, a
// scanned-image document of about 20 MB, a vector-heavy page). For each: open and render page
// 1 at 912 pixels, each further page, and peak RSS. pdftoppm runs as a whole process with PPM
// output, as a viewer that starts it would; the engine runs in a fresh process of its own, so
// its first page pays the library's load and Poppler's start-up like the signer's first
// document does ("2o doc" is page 1 of the next document in the same process). That process
// is bench_render_engine, which links nothing but the C library, so its peak RSS compares
// with pdftoppm's. Wall and CPU times are each the least of five runs: on a shared machine CPU
// time is the steadier figure.
//   bench_render [folder (default /dev/shm, else $TMPDIR or /tmp)]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "bench/bench_documents.h"
#include "bench/spawn.h"

namespace {

// Figures of one engine run, in milliseconds: page 1 from loading the library, each further
// page, and page 1 of a second open.
struct Figures {
  Clock first{1e9, 1e9}, perPage{1e9, 1e9}, warm{1e9, 1e9};
  double peakMiB = 0;
  bool ok = false;
};

Figures Ours(const std::string& pdf, int pages, const std::string& out) {
  Figures best;
  auto least = [](Clock* kept, const Clock& c) {
    *kept = {std::min(kept->wall, c.wall), std::min(kept->cpu, c.cpu)};
  };
  for (int i = 0; i < 5; ++i) {
    Run run = Spawn({VY_BENCH_ENGINE_RUNNER, pdf, std::to_string(pages), out});
    Figures f;
    FILE* in = std::fopen(out.c_str(), "r");
    bool read = in && std::fscanf(in, "%lf %lf %lf %lf %lf %lf", &f.first.wall, &f.first.cpu, &f.perPage.wall,
                                  &f.perPage.cpu, &f.warm.wall, &f.warm.cpu) == 6;
    if (in) std::fclose(in);
    if (!run.ok || !read) return Figures{};
    least(&best.first, f.first);
    least(&best.perPage, f.perPage);
    least(&best.warm, f.warm);
    best.peakMiB = std::max(best.peakMiB, run.peakMiB);
    best.ok = true;
  }
  return best;
}

Run Pdftoppm(const std::string& pdf, int last, const std::string& out) {
  return Best({"pdftoppm", "-f", "1", "-l", std::to_string(last), "-scale-to-x", "912", "-scale-to-y", "-1",
               pdf, out},
              5);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--make") {
    auto kind = static_cast<BenchDocument>(std::atoi(argv[2]));
    return WriteBenchDocument(kind, argv[3], std::atoi(argv[4])) ? 0 : 1;
  }
  const char* tmp = std::getenv("TMPDIR");
  std::string base = argc > 1                        ? argv[1]
                     : access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                     : tmp && *tmp                   ? tmp
                                                     : "/tmp";
  std::string dir = base + "/bench-render-" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  struct Document {
    const char* name;
    BenchDocument kind;
    int pages;
  } documents[] = {{"texto", BenchDocument::kText, 4},
                   {"escaneado", BenchDocument::kScanned, 8},
                   {"vectorial", BenchDocument::kVector, 4}};
  std::printf(
      "Hojas a 912 px; tiempos en ms (pdftoppm: proceso entero con salida PPM; motor: desde cargar la "
      "biblioteca).\n");
  std::printf("%-10s %5s %-5s | %8s %8s %5s | %8s %8s %5s | %7s | %9s %9s\n", "documento", "MB", "",
              "pdftoppm", "motor", "x", "pdftoppm", "motor", "x", "motor", "pdftoppm", "motor");
  std::printf("%-10s %5s %-5s | %8s %8s %5s | %8s %8s %5s | %7s | %9s %9s\n", "", "", "", "hoja 1", "hoja 1",
              "", "+1 hoja", "+1 hoja", "", "2o doc", "RSS MiB", "RSS MiB");
  bool ok = true;
  for (const Document& d : documents) {
    std::string pdf = dir + "/" + d.name + ".pdf";
    // Drawn in a process of its own: a child's peak RSS counts its parent's from before exec.
    if (!Spawn({"/proc/self/exe", "--make", std::to_string(static_cast<int>(d.kind)), pdf,
                std::to_string(d.pages)})
             .ok) {
      std::fprintf(stderr, "bench_render: no se pudo generar %s\n", pdf.c_str());
      return 1;
    }
    double megabytes = double(std::filesystem::file_size(pdf)) / 1e6;
    Run one = Pdftoppm(pdf, 1, dir + "/ppm");
    Run all = Pdftoppm(pdf, d.pages, dir + "/ppm");
    Figures ours = Ours(pdf, d.pages, dir + "/figures.txt");
    if (!one.ok || !all.ok || !ours.ok) {
      std::fprintf(stderr, "bench_render: %s fallo\n", d.name);
      ok = false;
      continue;
    }
    // pdftoppm's cost of a further page: its run over every page less its run over page 1.
    Clock peerFirst{one.seconds * 1e3, one.cpuSeconds * 1e3};
    Clock peerPage{(all.seconds - one.seconds) * 1e3 / (d.pages - 1),
                   (all.cpuSeconds - one.cpuSeconds) * 1e3 / (d.pages - 1)};
    double peerMiB = std::max(one.peakMiB, all.peakMiB);
    // A ratio of two figures; "--" when noise made the peer's difference of two runs worthless.
    auto ratio = [](double ours, double peer) {
      char text[16] = "   --";
      if (peer > 0) std::snprintf(text, sizeof text, "%5.2f", ours / peer);
      return std::string(text);
    };
    std::printf("%-10s %5.1f %-5s | %8.1f %8.1f %s | %8.1f %8.1f %s | %7.1f | %9.1f %9.1f\n", d.name,
                megabytes, "real", peerFirst.wall, ours.first.wall,
                ratio(ours.first.wall, peerFirst.wall).c_str(), peerPage.wall, ours.perPage.wall,
                ratio(ours.perPage.wall, peerPage.wall).c_str(), ours.warm.wall, peerMiB, ours.peakMiB);
    std::printf("%-10s %5s %-5s | %8.1f %8.1f %s | %8.1f %8.1f %s | %7.1f |\n", "", "", "CPU", peerFirst.cpu,
                ours.first.cpu, ratio(ours.first.cpu, peerFirst.cpu).c_str(), peerPage.cpu, ours.perPage.cpu,
                ratio(ours.perPage.cpu, peerPage.cpu).c_str(), ours.warm.cpu);
  }
  std::printf(
      "Objetivos: hoja 1 <= 0.80 x pdftoppm; cada hoja mas <= 1.10 x pdftoppm; memoria: un documento y un "
      "raster.\n");
  std::filesystem::remove_all(dir);
  return ok ? 0 : 1;
}
