#include "examples/TalvenNet/vote_rules.h"

#include <string_view>

#include "core/text.h"

bool IsSignatureCertificate(const std::string& holder, const std::string& label) {
  const std::string text = AsciiLower(holder + " " + label);
  constexpr std::string_view kCuts = " (),-./_";
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of(kCuts, start);
    if (end == std::string::npos) end = text.size();
    std::string_view word(text.data() + start, end - start);
    if (word == "fir" || word.starts_with("firma")) return true;
    start = end + 1;
  }
  return false;
}

namespace {

// EightDigits gives the first 8 digits of the first run of 8 or more, or empty.
std::string EightDigits(const std::string& text) {
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    run = text[i] >= '0' && text[i] <= '9' ? run + 1 : 0;
    if (run == 8) return text.substr(i - 7, 8);
  }
  return {};
}

}  // namespace

std::string DniNumber(const std::string& holder, const ParsedCertificate& certificate) {
  for (const std::string* text : {&holder, &certificate.subjectName, &certificate.serialHex}) {
    if (std::string digits = EightDigits(*text); !digits.empty()) return digits;
  }
  if (!certificate.serialHex.empty()) return "(sin numero de DNI, serie " + certificate.serialHex + ")";
  return "(numero de DNI no encontrado)";
}

std::string VoteBody(const std::string& dni, const std::string& holder, const std::string& challenge,
                     const Bytes& signature, const Bytes& certificateDer) {
  std::string cn;
  for (char c : holder)
    if (c != '"') cn.push_back(c);
  const std::string certificate = certificateDer.empty() ? std::string() : Base64Encode(certificateDer);
  auto member = [](const char* key, const std::string& value) {
    return std::string("\"") + key + "\":\"" + value + "\"";
  };
  const std::string inner = "{" + member("dni", dni) + "," + member("cn", cn) + "," +
                            member("reto", challenge) + "," + member("firma", Base64Encode(signature)) + "," +
                            member("certificado", certificate) + "}";
  std::string escaped;
  for (char c : inner) {
    if (c == '"') escaped.push_back('\\');
    escaped.push_back(c);
  }
  return "{\"datos\":\"" + escaped + "\"}";
}
