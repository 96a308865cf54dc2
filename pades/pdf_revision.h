#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pades/pdf_file.h"
#include "pades/pdf_value.h"
#include "pades/xref.h"

// Revisions of a PDF file, each defined by its bytes: a revision ends with "%%EOF" and its end
// of line, and is the document that the chain of cross-reference sections starting at its own
// "startxref" resolves (ISO 32000-1 7.5.4 to 7.5.8). The reading is strict where readers could
// disagree: a section that cannot be read whole, one that lists an object twice, a /Prev that
// loops or lands on something that is no section, or an entry that does not point at its
// object are faults, never guessed around. The verifier compares what two revisions resolve;
// the signer asks whether a file leaves any room for guessing before it builds on it.

// XrefSectionData is one cross-reference section: a table with its trailer (and, in a hybrid
// file, the stream its /XRefStm names) or a cross-reference stream.
struct XrefSectionData {
  uint64_t offset = 0;
  // The bytes the section occupies: the table and its trailer, or the stream object, and the
  // hybrid stream when there is one.
  std::vector<std::pair<uint64_t, uint64_t>> extents;
  std::vector<XrefRecord> records;  // ascending, one per number, in the section's precedence
  PdfValue trailer;                 // the trailer, or the stream's dictionary
  std::optional<uint64_t> prev;
  bool stream = false;
  uint64_t Start() const;  // the first byte of all extents
};

// PdfObject is one object as a revision resolves it.
struct PdfObject {
  PdfValue value;
  bool stream = false;
  uint64_t dataStart = 0, dataLength = 0;  // a stream's raw data in the file
  uint64_t start = 0, end = 0;             // a plain object's bytes, header to "endobj"
  uint64_t textBase = 0;                   // a plain object: where PdfValue::at counts from
  int64_t container = 0;                   // a compressed object's object stream
  // The object could not be parsed (readers may still show something): `raw` holds its text
  // and `value` an array of the references found in it.
  bool opaque = false;
  std::string raw;
};

class PdfRevisionReader;

// PdfRevision resolves objects through one chain of sections, newest first.
class PdfRevision {
 public:
  PdfRevision(PdfRevisionReader* reader, std::vector<const XrefSectionData*> chain);
  const std::vector<const XrefSectionData*>& chain() const { return chain_; }
  const PdfValue& trailer() const { return chain_.front()->trailer; }
  // Entry is the newest record for `number` in the chain, or nullptr.
  const XrefRecord* Entry(int64_t number) const;
  // Index of the chain section that holds Entry(number), or -1.
  int EntrySection(int64_t number) const;
  enum class Load { Ok, Null, Damaged };
  // LoadObject reads the object a reference to `number` resolves to: Null for a free or
  // missing entry (readers take it as null), Damaged (with the Spanish reason) when the entry
  // does not lead to that object.
  Load LoadObject(int64_t number, PdfObject* out, std::string* error);
  // Resolve follows `value` when it is a reference; `holder` keeps what it points at.
  const PdfValue& Resolve(const PdfValue& value, PdfObject* holder);

 private:
  PdfRevisionReader* reader_;
  std::vector<const XrefSectionData*> chain_;
};

// PdfRevisionReader owns the file and everything read from it, shared by its revisions.
class PdfRevisionReader {
 public:
  explicit PdfRevisionReader(PdfFile* file) : file_(file) {}
  PdfFile& file() { return *file_; }

  // Section reads (once) the section that starts at `offset`, or nullptr with the reason.
  const XrefSectionData* Section(uint64_t offset, std::string* error);
  // Chain reads the sections from `startxref` through /Prev, each once. It fails on a loop,
  // on a /Prev that is no section, and on any section that cannot be read whole.
  bool Chain(uint64_t startxref, std::vector<const XrefSectionData*>* out, std::string* error);
  // RevisionStartxref checks that the bytes before `end` close a revision: "startxref", its
  // number and "%%EOF" with a complete end of line (or the file's end right after "%%EOF").
  // It returns that revision's startxref.
  std::optional<uint64_t> RevisionStartxref(uint64_t end);
  // LastRevisionEnd is the end of the file's last "%%EOF" and its end of line.
  std::optional<uint64_t> LastRevisionEnd();

  // ReadPlainObject reads "number generation obj" at `offset` and what follows.
  bool ReadPlainObject(uint64_t offset, int64_t number, uint32_t generation, PdfRevision* revision,
                       PdfObject* out, std::string* error);
  // ReadCompressedObject reads object `number`, entry `index` of object stream `stream`.
  bool ReadCompressedObject(int64_t stream, uint32_t index, int64_t number, PdfRevision* revision,
                            PdfObject* out, std::string* error);

 private:
  // ParseWindow runs `parse` over the file from `offset` on windows that grow while the value
  // runs past their end; what it reads is charged to a budget that stops hostile files.
  template <typename F>
  bool ParseWindow(uint64_t offset, F&& parse);
  bool ReadTable(uint64_t offset, XrefSectionData* out, std::string* error);
  bool ReadStreamSection(uint64_t offset, XrefSectionData* out, std::string* error);
  // StreamData finds a stream's data after the dictionary that ends at `dictEnd`.
  bool StreamData(const PdfValue& dict, uint64_t dictEnd, PdfRevision* revision, PdfObject* out);
  struct DecodedStream;
  bool LoadObjectStream(int64_t number, const XrefRecord& entry, PdfRevision* revision, DecodedStream* out,
                        std::string* error);
  bool DecodeData(std::string_view dictText, const PdfObject& object, std::string* out, std::string* error);

  PdfFile* file_;
  std::map<uint64_t, std::unique_ptr<XrefSectionData>> sections_;
  struct DecodedStream {
    uint64_t offset = 0;
    uint64_t start = 0, end = 0;  // the object stream's own bytes
    std::string data;
    std::vector<ObjectStreamEntry> entries;
    uint64_t used = 0;
  };
  std::vector<DecodedStream> objectStreams_;
  uint64_t clock_ = 0;
  uint64_t decoded_ = 0;  // bytes of stream data decoded, bounded against hostile files
  uint64_t parsed_ = 0;   // bytes of windows parsed, likewise
};
