#include "pades/sign.h"

SignResult SignPdf(const std::string&, const std::string&, const ParsedCertificate&, uint32_t,
                   const SigningCallback&, const SignatureTexts&, const StampOptions&) {
  SignResult result;
  result.error = "motor de firma aun no disponible.";
  return result;
}

SignResult SignPdf(const std::string& inputPath, const std::string& outputPath,
                   const ParsedCertificate& certificate, const SigningCallback& callback,
                   const SignatureTexts& texts, const StampOptions& stamp) {
  return SignPdf(inputPath, outputPath, certificate, kDefaultContentsReservation, callback, texts, stamp);
}

SignResult SignPdf(const std::string& inputPath, const std::string& outputPath,
                   const ParsedCertificate& certificate, uint32_t contentsReservation,
                   const SigningCallback& callback, const SignatureTexts& texts) {
  return SignPdf(inputPath, outputPath, certificate, contentsReservation, callback, texts, StampOptions{});
}

SignResult CreateSignedSample(const std::string&, const std::string&, const ParsedCertificate&, uint32_t,
                              const SigningCallback&, const SignatureTexts&) {
  SignResult result;
  result.error = "motor de firma aun no disponible.";
  return result;
}
