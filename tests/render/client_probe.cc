// A program on the engine client, run by the client's tests from a folder of their choosing
// (the client looks for the engine beside it). Each argument is one step; each step prints
// one line:
//   open:PATH              "open 3" (page count) or the message
//   render:PAGE:WIDTH      "render 100x141" or the message
//   jpeg:PAGE:PATH         "jpeg ok" or the message
//   loaded                 "loaded yes" when the engine library is mapped, else "loaded no"
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "render/client/document.h"

int main(int argc, char** argv) {
  std::unique_ptr<Vy::Pdf::IDocument> document;
  for (int i = 1; i < argc; ++i) {
    std::string step = argv[i];
    std::string message;
    if (step.rfind("open:", 0) == 0) {
      document = Vy::Pdf::OpenDocument(step.substr(5), &message);
      if (document) message = "open " + std::to_string(document->PageCount());
    } else if (step.rfind("render:", 0) == 0 && document) {
      int page = 0, width = 0;
      std::sscanf(step.c_str(), "render:%d:%d", &page, &width);
      Vy::Pdf::PageRaster raster;
      if (document->RenderPage(page, width, &raster, &message))
        message = "render " + std::to_string(raster.width) + "x" + std::to_string(raster.height);
    } else if (step.rfind("jpeg:", 0) == 0 && document) {
      int page = 0, consumed = 0;
      std::sscanf(step.c_str(), "jpeg:%d:%n", &page, &consumed);
      if (document->SavePageJpg(page, 200, 90, step.substr(consumed), &message)) message = "jpeg ok";
    } else if (step == "loaded") {
      std::ifstream maps("/proc/self/maps");
      std::string all((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
      message = all.find("libvyrender.so") != std::string::npos ? "loaded yes" : "loaded no";
    } else {
      message = "paso desconocido: " + step;
    }
    std::printf("%s\n", message.c_str());
  }
  return 0;
}
