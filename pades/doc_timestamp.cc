#include "pades/doc_timestamp.h"

#include "pades/seal.h"

namespace {

// Room for a token with its authority's certificate chain; a larger one gets a second layout.
constexpr size_t kFirstRoom = 16384;
// Tokens of one authority differ by a few bytes (serial number, nonce, fractions of a second).
constexpr size_t kTokenSlack = 64;

std::string Ref(uint32_t number) {
  return std::to_string(number) + " 0 R";
}

// Attempt lays the revision out with `room` bytes for the token and seals it; `tokenSize` gets
// the token's size when it does not fit.
DocumentTimestamp Attempt(UpdateChain* chain, const DigestTimestampCallback& timestamp, size_t room,
                          size_t* tokenSize) {
  DocumentTimestamp out;
  FormState& form = chain->form();
  std::optional<uint32_t> newAcroForm;
  if (form.acroForm.kind == AcroFormFound::Kind::None) newAcroForm = chain->Allocate();
  const uint32_t field = chain->Allocate(), dictionary = chain->Allocate();
  const std::string name = FieldName(chain->fieldNames());
  chain->fieldNames().insert(name);

  UpdateBuffer* update = chain->Begin();
  MergeAcroForm(update, &chain->scan(), field, newAcroForm, &form);
  // Print and Locked: an invisible widget nobody may move or delete (ISO 32000-1, 12.5.3).
  WriteObject(update, field,
              "<< /Type /Annot /Subtype /Widget /FT /Sig /T (" + name + ") /Rect [0 0 0 0] /F 132 /V " +
                  Ref(dictionary) + " >>");
  SignaturePlaceholders at;
  const uint64_t start = update->Offset();
  update->Record(dictionary);
  update->text() += DocumentTimestampDictionary(dictionary, room, &at);
  const Holes holes{start + at.byteRange, start + at.contentsOpen, start + at.contentsClose};
  if (!chain->End()) {
    out.error = kTooManyObjects;
    return out;
  }
  const Sha256Digest digest = PatchByteRange(update, chain->HashBefore(update), holes);
  const Bytes token = timestamp(Bytes(digest.begin(), digest.end()), &out.error);
  if (token.empty()) {
    if (out.error.empty()) out.error = "la autoridad de sellado de tiempo no entrego ningun sello.";
    return out;
  }
  const size_t open = size_t(holes.contentsOpen - update->base());
  if (!PatchContents(&update->text(), open, room, token)) {
    *tokenSize = token.size();
    out.error = "el sello de tiempo del documento (" + std::to_string(token.size()) +
                " B) supera la reserva de " + std::to_string(room) + " B.";
    return out;
  }
  out.contents = token;
  out.contents.resize(room, 0);
  out.check = {holes.byteRange, holes.contentsOpen, holes.contentsClose, update->Offset(), digest};
  out.ok = true;
  return out;
}

}  // namespace

DocumentTimestamp AppendDocumentTimestamp(UpdateChain* chain, const DigestTimestampCallback& timestamp) {
  const UpdateChain before = *chain;
  size_t tokenSize = 0;
  DocumentTimestamp out = Attempt(chain, timestamp, kFirstRoom, &tokenSize);
  if (!out.ok && tokenSize) {
    *chain = before;
    out = Attempt(chain, timestamp, tokenSize + kTokenSlack, &tokenSize);
  }
  if (!out.ok) *chain = before;
  return out;
}
