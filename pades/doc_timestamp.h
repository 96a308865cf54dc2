#pragma once

#include <cstdint>
#include <string>

#include "core/bytes.h"
#include "pades/container.h"
#include "pades/network.h"
#include "pades/update_chain.h"

// The document time stamp (ISO 32000-2, 12.8.5; ETSI EN 319 142-1, 5.4.3): a revision with a
// new signature field whose value holds an RFC 3161 token over the whole file before it. It
// proves when the document, its signatures and its validation data existed; the next one, made
// before this one's authority certificate expires, renews that proof (PAdES B-LTA).

struct DocumentTimestamp {
  bool ok = false;
  std::string error;  // Spanish
  Bytes contents;     // the /Contents value as written, padding included
  RangeCheck check;   // for the read-back check of the written file
};

// AppendDocumentTimestamp adds the field (widget on no page, so no page is rewritten) and its
// /DocTimeStamp dictionary to `chain`, asks `timestamp` for a token over the digest of the
// file's two byte ranges and writes it in. A token larger than the first room makes it lay the
// revision out once more with room for it. On failure `chain` is as it was.
DocumentTimestamp AppendDocumentTimestamp(UpdateChain* chain, const DigestTimestampCallback& timestamp);
