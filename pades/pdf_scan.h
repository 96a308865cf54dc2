#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/sha256.h"
#include "pades/file_io.h"

// PdfScan answers the few questions the signer asks of a PDF file (trailer, catalog, pages,
// existing signature fields) without an object model. The file is read once, in chunks: that
// pass builds the object index, notes the last "startxref", hashes every byte and reads the
// dictionaries of form fields. Everything later is read by offset through a small window that
// grows until the value ends, so memory does not grow with the document.

// One object of the index: the offset of the first digit of its "N G obj" header. The last
// definition in the file wins.
struct IndexEntry {
  int32_t number = 0;
  uint32_t offset = 0;
};

// FieldObject is an object whose dictionary is a signature field or a widget annotation.
struct FieldObject {
  int32_t number = 0;
  uint32_t offset = 0;
  bool signatureField = false;      // /FT /Sig
  bool widget = false;              // /Subtype /Widget
  bool rectangleValid = false;      // /Rect with x2 > x1 and y2 > y1
  std::optional<int64_t> page;      // /P as a reference
  std::optional<int64_t> parent;    // /Parent as a reference
  std::optional<std::string> name;  // /T as a literal, without its parentheses
};

// Parse is the outcome of reading a value from a window of the file: NeedMore means the window
// ended before the answer was certain.
enum class Parse { Done, Failed, NeedMore };

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
  NoObjects,  // the index is empty (everything inside object streams)
  BadCatalog,
  NoPagesReference,
  NoPages,
};

class PdfScan {
 public:
  // Files of this size or more cannot be signed: /ByteRange holds unsigned 32-bit numbers.
  static constexpr uint64_t kMaxSignedFileSize = 0xFFFFFFFFull;

  // `chunkSize` is the read size of the pass; tests make it small to cross chunk edges often.
  explicit PdfScan(size_t chunkSize = size_t(1) << 20);

  // Open reads the file and runs the opening checks in order; the first failure is returned.
  ScanStatus Open(const std::string& path);

  InputFile& file() { return file_; }
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
  // Signature fields and widgets, ascending by number.
  const std::vector<FieldObject>& fieldObjects() const { return fields_; }

  std::optional<uint32_t> Offset(int64_t number) const;
  // ReadObjectDict returns the body (between "<<" and ">>") of an indexed object's dictionary.
  bool ReadObjectDict(int64_t number, std::string* body);
  // ReadObjectArray returns the trimmed elements of an indexed object that is an array.
  bool ReadObjectArray(int64_t number, std::string* elements);
  // CollectPages lists the page objects under a page-tree node, depth first, down to 32 levels.
  std::vector<int64_t> CollectPages(int64_t rootNumber);

 private:
  template <typename F>
  bool WithWindow(uint64_t offset, F&& parse);
  // ReadObjectBody reads the dictionary (or array) that an indexed object holds.
  bool ReadObjectBody(int64_t number, bool array, std::string* body);
  std::string ReadSpan(uint64_t offset, size_t len);
  int ByteAt(uint64_t offset);
  bool Charge(uint64_t bytes);

  void ScanChunk(std::string_view view, uint64_t start, bool atEnd);
  void TakeHeader(std::string_view view, uint64_t start, size_t objPos, bool atEnd);
  void NoteFieldObject(int32_t number, uint32_t offset, std::string_view body);
  void FinishIndex();
  ScanStatus ReadTrailer();
  std::optional<uint64_t> FindForward(uint64_t from, std::string_view needle);
  void Visit(int64_t number, int depth, std::vector<int64_t>* pages, uint64_t* visits);

  size_t chunkSize_;
  InputFile file_;
  uint64_t length_ = 0;
  uint8_t lastByte_ = 0;
  Sha256Context hash_;
  uint64_t budget_ = 0;  // bytes the window parses may still spend

  uint64_t nextObj_ = 0;
  uint64_t nextStartxref_ = 0;
  std::optional<uint64_t> lastStartxref_;
  std::vector<IndexEntry> index_;
  std::vector<IndexEntry> deferred_;  // headers whose dictionary ran past a chunk
  std::vector<FieldObject> fields_;

  int64_t startxref_ = 0;
  std::string trailer_;
  int64_t root_ = 0;
  int64_t size_ = 0;
  std::optional<std::string> firstId_;
  std::string catalog_;
  std::vector<int64_t> pages_;

  struct Block {
    uint64_t index = 0;
    uint64_t used = 0;
    std::string data;
  };
  std::vector<Block> blocks_;
  uint64_t clock_ = 0;
};
