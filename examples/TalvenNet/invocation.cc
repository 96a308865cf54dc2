#include "examples/TalvenNet/invocation.h"

#include "core/bytes.h"
#include "core/text.h"

Invocation ReadInvocation(const std::vector<std::string>& arguments) {
  Invocation result;
  const std::string* url = nullptr;
  for (const std::string& argument : arguments) {
    if (argument.starts_with(kSchemePrefix)) {
      url = &argument;
      break;
    }
  }
  if (!url) return result;
  // The page writes "firmatalven://?..." or "firmatalven:///...": one character after the
  // prefix always goes. A whole code point goes, so a stray non-ASCII one leaves no half.
  size_t at = kSchemePrefix.size();
  if (at < url->size()) DecodeUtf8(*url, &at);
  at = url->find_first_not_of("/?&=", at);
  const std::string text = at == std::string::npos ? std::string() : url->substr(at);
  if (text.empty()) {
    result.message = "URL vacía (sin parámetros)";
    return result;
  }
  std::string query = text;
  const std::string lower = AsciiLower(text);
  if (lower.find("reto=") == std::string::npos && lower.find("codigo=") == std::string::npos) {
    DecodeTwiceBase64(text, &query);
  }
  std::map<std::string, std::string> values = ParseQueryString(query);
  if (values.empty()) {
    result.message = "No se encontraron parámetros:\n" + query;
    return result;
  }
  result.parameters.challenge = values["reto"];
  result.parameters.code = values["codigo"];
  result.parameters.host = values["host"];
  return result;
}

std::map<std::string, std::string> ParseQueryString(std::string_view text) {
  std::map<std::string, std::string> values;
  if (size_t q = text.find('?'); q != std::string_view::npos) text.remove_prefix(q + 1);
  while (!text.empty()) {
    size_t amp = text.find('&');
    std::string_view piece = text.substr(0, amp);
    text.remove_prefix(amp == std::string_view::npos ? text.size() : amp + 1);
    if (piece.empty()) continue;
    size_t eq = piece.find('=');
    std::string key = UrlDecode(piece.substr(0, eq));
    values[key] = eq == std::string_view::npos ? std::string() : UrlDecode(piece.substr(eq + 1));
  }
  return values;
}

std::string UrlDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(c == '+' ? ' ' : c);
    }
  }
  return out;
}

bool DecodeTwiceBase64(std::string_view text, std::string* out) {
  Bytes once, twice;
  if (!Base64Decode(text, &once) || !Base64Decode(ToText(once), &twice)) return false;
  *out = ToText(twice);
  return true;
}

std::string TitleWithCode(const std::string& title, const std::string& code) {
  return code.empty() ? title : title + " - Id [" + code + "]";
}
