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

std::string DniNumber(const std::string& holder, const ParsedCertificate& certificate) {
  for (const std::string* text : {&holder, &certificate.subjectName, &certificate.serialHex}) {
    if (std::string digits = DniDigits(*text); !digits.empty()) return digits;
  }
  if (!certificate.serialHex.empty()) return "(sin numero de DNI, serie " + certificate.serialHex + ")";
  return "(numero de DNI no encontrado)";
}

namespace {

// JsonEscaped writes `text` as the inside of a JSON string. Ordinary text passes unchanged; a
// quote, a backslash or a control character would otherwise end the string early or break the
// document, so a challenge from the voting page cannot reshape the body.
std::string JsonEscaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c < 0x20) {
      static const char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

}  // namespace

std::string VoteBody(const std::string& dni, const std::string& holder, const std::string& challenge,
                     const Bytes& signature, const Bytes& certificateDer) {
  std::string cn;
  for (char c : holder)
    if (c != '"') cn.push_back(c);
  const std::string certificate = certificateDer.empty() ? std::string() : Base64Encode(certificateDer);
  auto member = [](const char* key, const std::string& value) {
    return std::string("\"") + key + "\":\"" + JsonEscaped(value) + "\"";
  };
  const std::string inner = "{" + member("dni", dni) + "," + member("cn", cn) + "," +
                            member("reto", challenge) + "," + member("firma", Base64Encode(signature)) + "," +
                            member("certificado", certificate) + "}";
  return "{\"datos\":\"" + JsonEscaped(inner) + "\"}";
}
