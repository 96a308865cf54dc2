#pragma once

#include <array>
#include <string>
#include <vector>

#include "pades/verify.h"

// What the signer's window says about the signatures of the shown document: one row per
// signature and a one-line summary, in Spanish, from the verifier's report.

enum class Verdict { kGood, kWarning, kBad };

// SignatureMark is one of the verifier's three answers as shown: a coloured mark and a
// one-line reason.
struct SignatureMark {
  Verdict verdict = Verdict::kGood;
  std::string text;
};

struct SignatureRow {
  std::string name;   // the signer, or "(firmante desconocido)"
  std::string dni;    // "DNI 44556677" when the certificate carries one, else empty
  std::string time;   // "2026-12-06 10:15:00 UTC (sello de tiempo)" or "... (/M)"
  std::string level;  // "PAdES B-LTA" and the like, empty when the verifier gave none
  SignatureMark integrity, coverage, trust;
  int stampPage = -1;                 // the page of its first visible stamp, -1 for none
  std::array<double, 4> stampRect{};  // that stamp in PDF user space
};

SignatureRow RowFor(const SignatureReport& signature);

// StampBand is the stamp of a row as a band of its page, in points from the page's top edge
// (which is `pageHeight` points above the user space's origin); false without a stamp.
bool StampBand(const SignatureRow& row, double pageHeight, double* top, double* bottom);

// SignatureSummary is the line above the page: how many signatures and whether they all hold,
// or the first thing that does not.
struct SignatureSummary {
  Verdict verdict = Verdict::kGood;
  std::string text;
};
SignatureSummary SummaryFor(const VerifyReport& report);
