#include "pades/seal.h"

#include <algorithm>

#include "pades/container.h"

namespace {

// Tokens of one authority differ by a few bytes (serial number, nonce, fractions of a second).
constexpr size_t kTokenSlack = 64;

}  // namespace

Reservation SettleReservation(const ParsedCertificate& certificate, const SigningCallback& callback,
                              uint32_t requested, const TimestampCallback& timestamp) {
  Reservation out;
  out.bytes = requested;
  if (!callback || !certificate.parsed || certificate.der.empty() || requested < kMinimumReservation)
    return out;
  std::optional<SignerKeyInfo> key = ExtractSignerKeyInfo(certificate.der);
  if (!key) {
    out.error =
        "el certificado elegido no es de firma RSA; este motor solo firma con RSA (PKCS#1 v1.5 + SHA-256).";
    return out;
  }
  Bytes unsignedAttributes;
  size_t slack = 0;
  if (timestamp) {
    const Bytes token = timestamp(Bytes(key->modulusLength, 0), &out.error);
    if (token.empty()) {
      if (out.error.empty()) out.error = "la autoridad de sellado de tiempo no entrego ningun sello.";
      return out;
    }
    unsignedAttributes = SignatureTimeStampAttributes(token);
    slack = kTokenSlack;
  }
  const Bytes trial =
      BuildSignedData(certificate.der, *key, BuildSignedAttributes(Bytes(32, 0), certificate.der, *key),
                      Bytes(key->modulusLength, 0), timestamp ? &unsignedAttributes : nullptr);
  if (trial.size() + slack > requested) {
    out.error = "el CMS (" + std::to_string(trial.size() + slack) + " B" +
                (timestamp ? ", con el sello de tiempo" : "") + ") no cabe en la reserva de " +
                std::to_string(requested) + " B.";
    return out;
  }
  out.bytes = std::max(kSettledReservation, trial.size() + slack);
  out.key = std::move(key);
  return out;
}

Holes AppendSignatureDictionary(UpdateBuffer* update, uint32_t number, const SignatureTexts& texts,
                                std::string_view signingTime, size_t reservation) {
  SignaturePlaceholders at;
  const uint64_t dictionary = update->Offset();
  update->Record(number);
  update->text() += SignatureDictionary(number, texts, signingTime, reservation, &at);
  return {dictionary + at.byteRange, dictionary + at.contentsOpen, dictionary + at.contentsClose};
}

Sha256Digest PatchByteRange(UpdateBuffer* update, Sha256Context baseHash, const Holes& holes) {
  std::string& text = update->text();
  const uint64_t base = update->base();
  const size_t open = size_t(holes.contentsOpen - base), after = size_t(holes.contentsClose + 1 - base);
  text.replace(size_t(holes.byteRange - base), 43,
               ByteRangeText(holes.contentsOpen, holes.contentsClose, update->Offset()));
  // The base bytes lie wholly before the hole, so their hash goes on.
  baseHash.Update(text.data(), open);
  baseHash.Update(text.data() + after, text.size() - after);
  return baseHash.Final();
}

Sealed Seal(UpdateBuffer* update, Sha256Context baseHash, const Holes& holes, const Reservation& reservation,
            const ParsedCertificate& certificate, const SigningCallback& callback,
            const TimestampCallback& timestamp) {
  Sealed out;
  std::string& text = update->text();
  const size_t open = size_t(holes.contentsOpen - update->base());
  out.digest = PatchByteRange(update, baseHash, holes);

  const Bytes signedAttributes =
      BuildSignedAttributes(Bytes(out.digest.begin(), out.digest.end()), certificate.der, *reservation.key);
  const Bytes signature = callback(signedAttributes, &out.note);
  if (signature.empty()) {
    out.error = out.note.empty() ? "la tarjeta no firmo." : out.note;
    return out;
  }
  // The token covers the signature value; the signed attributes and the signature stay as made.
  Bytes unsignedAttributes;
  if (timestamp) {
    std::string why;
    const Bytes token = timestamp(signature, &why);
    if (token.empty()) {
      out.error = why.empty() ? "la autoridad de sellado de tiempo no entrego ningun sello." : why;
      return out;
    }
    unsignedAttributes = SignatureTimeStampAttributes(token);
  }
  const Bytes cms = BuildSignedData(certificate.der, *reservation.key, signedAttributes, signature,
                                    timestamp ? &unsignedAttributes : nullptr);
  if (!PatchContents(&text, open, reservation.bytes, cms)) {
    out.error = "el CMS final (" + std::to_string(cms.size()) + " B) supera la reserva de " +
                std::to_string(reservation.bytes) + " B.";
    return out;
  }
  out.cms = cms;
  out.ok = true;
  return out;
}

namespace {

template <typename Check>
WriteStatus WriteThenCheck(const std::string& path, InputFile* input, uint64_t inputLength,
                           const std::string& text, Check check) {
  // The copy is written beside the output and renamed into place only once checked.
  OutputFile output;
  if (!output.CreateBeside(path)) return WriteStatus::OpenFailed;
  if ((input && !output.CopyFrom(*input, 0, inputLength)) || !output.Write(text.data(), text.size()) ||
      !output.Close())
    return WriteStatus::Incomplete;
  // The input may be the output's own path: it is let go before the rename.
  if (input) input->Close();
  if (!check(output.tempPath())) return WriteStatus::CheckFailed;
  if (!output.Commit()) return WriteStatus::OpenFailed;
  return WriteStatus::Written;
}

}  // namespace

WriteStatus WriteChecked(const std::string& path, InputFile* input, uint64_t inputLength,
                         const std::string& text, const Sha256Digest* digest) {
  return WriteThenCheck(path, input, inputLength, text, [digest](const std::string& written) {
    return !digest || CheckSignedFile(written, *digest);
  });
}

WriteStatus WriteChecked(const std::string& path, InputFile* input, uint64_t inputLength,
                         const std::string& text, const std::vector<RangeCheck>& checks) {
  return WriteThenCheck(path, input, inputLength, text,
                        [&checks](const std::string& written) { return CheckSignedRanges(written, checks); });
}

std::string WriteError(WriteStatus status, const std::string& path) {
  switch (status) {
    case WriteStatus::OpenFailed: return "no se pudo abrir " + path + " para escritura.";
    case WriteStatus::Incomplete: return "escritura incompleta de " + path + ".";
    default: return "";
  }
}
