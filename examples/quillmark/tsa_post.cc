#include "examples/quillmark/tsa_post.h"

#include "net/http.h"

TimestampPost TsaPost(const std::string& url) {
  return [url](const Bytes& request, Bytes* response, std::string* error) {
    HttpResponse answer =
        HttpPostBinary(url, request, "application/timestamp-query", "application/timestamp-reply");
    if (!answer.error.empty()) {
      *error = "la autoridad de sellado de tiempo (" + url + ") no respondio: " + answer.error;
      return false;
    }
    if (answer.status != 200) {
      *error = "la autoridad de sellado de tiempo (" + url + ") respondio con el estado HTTP " +
               std::to_string(answer.status) + ".";
      return false;
    }
    *response = std::move(answer.body);
    return true;
  };
}
