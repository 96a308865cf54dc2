#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "pades/update_chain.h"
#include "pades/validation_data.h"

// The document security store (ISO 32000-2, 12.8.4.3; ETSI EN 319 142-1, 5.4): the catalog's
// /DSS with the certificates, OCSP answers and revocation lists that later validators need, and
// a /VRI entry per signature naming those that concern it. An update never changes the store
// in place: it writes a new one that lists the old entries and the new ones, and points the
// catalog at it.

// StoredItem is one stream of the store: its object number and its decoded bytes.
struct StoredItem {
  int64_t number = 0;
  Bytes der;
};

// SecurityStore is the store a document holds, read tolerantly: entries that cannot be read
// are kept as they stand but not used again.
struct SecurityStore {
  std::vector<StoredItem> certificates, ocsps, crls;
  std::string certificateRefs, ocspRefs, crlRefs;  // the arrays' elements as written
  std::string vri;                                 // the /VRI dictionary's body
};
SecurityStore ReadSecurityStore(PdfScan* scan, std::string_view catalog);
// Embedded lists what the store holds, for GatherValidationData to use again.
EmbeddedData Embedded(const SecurityStore& store);

// AppendSecurityStore writes one revision with a stream for every item the store lacks, the
// new store with every old and new item and a /VRI entry per subject of `data` (merged with an
// entry the old store has under the same key), and the catalog pointing at it. Files older than
// PDF 2.0 also get the ESIC developer extension (level 5) the store belongs to, unless the
// catalog keeps its extensions in an object of their own. It returns false with kTooManyObjects
// when the numbers run out.
[[nodiscard]] bool AppendSecurityStore(UpdateChain* chain, const SecurityStore& store,
                                       const ValidationData& data, std::string* error);
