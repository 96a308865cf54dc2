#pragma once

#include <string>

#include "certs/certificate.h"
#include "core/bytes.h"

// IsSignatureCertificate is the FIR rule: holder + " " + label, lower-cased and cut into
// words at space, '(', ')', ',', '-', '.', '/' and '_', has the word "fir" or a word that
// begins with "firma". Only such certificates may sign a vote.
bool IsSignatureCertificate(const std::string& holder, const std::string& label);

// DniNumber is the first 8 digits of the first run of at least 8 ASCII digits in the holder,
// else in the subject name, else in the serial number. Without one it is
// "(sin numero de DNI, serie <serial>)", or "(numero de DNI no encontrado)" with no serial.
std::string DniNumber(const std::string& holder, const ParsedCertificate& certificate);

// VoteBody is the request the voting service receives: {"datos":"<inner>"} where the inner
// object holds dni, cn (the holder without '"'), reto, firma and certificado (both Base64),
// and every '"' of the inner object is preceded by a backslash. The DNI number and the
// challenge go in unchanged.
std::string VoteBody(const std::string& dni, const std::string& holder, const std::string& challenge,
                     const Bytes& signature, const Bytes& certificateDer);
