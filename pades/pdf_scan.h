#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/sha256.h"
#include "pades/pdf_file.h"
#include "pades/xref.h"

// PdfScan answers the few questions the signer asks of a PDF file (trailer, catalog, pages,
// existing signature fields) without an object model. The file is read once, in chunks: that
// pass finds every object header outside stream data, notes the last "startxref", hashes every
// byte and reads the dictionaries of form fields. Objects are then located through the
// cross-reference sections, as viewers locate them; the headers found by the pass only stand in
// for a damaged table. Everything later is read by offset through a small window that grows
// until the value ends, and only the object streams that hold what is asked for are decoded, so
// memory does not grow with the document.

// One object of the index. A plain object is found by the offset of the first digit of its
// "N G obj" header; a compressed one by its object stream and its place in it.
struct IndexEntry {
  int32_t number = 0;
  uint32_t offset = 0;       // plain: the header; compressed: the object stream's number
  uint32_t streamIndex = 0;  // compressed: the place inside the object stream
  uint32_t generation = 0;
  bool compressed = false;
};

// FieldObject is an object whose dictionary is a signature field or a widget annotation.
struct FieldObject {
  int32_t number = 0;
  uint32_t offset = 0;
  bool signatureField = false;        // /FT /Sig
  bool widget = false;                // /Subtype /Widget
  bool signatureStamp = false;        // a stamp annotation that shows a signature on a further page
  bool rectangleValid = false;        // /Rect with x2 > x1 and y2 > y1
  std::array<double, 4> rectangle{};  // /Rect as x1 y1 x2 y2, when valid
  std::optional<int64_t> page;        // /P as a reference
  std::optional<int64_t> parent;      // /Parent as a reference
  std::optional<std::string> name;    // /T as a literal, without its parentheses
};

// Parse is the outcome of reading a value from a window of the file: NeedMore means the window
// ended before the answer was certain.
enum class Parse { Done, Failed, NeedMore };

namespace pdf_scan_internal {
// ParseValue reads the dictionary (or, with `wantArray`, the array) that starts at `p` after
// blanks and sets the span between its brackets; `used` gets the position after it.
Parse ParseValue(std::string_view text, size_t p, bool atEnd, bool wantArray, size_t* bodyStart,
                 size_t* bodyEnd, size_t* used);
// ParseObjectDict reads "N G obj" and then the value as ParseValue does.
Parse ParseObjectDict(std::string_view text, bool atEnd, bool wantArray, size_t* bodyStart, size_t* bodyEnd,
                      size_t* used);
}  // namespace pdf_scan_internal

enum class ScanStatus {
  Ok,
  Unreadable,  // the file cannot be read
  NotPdf,      // no "%PDF-" header
  TooLarge,    // offsets would not fit the 32-bit /ByteRange
  NoStartxref,
  StartxrefOutside,
  BadTrailer,
  NoRoot,
  Encrypted,
  NoObjects,       // the index is empty
  StreamTooLarge,  // a stream the reader needs expands past the decoding limits
  OverBudget,      // locating the objects would read far more than the file holds
  BadCatalog,
  NoPagesReference,
  NoPages,
  NotRegular,  // a FIFO, a device or a folder
};

class PdfScan {
 public:
  // Files of this size or more cannot be signed: /ByteRange holds unsigned 32-bit numbers.
  static constexpr uint64_t kMaxSignedFileSize = 0xFFFFFFFFull;

  // `chunkSize` is the read size of the pass; tests make it small to cross chunk edges often.
  explicit PdfScan(size_t chunkSize = size_t(1) << 20);

  // Open reads the file and runs the opening checks in order; the first failure is returned.
  ScanStatus Open(const std::string& path);

  InputFile& file() { return file_.input(); }
  uint64_t length() const { return length_; }
  // The file's last byte (0 for an empty file).
  uint8_t lastByte() const { return lastByte_; }
  // The hash state after every byte of the file, ready to take more.
  const Sha256Context& hashAfterInput() const { return hash_; }
  int64_t startxref() const { return startxref_; }
  const std::string& trailer() const { return trailer_; }
  int64_t root() const { return root_; }
  int64_t declaredSize() const { return size_; }
  // The first /ID string's hex digits, when the trailer has a well-formed one.
  const std::optional<std::string>& firstIdentifier() const { return firstId_; }
  const std::string& catalog() const { return catalog_; }
  const std::vector<int64_t>& pages() const { return pages_; }
  const std::vector<IndexEntry>& index() const { return index_; }
  // The highest object number in use: in the index, or among the headers the pass found (an
  // object outside the table must not be shadowed by a new one either).
  int64_t highestNumber() const;
  // True when the newest cross-reference section is a stream, so the update writes one too.
  bool newestSectionIsStream() const { return newestIsStream_; }
  // True when the table could not be used and objects were located by the pass's headers.
  bool repaired() const { return repaired_; }
  // The generation of an indexed object; 0 for any other number.
  uint32_t Generation(int64_t number) const;
  // RefTo reads a key's value as "N G R" and returns N when G is N's generation.
  std::optional<int64_t> RefTo(std::string_view body, std::string_view key) const;
  // Signature fields and widgets, ascending by number.
  const std::vector<FieldObject>& fieldObjects() const { return fields_; }

  const IndexEntry* Find(int64_t number) const;
  std::optional<uint32_t> Offset(int64_t number) const;
  // ReadObjectDict returns the body (between "<<" and ">>") of an indexed object's dictionary.
  bool ReadObjectDict(int64_t number, std::string* body);
  // ReadObjectArray returns the trimmed elements of an indexed object that is an array.
  bool ReadObjectArray(int64_t number, std::string* elements);
  // ReadStream reads and decodes the data of an indexed stream object (streams are never
  // compressed in object streams). It returns false when the object is no stream, its data
  // cannot be decoded, or decoding would pass the reading budget.
  bool ReadStream(int64_t number, std::string* dict, std::string* data);
  // XrefSection is one section of the cross-reference chain: where it starts and what it lists.
  struct XrefSection {
    uint64_t offset = 0;
    std::vector<XrefRecord> records;
  };
  // Sections reads the chain again, newest first, keeping each section's records apart (a
  // hybrid file's stream counts with its table). It returns false when a section is unreadable;
  // what that section yielded is then the last one listed.
  bool Sections(std::vector<XrefSection>* out);
  // ReadRecordBody reads the dictionary, or failing that the array, of an object as one
  // record locates it, which may be an older definition than the index holds. A compressed
  // record is read from the object stream the index holds under that number.
  bool ReadRecordBody(const XrefRecord& record, std::string* body, bool* isArray);
  // ParseAt runs `parse` over the file from `offset` on a window that grows while it asks for
  // more (pdf_scan_window.h); ReadText reads raw bytes, fewer at the end of the file.
  template <typename F>
  bool ParseAt(uint64_t offset, F&& parse) {
    return WithWindow(offset, std::forward<F>(parse));
  }
  std::string ReadText(uint64_t offset, size_t len) { return ReadSpan(offset, len); }
  // CollectPages lists the page objects under a page-tree node, depth first, at any depth.
  std::vector<int64_t> CollectPages(int64_t rootNumber);

 private:
  struct ObjectStream {
    int64_t number = 0;
    std::string data;
    std::vector<ObjectStreamEntry> entries;
    uint64_t used = 0;
  };
  template <typename F>
  bool WithWindow(uint64_t offset, F&& parse);
  // ReadObjectBody reads the dictionary (or array) that an indexed object holds.
  bool ReadObjectBody(int64_t number, bool array, std::string* body);
  // ReadDictAt reads the dictionary of the plain object whose header starts at `offset`; `end`
  // gets the absolute position after its ">>".
  bool ReadDictAt(uint64_t offset, std::string* body, uint64_t* end);
  // ReadStreamAt reads and decodes the stream object whose header starts at `offset`.
  bool ReadStreamAt(uint64_t offset, std::string* dict, std::string* data);
  const ObjectStream* LoadObjectStream(int64_t number);
  std::string ReadSpan(uint64_t offset, size_t len);
  int ByteAt(uint64_t offset);
  bool Charge(uint64_t bytes);

  void ScanChunk(std::string_view view, uint64_t start, bool atEnd);
  void TakeHeader(std::string_view view, uint64_t start, size_t objPos, bool atEnd);
  void SkipStreamData(std::string_view dict, uint64_t dictEnd, std::string_view view, uint64_t start);
  void NoteFieldObject(int32_t number, uint32_t offset, std::string_view body);
  ScanStatus ReadTrailer();
  // The cross-reference chain, newest section first; false when any section is unreadable.
  bool ReadXrefChain(std::vector<XrefRecord>* records);
  bool ReadXrefSection(uint64_t offset, std::vector<XrefRecord>* records, std::optional<int64_t>* prev);
  std::optional<uint64_t> HeaderAt(uint64_t offset, int64_t number, uint32_t generation);
  void BuildIndex();
  // UseScannedHeaders makes the pass's headers the index: the last definition of each number.
  void UseScannedHeaders();
  void IndexScannedObjectStreams();
  void KeepCurrentFields();
  void NoteCompressedFields();
  std::optional<uint64_t> FindForward(uint64_t from, std::string_view needle, uint64_t limit = UINT64_MAX);

  size_t chunkSize_;
  PdfFile file_;
  uint64_t length_ = 0;
  uint8_t lastByte_ = 0;
  Sha256Context hash_;
  uint64_t budget_ = 0;  // bytes the window parses and stream decodes may still spend

  uint64_t nextObj_ = 0;
  bool seekingEndstream_ = false;  // inside stream data of unknown length
  uint64_t nextStartxref_ = 0;
  std::optional<uint64_t> lastStartxref_;
  std::vector<IndexEntry> headers_;  // every header the pass accepted, in file order
  std::vector<int64_t> scannedObjectStreams_;
  std::vector<IndexEntry> index_;
  std::vector<FieldObject> fields_;
  bool newestIsStream_ = false;
  bool repaired_ = false;
  bool streamRefused_ = false;

  int64_t startxref_ = 0;
  std::string trailer_;
  int64_t root_ = 0;
  int64_t rootGeneration_ = 0;
  int64_t size_ = 0;
  std::optional<std::string> firstId_;
  std::string catalog_;
  std::vector<int64_t> pages_;

  std::vector<ObjectStream> streams_;
  uint64_t clock_ = 0;
};
