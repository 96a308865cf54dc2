#include "card/reader_report.h"

#include <memory>

#include "core/text.h"

DnieProfile IdentifyCardInReader(CardConnector& connector, const std::string& reader, std::string* atrHex,
                                 std::string* message) {
  atrHex->clear();
  message->clear();
  std::unique_ptr<CardTransport> card = connector.Open(reader, message);
  if (!card) return DnieProfile::Unknown;
  if (card->Status(atrHex) != kPcscSuccess) atrHex->clear();
  CardChannel channel{card.get()};
  return IdentifyDnie(&channel, reader, HexDecode(*atrHex));
}

std::vector<ReaderReport> DescribeReaders(std::string* message) {
  const std::vector<std::string> names = ListReaders(message);
  const int defaultIndex = DefaultReaderIndex(names);
  std::vector<ReaderReport> reports;
  for (size_t i = 0; i < names.size(); ++i) {
    ReaderReport report;
    report.name = names[i];
    report.kind = ClassifyReader(names[i]);
    report.isDefault = static_cast<int>(i) == defaultIndex;
    report.profile = IdentifyCardInReader(PcscConnector(), names[i], &report.atrHex, &report.message);
    report.cardPresent = report.message.empty();
    reports.push_back(std::move(report));
  }
  return reports;
}

std::string DefaultReaderName(std::string* message) {
  const std::vector<std::string> names = ListReaders(message);
  const int index = DefaultReaderIndex(names);
  return index < 0 ? std::string() : names[static_cast<size_t>(index)];
}
