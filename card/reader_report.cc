#include "card/reader_report.h"

DnieProfile IdentifyCardInReader(CardConnector& connector, const std::string& reader, std::string* atrHex,
                                 std::string* message) {
  atrHex->clear();
  message->clear();
  OpenedDnie dnie;
  if (!OpenDnie(connector, reader, &dnie, message)) return DnieProfile::Unknown;
  *atrHex = dnie.atrHex;
  return dnie.profile;
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
