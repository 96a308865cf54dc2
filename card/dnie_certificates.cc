#include "card/dnie_certificates.h"

#include <algorithm>
#include <set>
#include <span>

#include "card/pcsc.h"
#include "core/der.h"
#include "core/text.h"

namespace {

constexpr size_t kMinimumFile = 64;  // anything shorter cannot hold a certificate
constexpr size_t kLastOffset = 32767;

struct CertificateFile {
  uint16_t fileId;
  const char* label;
};

constexpr char kSignatureLabel[] = "Firma Digital (DNIe)";
constexpr char kAuthenticationLabel[] = "Autenticacion (DNIe)";
constexpr char kEncryptionLabel[] = "Cifrado (DNIe)";

constexpr CertificateFile kV1Files[] = {
    {0x3402, kSignatureLabel}, {0x3401, kAuthenticationLabel}, {0x3403, kEncryptionLabel}};
constexpr CertificateFile kV2Files[] = {
    {0x001D, kSignatureLabel}, {0x001C, kAuthenticationLabel}, {0x001B, kEncryptionLabel}};
// The 3.0 card may hold its signature certificate in CE82, in 001D or in both.
constexpr CertificateFile kV3Files[] = {{0xCE82, kSignatureLabel},
                                        {0x001C, kAuthenticationLabel},
                                        {0x001B, kEncryptionLabel},
                                        {0x001D, kSignatureLabel}};

// FileRead is one certificate file that decoded, with its file's label.
struct FileRead {
  const char* label;
  ParsedCertificate cert;
};

bool Decode(const Bytes& bytes, ParsedCertificate* cert) {
  return bytes.size() >= kMinimumFile && ParseCertificate(bytes, cert);
}

std::span<const CertificateFile> FilesOf(DnieProfile profile) {
  switch (profile) {
    case DnieProfile::V1: return kV1Files;
    case DnieProfile::V2: return kV2Files;
    default: return kV3Files;
  }
}

// Through the air each file gets one selection and one plain read.
std::vector<FileRead> ReadContactless(CardChannel* ch, DnieProfile profile) {
  bool selected = false;
  switch (profile) {
    case DnieProfile::V1:
      selected = SelectByName(ch, DnieV1Aid(), {0x0C}) && SelectFile(ch, 0x3F00, 0x02, {0x0C, 0x04}) &&
                 SelectFile(ch, 0x5015, 0x02, {0x0C, 0x04});
      break;
    case DnieProfile::V2: selected = SelectByName(ch, DnieSignatureAid(), {0x04}); break;
    default: selected = SelectByName(ch, DnieV3Aid(), {0x0C}) && SelectByName(ch, DnieSignatureAid(), {0x04});
  }
  if (!selected) {
    NoteCardError(*ch);
    return {};
  }
  std::vector<FileRead> reads;
  for (const CertificateFile& file : FilesOf(profile)) {
    if (!SelectFile(ch, file.fileId, 0x02, {0x0C, 0x04})) {
      NoteCardError(*ch);
      continue;
    }
    ParsedCertificate cert;
    if (Decode(ReadFileBinary(ch), &cert)) {
      reads.push_back({file.label, std::move(cert)});
    } else if (ch->statusWord == 0x6982 || ch->statusWord == 0x6985 || ch->statusWord == 0x6A81) {
      NoteCardError(*ch);
    }
  }
  return reads;
}

// Through the contacts each generation has its own selections and preferred read command;
// a file that does not come out whole is selected again and read with the other command.
std::vector<FileRead> ReadContact(CardChannel* ch, DnieProfile profile) {
  bool selected = false;
  uint8_t fileP1 = 0x02;
  P2List fileP2 = {0x0C, 0x04, 0x00};
  bool oddFirst = false;
  switch (profile) {
    case DnieProfile::V1:
      selected = SelectByName(ch, DnieV1Aid(), {0x00}) && SelectFile(ch, 0x3F00, 0x00, {0x00, 0x04}) &&
                 SelectFile(ch, 0x5015, 0x00, {0x00, 0x04});
      fileP1 = 0x00;
      fileP2 = {0x00, 0x04};
      break;
    case DnieProfile::V2:
      selected = SelectByName(ch, DnieSignatureAid(), {0x04, 0x00, 0x0C});
      fileP2 = {0x04, 0x00, 0x0C};
      oddFirst = true;
      break;
    default:
      selected =
          (SelectOnce(ch, DnieV3Aid(), 0x04, 0x0C) || SelectByName(ch, DnieV3Aid(), {0x0C})) &&
          (SelectOnce(ch, DnieSignatureAid(), 0x04, 0x04) || SelectByName(ch, DnieSignatureAid(), {0x04}));
  }
  if (!selected) {
    NoteCardError(*ch);
    return {};
  }
  std::vector<FileRead> reads;
  for (const CertificateFile& file : FilesOf(profile)) {
    ParsedCertificate cert;
    if (SelectFile(ch, file.fileId, fileP1, fileP2)) {
      if (Decode(oddFirst ? ReadFileOdd(ch) : ReadFileBinary(ch), &cert)) {
        reads.push_back({file.label, std::move(cert)});
        continue;
      }
    } else {
      NoteCardError(*ch);
    }
    if (!SelectFile(ch, file.fileId, fileP1, fileP2)) {
      NoteCardError(*ch);
      continue;
    }
    if (Decode(oddFirst ? ReadFileBinary(ch) : ReadFileOdd(ch), &cert))
      reads.push_back({file.label, std::move(cert)});
  }
  return reads;
}

}  // namespace

Bytes ReadFileBinary(CardChannel* channel) {
  Bytes out;
  size_t offset = 0;
  size_t total = 0;  // 0 while the length of the leading element is unknown
  for (int command = 0; command < 40 && offset <= kLastOffset; ++command) {
    Bytes chunk = ReadBinary(channel, static_cast<uint16_t>(offset));
    const int32_t sw = channel->statusWord;
    if (chunk.empty() || (sw != 0x9000 && sw != 0x6282)) break;
    Append(&out, chunk);
    offset += chunk.size();
    if (total == 0 && out.size() > 3) {
      size_t cursor = 0;
      DerElement element;
      if (DerReadElement(out.data(), out.size(), &cursor, &element)) total = element.end;
    }
    if (sw == 0x6282) break;  // end of file
    if (total != 0) {
      if (out.size() >= total) break;
    } else if (chunk.size() < 255) {
      break;
    }
  }
  if (total != 0 && total <= out.size()) out.resize(total);
  return out;
}

bool OddReadContent(const Bytes& answer, size_t* start, size_t* length) {
  *start = 0;
  *length = answer.size();
  if (answer.empty() || answer[0] != 0x53) return true;
  size_t header = 0, declared = 0;
  if (answer.size() >= 2 && answer[1] < 0x80) {
    header = 2;
    declared = answer[1];
  } else if (answer.size() >= 3 && answer[1] == 0x81) {
    header = 3;
    declared = answer[2];
  } else if (answer.size() >= 4 && answer[1] == 0x82) {
    header = 4;
    declared = size_t{answer[2]} << 8 | answer[3];
  } else {
    *length = 0;
    return false;
  }
  *start = header;
  *length = std::min(declared, answer.size() - header);
  return true;
}

Bytes ReadFileOdd(CardChannel* channel) {
  Bytes out;
  size_t offset = 0;
  for (int command = 0; command < 24 && offset <= kLastOffset; ++command) {
    Bytes answer = ReadBinaryOdd(channel, static_cast<uint16_t>(offset));
    const int32_t sw = channel->statusWord;
    if (sw != 0x9000 && sw != 0x6282 && sw != 0x6B00) break;
    size_t start = 0, length = 0;
    OddReadContent(answer, &start, &length);
    out.insert(out.end(), answer.begin() + start, answer.begin() + start + length);
    offset += length;
    if (sw != 0x9000 || length == 0) break;
  }
  return out;
}

const CardCertificate* SignatureCertificate(const std::vector<CardCertificate>& certificates) {
  for (const CardCertificate& cert : certificates)
    if (cert.label == kSignatureLabel) return &cert;
  for (const CardCertificate& cert : certificates)
    if (!cert.certificate.isCa && cert.certificate.signatureUsage) return &cert;
  return nullptr;
}

std::vector<CardCertificate> ReadCardCertificates(CardConnector& connector, const std::string& reader,
                                                  std::string* status, std::string* atrHex) {
  status->clear();
  atrHex->clear();
  if (reader.empty()) {
    *status = "Elija un lector.";
    return {};
  }
  OpenedDnie dnie;
  if (!OpenDnie(connector, reader, &dnie, status)) return {};
  *atrHex = dnie.atrHex;
  CardChannel& channel = dnie.channel;
  const DnieProfile profile = dnie.profile;
  if (profile == DnieProfile::Unknown) {
    *status = "Tarjeta no identificada como DNIe (revise que este bien insertada/tapada).";
    std::string error = TakeCardError(channel);
    if (!error.empty()) *status += " " + error;
    return {};
  }
  const bool contactless = ClassifyReader(reader) == ReaderKind::Contactless;
  std::vector<FileRead> reads =
      contactless ? ReadContactless(&channel, profile) : ReadContact(&channel, profile);

  std::vector<CardCertificate> found;
  std::set<std::string> seen;
  for (const FileRead& read : reads) {
    // The 3.0 card may hold its signature certificate in two files.
    if (!seen.insert(read.cert.serialHex + "|" + read.cert.subjectName).second) continue;
    found.push_back({CertificateLabel(read.cert, read.label), read.cert});
  }
  const std::string apdus = std::to_string(channel.commandCount);
  if (!found.empty()) {
    *status = ProfileName(profile) + (contactless ? " (NFC)" : "") + " · " + std::to_string(found.size()) +
              " certificado(s) · " + apdus + " APDUs";
  } else {
    std::string error = TakeCardError(channel);
    *status =
        (error.empty() ? "" : error + " ") + "(perfil " + ProfileName(profile) + ", " + apdus + " APDUs)";
  }
  return found;
}
