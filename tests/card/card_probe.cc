// card_probe runs the card operations once and prints their messages, one per line, so that
// tests can watch them in a process whose PC/SC library or service they have taken away.
#include <cstdio>
#include <string>

#include "card/dnie_certificates.h"
#include "card/dnie_sign.h"
#include "card/pcsc.h"

int main() {
  std::string message;
  ListReaders(&message);
  std::printf("%s\n", message.c_str());
  std::string status, atr;
  ReadCardCertificates("Lector 00 00", &status, &atr);
  std::printf("%s\n", status.c_str());
  std::printf("%s\n", ReadReaderAtr("Lector 00 00").empty() ? "sin ATR" : "ATR");
  CheckCardPin("Lector 00 00", "12345678", &message);
  std::printf("%s\n", message.c_str());
  return 0;
}
