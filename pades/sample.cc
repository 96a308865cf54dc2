#include "pades/sample.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/text.h"
#include "pades/cms.h"
#include "pades/container.h"
#include "pades/field.h"
#include "pades/file_io.h"
#include "pades/pipeline.h"

SampleLayout BuildSampleDocument(std::string_view pageText, bool withSignature, size_t reservation,
                                 std::string_view signingTime, const SignatureTexts& texts) {
  SampleLayout layout;
  std::string& out = layout.document;
  std::vector<size_t> offsets;
  auto object = [&](int number, std::string_view body) {
    offsets.push_back(out.size());
    out += std::to_string(number) + " 0 obj\n";
    out += body;
    out += "\nendobj\n";
  };

  out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  object(1, withSignature ? "<< /Type /Catalog /Pages 2 0 R /AcroForm 6 0 R /Extensions << /ESIC << "
                            "/BaseVersion /1.7 /ExtensionLevel 1 >> >> >>"
                          : "<< /Type /Catalog /Pages 2 0 R >>");
  object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  object(3,
         std::string("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 4 0 R "
                     ">> >> /Contents 5 0 R") +
             (withSignature ? " /Annots [7 0 R]" : "") + " >>");
  object(4, kStampFont);
  const std::string content = "BT\n/F1 24 Tf\n72 720 Td\n(" + EscapeLiteral(pageText) + ") Tj\nET";
  object(5, "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");

  if (withSignature) {
    object(6,
           "<< /Fields [7 0 R] /SigFlags 3 /DA (0 0 0 rg /Helv 0 Tf) /DR << /Font << /Helv << /Type /Font "
           "/Subtype /Type1 /BaseFont /Helvetica >> >> >> >>");
    const std::array<std::string, 3> lines = {"Firmado digitalmente por:", texts.name,
                                              "Fecha: " + HumanUtcDate(signingTime)};
    size_t longest = 0;
    for (const std::string& line : lines) longest = std::max(longest, line.size());
    const double width = std::clamp(std::ceil(double(longest) * 4.8 + 16), 220.0, 400.0);
    object(7, "<< /Type /Annot /Subtype /Widget /FT /Sig /T (Signature1) /Rect [50 40 " +
                  FormatNumber(width + 50) + " " + FormatNumber(72) +
                  "] /F 4 /P 3 0 R /V 8 0 R /AP << /N 10 0 R >> >>");
    SignaturePlaceholders holes;
    offsets.push_back(out.size());
    const size_t dictionary = out.size();
    out += SignatureDictionary(8, texts, signingTime, reservation, &holes);
    layout.byteRange = dictionary + holes.byteRange;
    layout.contentsOpen = dictionary + holes.contentsOpen;
    layout.contentsClose = dictionary + holes.contentsClose;
    object(9, kStampFont);
    object(10, AppearanceStream(lines, width, 9));
  }

  const size_t xref = out.size();
  const size_t entries = offsets.size() + 1;
  out += "xref\n0 " + std::to_string(entries) + "\n";
  char line[32];
  std::snprintf(line, sizeof line, "%010u %05u %c \n", 0u, 65535u, 'f');
  out += line;
  for (size_t offset : offsets) {
    std::snprintf(line, sizeof line, "%010u %05u %c \n", unsigned(offset), 0u, 'n');
    out += line;
  }
  out += "trailer\n<< /Size " + std::to_string(entries) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  return layout;
}

namespace {

// WriteChecked writes a complete file beside `path` and renames it into place; a signed file
// must first pass the read-back check. `error` receives the first failure's text.
bool WriteChecked(const std::string& path, const std::string& document, const Sha256Digest* digest,
                  std::string* error, bool* checkFailed) {
  OutputFile output;
  if (!output.CreateBeside(path)) {
    *error = "no se pudo abrir " + path + " para escritura.";
    return false;
  }
  if (!output.Write(document.data(), document.size()) || !output.Close()) {
    *error = "escritura incompleta de " + path + ".";
    return false;
  }
  if (digest && !CheckSignedFile(output.tempPath(), *digest)) {
    *checkFailed = true;
    return false;
  }
  if (!output.Commit()) {
    *error = "no se pudo abrir " + path + " para escritura.";
    return false;
  }
  return true;
}

}  // namespace

SignResult CreateSignedSampleAt(const std::string& outputPath, const std::string& pageText,
                                const ParsedCertificate& certificate, uint32_t contentsReservation,
                                const SigningCallback& callback, const SignatureTexts& givenTexts,
                                std::string_view signingTime) {
  SignResult result;
  const SignatureTexts texts = pades_internal::WithDefaults(givenTexts, certificate);

  std::optional<SignerKeyInfo> key;
  size_t reservation = contentsReservation;
  if (callback && certificate.parsed && !certificate.der.empty() && contentsReservation >= 512) {
    key = ExtractSignerKeyInfo(certificate.der);
    if (!key) {
      result.error =
          "el certificado elegido no es de firma RSA; este motor solo firma con RSA (PKCS#1 v1.5 + SHA-256).";
    } else {
      Bytes trial =
          BuildSignedData(certificate.der, *key, BuildSignedAttributes(Bytes(32, 0), certificate.der, *key),
                          Bytes(key->modulusLength, 0));
      if (trial.size() > contentsReservation) {
        result.error = "el CMS (" + std::to_string(trial.size()) + " B) no cabe en la reserva de " +
                       std::to_string(contentsReservation) + " B.";
        key.reset();
      } else {
        reservation = std::max<size_t>(16384, trial.size());
      }
    }
  }

  if (key) {
    SampleLayout layout = BuildSampleDocument(pageText, true, reservation, signingTime, texts);
    std::string& doc = layout.document;
    doc.replace(layout.byteRange, 43, ByteRangeText(layout.contentsOpen, layout.contentsClose, doc.size()));
    Sha256Context hash;
    hash.Update(doc.data(), layout.contentsOpen);
    hash.Update(doc.data() + layout.contentsClose + 1, doc.size() - (layout.contentsClose + 1));
    const Sha256Digest digest = hash.Final();
    const Bytes signedAttributes =
        BuildSignedAttributes(Bytes(digest.begin(), digest.end()), certificate.der, *key);
    std::string note;
    const Bytes signature = callback(signedAttributes, &note);
    if (signature.empty()) {
      result.error = note.empty() ? "la tarjeta no firmo." : note;
    } else {
      const Bytes cms = BuildSignedData(certificate.der, *key, signedAttributes, signature);
      if (!PatchContents(&doc, layout.contentsOpen, reservation, cms)) {
        result.error = "el CMS final (" + std::to_string(cms.size()) + " B) supera la reserva de " +
                       std::to_string(reservation) + " B.";
      } else {
        bool checkFailed = false;
        std::string error;
        if (WriteChecked(outputPath, doc, &digest, &error, &checkFailed)) {
          result.ok = true;
          result.isSigned = true;
          result.size = doc.size();
          result.info = note;
          return result;
        }
        result.error =
            checkFailed ? "autocomprobacion del ByteRange fallida: se deja el PDF sin firma." : error;
      }
    }
  }

  // Whatever stopped the signature, the document is still written, without signature parts.
  SampleLayout plain = BuildSampleDocument(pageText, false, 0, signingTime, texts);
  std::string error;
  bool checkFailed = false;
  if (WriteChecked(outputPath, plain.document, nullptr, &error, &checkFailed)) {
    result.ok = true;
    result.size = plain.document.size();
    if (result.error.empty()) result.error = "PDF escrito sin firma.";
  } else if (result.error.empty()) {
    result.error = error;
  }
  return result;
}

SignResult CreateSignedSample(const std::string& outputPath, const std::string& pageText,
                              const ParsedCertificate& certificate, uint32_t contentsReservation,
                              const SigningCallback& callback, const SignatureTexts& texts) {
  return CreateSignedSampleAt(outputPath, pageText, certificate, contentsReservation, callback, texts,
                              pades_internal::SigningTimeNow());
}
