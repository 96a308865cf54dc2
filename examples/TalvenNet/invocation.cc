#include "examples/TalvenNet/invocation.h"

#include <algorithm>

#include "core/bytes.h"
#include "core/text.h"

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool AllDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), IsDigit);
}

// IsLink tells an argument that names a URL scheme ("x-y:" and on; a single letter is a
// Windows drive) from the other words of a command line.
bool IsLink(std::string_view argument) {
  const size_t colon = argument.find(':');
  if (colon == std::string_view::npos || colon < 2 || !IsAlpha(argument[0])) return false;
  return std::all_of(argument.begin(), argument.begin() + colon,
                     [](char c) { return IsAlpha(c) || IsDigit(c) || c == '+' || c == '-' || c == '.'; });
}

bool IsIpv4(std::string_view text) {
  for (int part = 0; part < 4; ++part) {
    const size_t dot = text.find('.');
    const std::string_view number = text.substr(0, dot);
    if (number.empty() || number.size() > 3 || !AllDigits(number) ||
        (number.size() > 1 && number[0] == '0') || std::stoi(std::string(number)) > 255)
      return false;
    if ((dot == std::string_view::npos) != (part == 3)) return false;
    text.remove_prefix(part == 3 ? text.size() : dot + 1);
  }
  return true;
}

// IsIpv6 reads eight groups of 1 to 4 hex digits, or fewer around one "::", the last two
// possibly written as an IPv4 address.
bool IsIpv6(std::string_view text) {
  int groups = 0;
  bool gap = text.starts_with("::");
  if (gap) text.remove_prefix(2);
  while (!text.empty()) {
    const size_t colon = text.find(':');
    const std::string_view group = text.substr(0, colon);
    if (colon == std::string_view::npos && group.find('.') != std::string_view::npos) {
      if (!IsIpv4(group)) return false;
      groups += 2;
      break;
    }
    if (group.empty() || group.size() > 4 ||
        !std::all_of(group.begin(), group.end(), [](char c) { return HexValue(c) >= 0; }))
      return false;
    ++groups;
    if (colon == std::string_view::npos) break;
    text.remove_prefix(colon + 1);
    if (text.starts_with(":")) {
      if (gap) return false;
      gap = true;
      text.remove_prefix(1);
    } else if (text.empty()) {
      return false;  // a lone ':' at the end
    }
  }
  return gap ? groups < 8 : groups == 8;
}

bool IsDnsName(std::string_view text) {
  if (text.empty() || text.size() > 253) return false;
  for (;;) {
    const size_t dot = text.find('.');
    const std::string_view label = text.substr(0, dot);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-' ||
        !std::all_of(label.begin(), label.end(), [](char c) { return IsAlpha(c) || IsDigit(c) || c == '-'; }))
      return false;  // an empty label is also a trailing dot or two dots in a row
    if (dot == std::string_view::npos) return !AllDigits(label);
    text.remove_prefix(dot + 1);
  }
}

bool IsPort(std::string_view text) {
  if (text.empty() || text.size() > 5 || !AllDigits(text)) return false;
  const int value = std::stoi(std::string(text));
  return value >= 1 && value <= 65535;
}

// HasControl finds C0 controls, DEL and the C1 controls (U+0080 to U+009F, C2 80 to C2 9F).
bool HasControl(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) return true;
    if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F &&
        static_cast<unsigned char>(text[i + 1]) >= 0x80)
      return true;
  }
  return false;
}

// Refuse fills the refusal and leaves nothing of the link usable.
Invocation Refuse(std::string reason, std::string_view evidence) {
  Invocation refused;
  refused.refusal = "Enlace rechazado: " + std::move(reason);
  refused.evidence = LogExcerpt(evidence);
  return refused;
}

// Checked refuses parameters that cannot have come from the voting page, naming the first
// one that is wrong.
Invocation Checked(Invocation invocation) {
  const InvocationParameters& p = invocation.parameters;
  if (!p.host.empty() && !IsServiceHost(p.host))
    return Refuse("el servidor indicado no es un nombre de dominio ni una dirección IP.", "host=" + p.host);
  if (!AllDigits(p.code) || p.code.size() > kMaxCodeDigits)
    return Refuse("el código debe tener solo cifras (" + std::to_string(kMaxCodeDigits) + " como máximo).",
                  "codigo=" + p.code);
  if (p.challenge.size() > kMaxChallengeBytes)
    return Refuse("el reto supera los " + std::to_string(kMaxChallengeBytes) + " bytes.",
                  "reto=" + p.challenge);
  if (HasControl(p.challenge))
    return Refuse("el reto contiene caracteres de control.", "reto=" + p.challenge);
  return invocation;
}

}  // namespace

Invocation ReadInvocation(const std::vector<std::string>& arguments) {
  Invocation result;
  const std::string* url = nullptr;
  for (const std::string& argument : arguments) {
    if (argument.starts_with(kSchemePrefix)) {
      url = &argument;
      break;
    }
  }
  if (!url) {
    // A link the page got wrong ("FIRMATALVEN://", "firmatalven:?...") is refused rather than
    // taken for a start without one, which would sign the test text for the usual service.
    for (const std::string& argument : arguments)
      if (IsLink(argument)) return Refuse("no empieza por \"firmatalven://\".", argument);
    return result;
  }
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
  return Checked(std::move(result));
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

bool IsServiceHost(std::string_view host) {
  std::string_view name = host, port;
  if (host.starts_with("[")) {
    const size_t close = host.find(']');
    if (close == std::string_view::npos || !IsIpv6(host.substr(1, close - 1))) return false;
    std::string_view rest = host.substr(close + 1);
    return rest.empty() || (rest.front() == ':' && IsPort(rest.substr(1)));
  }
  if (const size_t colon = host.find(':'); colon != std::string_view::npos) {
    name = host.substr(0, colon);
    port = host.substr(colon + 1);
    if (!IsPort(port)) return false;
  }
  return IsIpv4(name) || IsDnsName(name);
}

bool IsUsualHost(std::string_view host) {
  const std::string lower = AsciiLower(host);
  return lower == kDefaultVoteHost || lower == std::string(kDefaultVoteHost) + ":443";
}

std::string VoteHost(const InvocationParameters& parameters) {
  return parameters.host.empty() ? kDefaultVoteHost : parameters.host;
}

std::string DestinationLine(const std::string& host) {
  if (IsUsualHost(host)) return "Destino de la firma: " + host;
  constexpr size_t kShown = 64;
  const std::string shown = host.size() > kShown ? "..." + host.substr(host.size() - kShown) : host;
  return "Atención: la firma se enviará a " + shown + ", que no es el servicio de votación habitual.";
}

std::string LogExcerpt(std::string_view text, size_t limit) {
  size_t at = 0;
  for (size_t count = 0; at < text.size() && count < limit; ++count) DecodeUtf8(text, &at);
  return at < text.size() ? std::string(text.substr(0, at)) + "..." : std::string(text);
}
