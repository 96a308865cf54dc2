#include "pades/sample.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/text.h"
#include "pades/field.h"
#include "pades/file_io.h"
#include "pades/pipeline.h"
#include "pades/seal.h"

namespace {

// SampleUpdate is the whole sample document: an update of an empty file, so its offsets and
// cross-reference come from the same writer as a signature's.
struct SampleUpdate {
  UpdateBuffer document{0};
  Holes holes;
  std::string missing;  // characters the Helvetica text cannot show
};

// WithMissing adds the characters of `more` that `missing` does not name yet.
std::string WithMissing(std::string missing, std::string_view more) {
  for (size_t pos = 0; pos < more.size();) {
    const size_t start = pos;
    DecodeUtf8(more, &pos);
    const std::string_view character = more.substr(start, pos - start);
    if (missing.find(character) == std::string::npos) missing += character;
  }
  return missing;
}

// WriteSignatureParts writes the sample's AcroForm, widget, signature dictionary and stamp
// (objects 6 to 10, and from 11 on an embedded font's) and returns the trailer's /Size.
uint32_t WriteSignatureParts(SampleUpdate* sample, std::string_view pageMissing, size_t reservation,
                             std::string_view signingTime, const SignatureTexts& texts) {
  UpdateBuffer* out = &sample->document;
  WriteObject(out, 6,
              "<< /Fields [7 0 R] /SigFlags 3 /DA (0 0 0 rg /Helv 0 Tf) /DR << /Font << /Helv << /Type /Font "
              "/Subtype /Type1 /BaseFont /Helvetica >> >> >> >>");
  // Outside PDF/A, LayOutStamp always returns a stamp, Helvetica at worst.
  FieldObjects stamp;
  std::string ignored;
  LayOutStamp(StampLines(texts.name, signingTime), false, &stamp, &ignored);
  const EmbeddedStampFont* embedded = stamp.embeddedFont ? &*stamp.embeddedFont : nullptr;
  sample->missing =
      WithMissing(std::string(pageMissing), embedded ? embedded->missing : EncodeWinAnsi(texts.name).missing);
  // The sample's stamp is sized by byte count, wider than a signature's.
  size_t longest = 0;
  for (const std::string& line : stamp.lines) longest = std::max(longest, line.size());
  const double width = std::clamp(std::ceil(double(longest) * 4.8 + 16), 220.0, 400.0);
  WriteObject(out, 7,
              "<< /Type /Annot /Subtype /Widget /FT /Sig /T (Signature1) /Rect [50 40 " +
                  FormatNumber(width + 50) + " " + FormatNumber(72) +
                  "] /F 4 /P 3 0 R /V 8 0 R /AP << /N 10 0 R >> >>");
  sample->holes = AppendSignatureDictionary(out, 8, texts, signingTime, reservation);
  if (!embedded) {
    WriteObject(out, 9, kStampFont);
    WriteObject(out, 10, AppearanceStream(stamp.lines, width, 9));
  } else {
    // The embedded font's objects follow the appearance; number 9 stays free.
    WriteObject(out, 10, EmbeddedAppearanceStream(embedded->shown, width, 11));
    const auto bodies = StampFontObjects(*embedded, 11);
    for (uint32_t i = 0; i < kStampFontObjects; ++i) WriteObject(out, 11 + i, bodies[i]);
  }
  return embedded ? 11 + kStampFontObjects : 11;
}

SampleUpdate BuildSample(std::string_view pageText, bool withSignature, size_t reservation,
                         std::string_view signingTime, const SignatureTexts& texts) {
  SampleUpdate sample;
  UpdateBuffer* out = &sample.document;
  out->text() = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  WriteObject(out, 1,
              withSignature ? "<< /Type /Catalog /Pages 2 0 R /AcroForm 6 0 R /Extensions << /ESIC << "
                              "/BaseVersion /1.7 /ExtensionLevel 1 >> >> >>"
                            : "<< /Type /Catalog /Pages 2 0 R >>");
  WriteObject(out, 2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  WriteObject(
      out, 3,
      std::string("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 4 0 "
                  "R >> >> /Contents 5 0 R") +
          (withSignature ? " /Annots [7 0 R]" : "") + " >>");
  WriteObject(out, 4, kStampFont);
  WinAnsi text = EncodeWinAnsi(pageText);
  sample.missing = text.missing;
  const std::string content = "BT\n/F1 24 Tf\n72 720 Td\n(" + EscapeLiteral(text.bytes) + ") Tj\nET";
  WriteObject(out, 5,
              "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");

  TrailerFields trailer;
  trailer.size =
      withSignature ? WriteSignatureParts(&sample, text.missing, reservation, signingTime, texts) : 6;
  trailer.root = 1;
  WriteXrefAndTrailer(out, trailer, XrefLayout::WholeFile);
  return sample;
}

}  // namespace

SampleLayout BuildSampleDocument(std::string_view pageText, bool withSignature, size_t reservation,
                                 std::string_view signingTime, const SignatureTexts& texts) {
  SampleUpdate sample = BuildSample(pageText, withSignature, reservation, signingTime, texts);
  SampleLayout layout;
  layout.document = std::move(sample.document.text());
  layout.byteRange = size_t(sample.holes.byteRange);
  layout.contentsOpen = size_t(sample.holes.contentsOpen);
  layout.contentsClose = size_t(sample.holes.contentsClose);
  return layout;
}

SignResult CreateSignedSampleAt(const std::string& outputPath, const std::string& pageText,
                                const ParsedCertificate& certificate, uint32_t contentsReservation,
                                const SigningCallback& callback, const SignatureTexts& givenTexts,
                                std::string_view signingTime) {
  SignResult result;
  const SignatureTexts texts = pades_internal::WithDefaults(givenTexts, certificate);

  const Reservation reservation = SettleReservation(certificate, callback, contentsReservation);
  result.error = reservation.error;
  if (reservation.key) {
    SampleUpdate sample = BuildSample(pageText, true, reservation.bytes, signingTime, texts);
    const Sealed sealed =
        Seal(&sample.document, Sha256Context(), sample.holes, reservation, certificate, callback);
    if (!sealed.ok) {
      result.error = sealed.error;
    } else {
      const std::string& document = sample.document.text();
      WriteStatus written = WriteChecked(outputPath, nullptr, 0, document, &sealed.digest);
      if (written == WriteStatus::Written) {
        if (!sample.missing.empty()) result.warning = MissingGlyphsWarning(sample.missing);
        result.ok = true;
        result.isSigned = true;
        result.size = document.size();
        result.info = sealed.note;
        return result;
      }
      result.error = written == WriteStatus::CheckFailed
                         ? "autocomprobacion del ByteRange fallida: se deja el PDF sin firma."
                         : WriteError(written, outputPath);
    }
  }

  // Whatever stopped the signature, the document is still written, without signature parts.
  SampleUpdate plain = BuildSample(pageText, false, 0, signingTime, texts);
  const std::string& document = plain.document.text();
  WriteStatus written = WriteChecked(outputPath, nullptr, 0, document, nullptr);
  if (written == WriteStatus::Written) {
    if (!plain.missing.empty()) result.warning = MissingGlyphsWarning(plain.missing);
    result.ok = true;
    result.size = document.size();
    if (result.error.empty()) result.error = "PDF escrito sin firma.";
  } else if (result.error.empty()) {
    result.error = WriteError(written, outputPath);
  }
  return result;
}

SignResult CreateSignedSample(const std::string& outputPath, const std::string& pageText,
                              const ParsedCertificate& certificate, uint32_t contentsReservation,
                              const SigningCallback& callback, const SignatureTexts& texts) {
  return CreateSignedSampleAt(outputPath, pageText, certificate, contentsReservation, callback, texts,
                              pades_internal::SigningTimeNow());
}
