#include "pades/coverage.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>

#include "pades/pdf_syntax.h"

namespace {

// What kind of workflow a change belongs to; the permission in force decides which kinds pass.
enum class Kind {
  Structure,       // a list extended to hold something judged on its own
  Signature,       // a new approval signature, its field, widget and stamps
  Timestamp,       // a document time stamp
  ValidationData,  // the document security store
  FormFill,        // a form field's value and its own appearance
  Annotation,      // an annotation other than a widget
  Forbidden,       // anything else
};

enum class State { Same, Changed, New, Freed };

struct Candidate {
  State state = State::Same;
  PdfObject now, before;
};

std::string Object(int64_t number) {
  return "objeto " + std::to_string(number);
}

std::string FirstKey(const std::string& path) {
  const size_t end = path.find_first_of("/[");
  return path.substr(0, end);
}

bool IsDict(const PdfValue& value) {
  return value.Is(PdfValue::Type::Dictionary);
}

bool IsTrue(const PdfValue* value) {
  return value && value->Is(PdfValue::Type::Boolean) && value->boolean;
}

// DifferentKeys lists the keys whose values differ between two dictionaries.
std::vector<std::string> DifferentKeys(const PdfValue& a, const PdfValue& b) {
  std::vector<std::string> out;
  for (const auto& [key, value] : a.entries) {
    const PdfValue* other = b.Get(key);
    if ((!other || !SameValue(value, *other)) && std::find(out.begin(), out.end(), key) == out.end())
      out.push_back(key);
  }
  for (const auto& [key, value] : b.entries)
    if (!a.Get(key) && std::find(out.begin(), out.end(), key) == out.end()) out.push_back(key);
  return out;
}

std::string KeyList(const std::vector<std::string>& keys) {
  std::string out;
  for (const std::string& key : keys) out += (out.empty() ? "/" : ", /") + key;
  return out;
}

bool Within(const std::vector<std::string>& keys, std::initializer_list<const char*> allowed) {
  return std::all_of(keys.begin(), keys.end(), [&](const std::string& key) {
    return std::any_of(allowed.begin(), allowed.end(), [&](const char* a) { return key == a; });
  });
}

bool Has(const std::vector<std::string>& keys, const char* key) {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

bool IsSignatureDictionary(const PdfValue& value) {
  const PdfValue* type = value.Get("Type");
  return (type && (type->IsName("Sig") || type->IsName("DocTimeStamp"))) ||
         (value.Get("ByteRange") && value.Get("Contents"));
}

bool IsDocumentTimestamp(const PdfValue& value) {
  const PdfValue* type = value.Get("Type");
  const PdfValue* sub = value.Get("SubFilter");
  return (type && type->IsName("DocTimeStamp")) || (sub && sub->IsName("ETSI.RFC3161"));
}

// Area is an annotation's /Rect as left, bottom, right, top; nothing when it is not four numbers.
std::optional<std::array<double, 4>> Area(const PdfValue& annotation) {
  const PdfValue* rect = annotation.Get("Rect");
  if (!rect || !rect->Is(PdfValue::Type::Array) || rect->items.size() != 4) return std::nullopt;
  double r[4];
  for (int i = 0; i < 4; ++i)
    if (!rect->items[size_t(i)].Number(&r[i])) return std::nullopt;
  return std::array<double, 4>{std::min(r[0], r[2]), std::min(r[1], r[3]), std::max(r[0], r[2]),
                               std::max(r[1], r[3])};
}

// Visible says whether a widget draws anything: a normal appearance on a rectangle with area,
// not hidden (ISO 32000-1 12.5.3, flags Hidden and NoView).
bool Visible(const PdfValue& widget) {
  const PdfValue* ap = widget.Get("AP");
  const PdfValue* flags = widget.Get("F");
  const std::optional<std::array<double, 4>> area = Area(widget);
  if (!ap || !ap->Get("N") || !area) return false;
  if (flags && flags->Is(PdfValue::Type::Integer) && (flags->integer & (2 | 32))) return false;
  return (*area)[0] != (*area)[2] && (*area)[1] != (*area)[3];
}

class Judge {
 public:
  Judge(PdfRevisionReader* reader, const SignedRevision& s, Coverage* out)
      : reader_(reader), s_(s), graph_(*s.graph), out_(out) {}
  void Run();

 private:
  void Note(int64_t number, Kind kind, bool ok, std::string what);
  void CheckStructure();
  void CheckSignedBytes();
  void CheckUnlistedObjects(const std::vector<std::pair<uint64_t, uint64_t>>& listed);
  void CollectCandidates();
  bool SameObject(const PdfObject& a, const PdfObject& b);
  const PdfValue* Now(int64_t number);
  const PdfValue* Before(int64_t number);
  std::vector<int64_t> ListNow(const PdfValue* value);
  std::vector<int64_t> ListBefore(const PdfValue* value);
  bool IsNew(int64_t number) const;
  std::string Label(int64_t number) const;
  std::string FieldName(int64_t number) const;

  void JudgeCatalog();
  void JudgeAcroForm(const PdfValue* before, const PdfValue* now, int64_t number);
  void JudgePage(int64_t page);
  void JudgeFieldList(int64_t holder, const char* key);
  void JudgeFormObject(int64_t number);
  void JudgeNewAnnotation(int64_t number, bool stampsOnly);
  void JudgeNewField(int64_t number);
  void JudgeSignatureDictionary(int64_t number);
  void JudgeInfo();
  void JudgeFreed(int64_t number);
  void CheckDanglingReferences();
  void JudgeByReferrers(std::vector<int64_t> others);
  bool Permits(const GraphEdge& edge, const std::set<int64_t>& allowed) const;
  void ApplyPolicy();

  PdfRevisionReader* reader_;
  const SignedRevision& s_;
  const DocumentGraph& graph_;
  Coverage* out_;
  std::map<int64_t, Candidate> candidates_;
  std::map<int64_t, PdfObject> beforeCache_;
  std::map<int64_t, PdfObject> nowCache_;
  struct Finding {
    int64_t number;
    Kind kind;
    bool ok;
    std::string what;
  };
  std::vector<Finding> findings_;
  std::set<int64_t> judged_;            // candidates a structural judgement covered
  std::set<int64_t> newSignatures_;     // new signature dictionaries
  std::set<int64_t> appearanceOwners_;  // objects whose own appearance may change
  std::set<int64_t> valueChanged_;      // fields whose value a later revision filled
  std::set<std::string> filledNames_;
  std::vector<int64_t> stampAppearances_;  // /AP /N of new signed signature widgets
  // The pages and rectangles of new signed signature widgets: a stamp drawn inside one shows
  // nothing the widget could not (readers that redraw widgets of a /NeedAppearances form need
  // it to see the signature at all).
  std::vector<std::pair<int64_t, std::array<double, 4>>> signedAreas_;
  bool resourcesAllowed_ = false;  // the form's /DR may take new fonts
  int64_t beforeRoot_ = 0, beforeInfo_ = 0;
};

void Judge::Note(int64_t number, Kind kind, bool ok, std::string what) {
  // Every line names its object, so that a reader of the report can find it in the file.
  if (number > 0 && what.find(Object(number)) == std::string::npos) what += " (" + Object(number) + ")";
  findings_.push_back({number, kind, ok, std::move(what)});
}

std::string Judge::Label(int64_t number) const {
  if (number == graph_.root) return "catalogo";
  std::string page = graph_.PageLabel(number);
  if (!page.empty()) return page + " (" + Object(number) + ")";
  if (auto it = graph_.annotationPage.find(number); it != graph_.annotationPage.end())
    return "anotacion de la " + graph_.PageLabel(it->second) + " (" + Object(number) + ")";
  return Object(number);
}

std::string Judge::FieldName(int64_t number) const {
  auto it = graph_.fields.find(number);
  return it == graph_.fields.end() || it->second.name.empty() ? Object(number)
                                                              : "\"" + it->second.name + "\"";
}

bool Judge::IsNew(int64_t number) const {
  auto it = candidates_.find(number);
  return it != candidates_.end() && it->second.state == State::New;
}

const PdfValue* Judge::Now(int64_t number) {
  auto it = nowCache_.find(number);
  if (it == nowCache_.end()) {
    PdfObject object;
    std::string error;
    if (s_.current->LoadObject(number, &object, &error) != PdfRevision::Load::Ok) return nullptr;
    it = nowCache_.emplace(number, std::move(object)).first;
  }
  return &it->second.value;
}

const PdfValue* Judge::Before(int64_t number) {
  auto it = beforeCache_.find(number);
  if (it == beforeCache_.end()) {
    PdfObject object;
    std::string error;
    if (s_.signedRevision->LoadObject(number, &object, &error) != PdfRevision::Load::Ok) return nullptr;
    it = beforeCache_.emplace(number, std::move(object)).first;
  }
  return &it->second.value;
}

std::vector<int64_t> Judge::ListNow(const PdfValue* value) {
  if (value && value->Is(PdfValue::Type::Reference)) value = Now(value->integer);
  std::vector<int64_t> out;
  if (value && value->Is(PdfValue::Type::Array))
    for (const PdfValue& item : value->items)
      if (item.Is(PdfValue::Type::Reference)) out.push_back(item.integer);
  return out;
}

std::vector<int64_t> Judge::ListBefore(const PdfValue* value) {
  if (value && value->Is(PdfValue::Type::Reference)) value = Before(value->integer);
  std::vector<int64_t> out;
  if (value && value->Is(PdfValue::Type::Array))
    for (const PdfValue& item : value->items)
      if (item.Is(PdfValue::Type::Reference)) out.push_back(item.integer);
  return out;
}

bool Judge::SameObject(const PdfObject& a, const PdfObject& b) {
  if (a.opaque || b.opaque) return a.opaque == b.opaque && a.raw == b.raw;
  if (a.stream != b.stream || !SameValue(a.value, b.value)) return false;
  if (!a.stream || (a.dataStart == b.dataStart && a.dataLength == b.dataLength)) return true;
  if (a.dataLength != b.dataLength) return false;
  constexpr size_t kStep = size_t(1) << 20;
  for (uint64_t done = 0; done < a.dataLength; done += kStep) {
    const size_t len = size_t(std::min<uint64_t>(kStep, a.dataLength - done));
    if (reader_->file().Read(a.dataStart + done, len) != reader_->file().Read(b.dataStart + done, len))
      return false;
  }
  return true;
}

// CheckStructure holds the current chain to the signed one: every newer section lies wholly
// after the signed bytes, and nothing but blanks follows the last "%%EOF" (a repairing reader
// would take objects from there, and one that searches the end for "startxref" would not find it).
void Judge::CheckStructure() {
  const auto& chain = s_.current->chain();
  for (size_t i = 0; i < s_.laterSections; ++i)
    for (const auto& [start, end] : chain[i]->extents)
      if (start < s_.signedEnd)
        Note(0, Kind::Forbidden, false,
             "una seccion de referencias cruzadas posterior a la firma reutiliza bytes firmados (byte " +
                 std::to_string(start) + ")");
  const std::optional<uint64_t> last = reader_->LastRevisionEnd();
  const uint64_t length = reader_->file().length();
  if (!last || *last >= length || s_.signedEnd >= length) return;
  const std::string tail = reader_->file().Read(*last, size_t(std::min<uint64_t>(length - *last, 1 << 20)));
  const bool blank = std::all_of(tail.begin(), tail.end(), [](char c) { return IsPdfWhite(uint8_t(c)); });
  if (!blank || length - *last > 256)
    Note(0, Kind::Forbidden, false,
         "hay " + std::to_string(length - *last) + " bytes despues del ultimo %%EOF");
}

// CheckSignedBytes makes sure that what the current revision keeps from the signed one was
// signed: the sections and every reached object it did not rewrite lie inside the signed
// ranges, never in the /Contents hole or past the end.
void Judge::CheckSignedBytes() {
  auto inside = [&](uint64_t start, uint64_t end) {
    return (end <= s_.holeStart) || (start >= s_.holeEnd && end <= s_.signedEnd);
  };
  for (const XrefSectionData* section : s_.signedRevision->chain())
    for (const auto& [start, end] : section->extents)
      if (!inside(start, end)) {
        out_->unreadable = true;
        Note(0, Kind::Forbidden, false,
             "la revision firmada usa referencias cruzadas que no estan firmadas (byte " +
                 std::to_string(start) + ")");
      }
  for (const DocumentGraph::Reached& object : graph_.reached) {
    if (candidates_.count(object.number) || s_.current->EntrySection(object.number) < int(s_.laterSections))
      continue;
    // Only the signature dictionary holds the hole, its own /Contents: any other object around
    // it would take unsigned bytes into what readers show.
    const bool holder = object.number == s_.dictionary && object.start < s_.holeStart &&
                        object.end >= s_.holeEnd && object.end <= s_.signedEnd;
    if (!holder && !inside(object.start, object.end))
      Note(object.number, Kind::Forbidden, false,
           Label(object.number) + ": sus bytes estan fuera de lo firmado");
  }
}

void Judge::CollectCandidates() {
  const auto& chain = s_.current->chain();
  std::set<int64_t> numbers, containers;
  for (size_t i = 0; i < s_.laterSections; ++i)
    for (const XrefRecord& r : chain[i]->records) numbers.insert(r.number);
  // An object inside an object stream that a later section rewrote may read differently.
  for (int64_t n : numbers) containers.insert(n);
  for (const DocumentGraph::Reached& object : graph_.reached) {
    const XrefRecord* entry = s_.current->Entry(object.number);
    if (entry && entry->kind == XrefRecord::Kind::Compressed && containers.count(int64_t(entry->offset)))
      numbers.insert(object.number);
  }
  std::vector<std::pair<uint64_t, uint64_t>> listed;
  for (int64_t n : numbers) {
    const XrefRecord* now = s_.current->Entry(n);
    const XrefRecord* before = s_.signedRevision->Entry(n);
    const bool inUseNow = now && now->kind != XrefRecord::Kind::Free;
    const bool inUseBefore = before && before->kind != XrefRecord::Kind::Free;
    Candidate c;
    std::string error;
    if (inUseNow && s_.current->LoadObject(n, &c.now, &error) != PdfRevision::Load::Ok) {
      Note(n, Kind::Forbidden, false, Object(n) + " ilegible en la revision actual: " + error);
      continue;
    }
    if (inUseBefore && s_.signedRevision->LoadObject(n, &c.before, &error) != PdfRevision::Load::Ok)
      c.before = PdfObject();  // unreadable when signed: whatever it holds now is new to readers
    if (inUseNow && inUseBefore && !c.before.value.Is(PdfValue::Type::Null))
      c.state =
          now->generation == before->generation && SameObject(c.now, c.before) ? State::Same : State::Changed;
    else if (inUseNow)
      c.state = State::New;
    else if (inUseBefore)
      c.state = State::Freed;
    if (c.state != State::Same) candidates_.emplace(n, std::move(c));
  }
  // Every definition a newer section lists, superseded ones too, is accounted for.
  for (size_t i = 0; i < s_.laterSections; ++i) {
    listed.insert(listed.end(), chain[i]->extents.begin(), chain[i]->extents.end());
    for (const XrefRecord& r : chain[i]->records) {
      PdfObject object;
      std::string error;
      if (r.kind == XrefRecord::Kind::Plain &&
          reader_->ReadPlainObject(r.offset, r.number, r.generation, s_.current, &object, &error))
        listed.push_back({object.start, object.end});
    }
  }
  CheckUnlistedObjects(listed);
}

// CheckUnlistedObjects finds object definitions written after the signature that no section
// lists: invisible to a reader that follows the cross-references, shown by one that repairs.
void Judge::CheckUnlistedObjects(const std::vector<std::pair<uint64_t, uint64_t>>& listed) {
  std::vector<std::pair<uint64_t, uint64_t>> spans = listed;
  std::sort(spans.begin(), spans.end());
  const uint64_t end = reader_->LastRevisionEnd().value_or(reader_->file().length());
  uint64_t at = s_.signedEnd;
  auto scanGap = [&](uint64_t from, uint64_t to) {
    for (uint64_t p = from; p < to;) {
      const size_t len = size_t(std::min<uint64_t>(to - p, size_t(1) << 20));
      const std::string text = reader_->file().Read(p, len + 16);
      for (size_t hit = 0; (hit = FindBytes(text, "obj", hit)) != std::string::npos && hit < len; hit += 3) {
        size_t i = hit;
        while (i > 0 && IsPdfWhite(uint8_t(text[i - 1]))) --i;
        const size_t digits = i;
        while (i > 0 && IsDigit(uint8_t(text[i - 1]))) --i;
        if (i == digits || (hit + 3 < text.size() && !IsPdfDelimiter(uint8_t(text[hit + 3])))) continue;
        Note(0, Kind::Forbidden, false,
             "hay un objeto escrito despues de la firma que ninguna referencia cruzada lista (byte " +
                 std::to_string(p + i) + "); un lector que repare el fichero lo mostraria");
        return;
      }
      p += len;
    }
  };
  for (const auto& [start, stop] : spans) {
    if (start > at) scanGap(at, std::min(start, end));
    at = std::max(at, stop);
  }
  if (at < end) scanGap(at, end);
}

// JudgeCatalog compares the catalog readers start from now with the signed one, also when a
// later trailer points /Root at another object.
void Judge::JudgeCatalog() {
  const bool moved = graph_.root != beforeRoot_;
  const bool changed = candidates_.count(graph_.root) || moved;
  if (!changed) return;
  judged_.insert(graph_.root);
  const PdfValue* now = Now(graph_.root);
  const PdfValue* before = Before(beforeRoot_);
  const std::string where = moved ? "catalogo sustituido (/Root " + Object(graph_.root) + ")" : "catalogo";
  if (!now || !before || !IsDict(*now) || !IsDict(*before)) {
    Note(graph_.root, Kind::Forbidden, false, where + " ilegible");
    return;
  }
  for (const std::string& key : DifferentKeys(*before, *now)) {
    if (key == "AcroForm") {
      const PdfValue* b = before->Get(key);
      const PdfValue* n = now->Get(key);
      PdfObject holderBefore;
      const PdfValue* formBefore = b ? &s_.signedRevision->Resolve(*b, &holderBefore) : nullptr;
      const PdfValue* formNow = n ? (n->Is(PdfValue::Type::Reference) ? Now(n->integer) : n) : nullptr;
      if (n && n->Is(PdfValue::Type::Reference)) judged_.insert(n->integer);
      JudgeAcroForm(formBefore, formNow, n && n->Is(PdfValue::Type::Reference) ? n->integer : graph_.root);
    } else if (key == "DSS") {
      Note(graph_.root, Kind::ValidationData, true, "datos de validacion (/DSS)");
    } else if (key == "Extensions") {
      Note(graph_.root, Kind::ValidationData, true, "catalogo: extensiones declaradas (/Extensions)");
    } else {
      Note(graph_.root, Kind::Forbidden, false, where + " modificado (/" + key + ")");
    }
  }
}

// JudgeAcroForm compares the form's own entries: new signature fields may join /Fields; the
// entries that change how every field is drawn (/NeedAppearances, /XFA, and /DA or /DR where
// other fields use them) may not change.
void Judge::JudgeAcroForm(const PdfValue* before, const PdfValue* now, int64_t number) {
  static const PdfValue kEmpty = [] {
    PdfValue v;
    v.type = PdfValue::Type::Dictionary;
    return v;
  }();
  if (!before || !IsDict(*before)) before = &kEmpty;
  if (!now || !IsDict(*now)) {
    Note(number, Kind::Forbidden, false, "formulario (/AcroForm) eliminado o ilegible");
    return;
  }
  const std::vector<int64_t> oldFields = ListBefore(before->Get("Fields"));
  const bool onlySignatures = std::all_of(oldFields.begin(), oldFields.end(), [&](int64_t f) {
    const PdfValue* field = Before(f);
    const PdfValue* type = field ? field->Get("FT") : nullptr;
    return type && type->IsName("Sig");
  });
  for (const std::string& key : DifferentKeys(*before, *now)) {
    if (key == "Fields") {
      const PdfValue* list = now->Get("Fields");
      if (list && list->Is(PdfValue::Type::Reference)) judged_.insert(list->integer);
      const std::vector<int64_t> newFields = ListNow(list);
      bool ok = std::all_of(oldFields.begin(), oldFields.end(), [&](int64_t f) {
        return std::find(newFields.begin(), newFields.end(), f) != newFields.end();
      });
      for (int64_t f : newFields)
        if (std::find(oldFields.begin(), oldFields.end(), f) == oldFields.end()) ok = ok && IsNew(f);
      Note(
          number, Kind::Structure, ok,
          ok ? "formulario: campos anadidos" : "formulario: campos existentes quitados o anadidos (/Fields)");
    } else if (key == "SigFlags") {
      Note(number, Kind::Structure, true, "formulario: /SigFlags");
    } else if ((key == "DA" || key == "DR") && onlySignatures) {
      resourcesAllowed_ = true;
      Note(number, Kind::Structure, true, "formulario: /" + key);
    } else if (key == "NeedAppearances" && !IsTrue(now->Get(key))) {
      Note(number, Kind::Structure, true, "formulario: /NeedAppearances");
    } else {
      Note(number, Kind::Forbidden, false,
           "formulario modificado (/" + key + "): cambia como se ven los campos");
    }
  }
}

// JudgePage allows a page only to gain new annotations (each judged on its own).
void Judge::JudgePage(int64_t page) {
  judged_.insert(page);
  const PdfValue* now = Now(page);
  const PdfValue* before = IsNew(page) ? nullptr : Before(page);
  const std::string label = graph_.PageLabel(page);
  const bool leaf = !label.empty();
  if (!before) {
    Note(page, Kind::Forbidden, false,
         (leaf ? label + " anadida (" : "arbol de paginas: nodo nuevo (") + Object(page) + ")");
    return;
  }
  if (!leaf || !now || !IsDict(*now) || !IsDict(*before) ||
      (before->Get("Kids") && !(before->Get("Type") && before->Get("Type")->IsName("Page")))) {
    Note(page, Kind::Forbidden, false,
         (leaf ? label + " modificada (" : "arbol de paginas modificado (") + Object(page) + ")");
    return;
  }
  std::vector<std::string> keys = DifferentKeys(*before, *now);
  keys.erase(std::remove(keys.begin(), keys.end(), "Annots"), keys.end());
  if (!keys.empty()) {
    Note(page, Kind::Forbidden, false, label + " (" + Object(page) + ") modificada: " + KeyList(keys));
    return;
  }
  const std::vector<int64_t> oldList = ListBefore(before->Get("Annots"));
  const std::vector<int64_t> newList = ListNow(now->Get("Annots"));
  if (const PdfValue* annots = now->Get("Annots"); annots && annots->Is(PdfValue::Type::Reference))
    judged_.insert(annots->integer);
  for (int64_t a : oldList)
    if (std::find(newList.begin(), newList.end(), a) == newList.end())
      Note(page, Kind::Annotation, false, label + ": anotacion quitada (" + Object(a) + ")");
  for (int64_t a : newList)
    if (std::find(oldList.begin(), oldList.end(), a) == oldList.end() && !IsNew(a))
      Note(page, Kind::Annotation, false, label + ": anotacion existente anadida (" + Object(a) + ")");
  if (oldList != newList) Note(page, Kind::Structure, true, label + ": anotaciones");
}

void Judge::JudgeFieldList(int64_t holder, const char* key) {
  const PdfValue* now = Now(holder);
  const PdfValue* before = Before(holder);
  if (!now || !before) return;
  const std::vector<int64_t> oldList = ListBefore(before->Get(key));
  const std::vector<int64_t> newList = ListNow(now->Get(key));
  bool ok = true;
  for (int64_t f : oldList) ok = ok && std::find(newList.begin(), newList.end(), f) != newList.end();
  for (int64_t f : newList)
    if (std::find(oldList.begin(), oldList.end(), f) == oldList.end()) ok = ok && IsNew(f);
  Note(holder, Kind::Structure, ok,
       ok ? FieldName(holder) + ": elementos anadidos" : FieldName(holder) + ": /" + key + " modificado");
}

// JudgeFormObject judges a field or annotation that existed when the document was signed:
// filling a field changes its value and its own appearance; signing an empty signature field
// gives it a value; anything else about a form object is a modification.
void Judge::JudgeFormObject(int64_t number) {
  judged_.insert(number);
  const PdfValue* now = Now(number);
  const PdfValue* before = Before(number);
  const Candidate& c = candidates_.at(number);
  const std::string label = Label(number);
  if (!now || !before || !IsDict(*now) || !IsDict(*before) || c.now.stream != c.before.stream) {
    Note(number, Kind::Forbidden, false, label + " modificada");
    return;
  }
  const std::vector<std::string> keys = DifferentKeys(*before, *now);
  auto field = graph_.fields.find(number);
  const bool isField = field != graph_.fields.end();
  const int64_t parent = isField ? graph_.fieldParent.at(number) : 0;
  const PdfValue* parentRef = now->Get("Parent");
  const int64_t owner =
      isField ? number
              : (parentRef && parentRef->Is(PdfValue::Type::Reference) ? parentRef->integer : number);
  auto ownerField = graph_.fields.find(owner);
  const bool signature = ownerField != graph_.fields.end() && ownerField->second.signature;
  const bool isAnnotation = graph_.annotationPage.count(number) > 0;
  if (signature) {
    const PdfValue* value = now->Get("V");
    const bool filled = isField && !before->Get("V") && value && value->Is(PdfValue::Type::Reference) &&
                        newSignatures_.count(value->integer) && Within(keys, {"V", "AP"});
    const bool stamped = !isField && valueChanged_.count(owner) && Within(keys, {"AP"});
    if (filled) valueChanged_.insert(number), appearanceOwners_.insert(number);
    if (stamped) appearanceOwners_.insert(number);
    Note(number, Kind::Signature, filled || stamped,
         filled || stamped
             ? "campo de firma " + FieldName(owner) + " firmado"
             : "firma anterior modificada (campo " + FieldName(owner) + ", " + KeyList(keys) + ")");
    return;
  }
  if (isField || ownerField != graph_.fields.end()) {
    const bool ownValue = Has(keys, "V") || Has(keys, "AS");
    const bool ok = Within(keys, {"V", "AS", "AP"}) &&
                    (ownValue || valueChanged_.count(owner) || valueChanged_.count(parent));
    if (ok) {
      appearanceOwners_.insert(number);
      filledNames_.insert(ownerField != graph_.fields.end() ? ownerField->second.name : "");
    }
    Note(number, Kind::FormFill, ok,
         ok ? "campo " + FieldName(owner) + " rellenado"
            : "campo " + FieldName(owner) + " modificado (" + KeyList(keys) + ")");
    return;
  }
  const bool ok = isAnnotation && !Has(keys, "A") && !Has(keys, "AA");
  if (ok) appearanceOwners_.insert(number);
  Note(number, Kind::Annotation, ok, label + " modificada (" + KeyList(keys) + ")");
}

// JudgeNewAnnotation judges an annotation a later revision put on a page. A widget of a new
// signature field passes when the field is signed by a new signature, or draws nothing: an
// unsigned field drawn over the page is an overlay. A stamp passes when it shows a new
// signature's own appearance. Other annotations are comments, and actions never pass.
void Judge::JudgeNewAnnotation(int64_t number, bool stampsOnly) {
  const PdfValue* now = Now(number);
  if (!now) return;
  const PdfValue* subtype = now->Get("Subtype");
  const bool stamp = subtype && subtype->IsName("Stamp");
  if (stamp != stampsOnly) return;
  judged_.insert(number);
  const std::string page = graph_.PageLabel(graph_.annotationPage.at(number));
  if (!IsDict(*now) || now->Get("A") || now->Get("AA")) {
    Note(number, Kind::Forbidden, false,
         "anotacion nueva con accion en la " + page + " (" + Object(number) + ")");
    return;
  }
  const PdfValue* ap = now->Get("AP");
  const PdfValue* normal = ap && IsDict(*ap) ? ap->Get("N") : nullptr;
  if (subtype && subtype->IsName("Widget")) {
    const PdfValue* parent = now->Get("Parent");
    const int64_t owner =
        now->Get("FT") || !parent || !parent->Is(PdfValue::Type::Reference) ? number : parent->integer;
    auto field = graph_.fields.find(owner);
    const PdfValue* ownerValue = owner == number ? now : Now(owner);
    const PdfValue* value = ownerValue ? ownerValue->Get("V") : nullptr;
    if (field == graph_.fields.end() || !field->second.signature) {
      Note(number, Kind::Forbidden, false,
           "campo de formulario nuevo en la " + page + " (" + Object(number) + ")");
      return;
    }
    const bool signedNow =
        value && value->Is(PdfValue::Type::Reference) && newSignatures_.count(value->integer);
    const PdfValue* dict = signedNow ? Now(value->integer) : nullptr;
    const Kind kind = dict && IsDocumentTimestamp(*dict) ? Kind::Timestamp : Kind::Signature;
    if (signedNow || !Visible(*now)) {
      appearanceOwners_.insert(number);
      if (signedNow && normal && normal->Is(PdfValue::Type::Reference))
        stampAppearances_.push_back(normal->integer);
      if (signedNow && Area(*now)) signedAreas_.push_back({graph_.annotationPage.at(number), *Area(*now)});
      Note(number, kind, true,
           (signedNow ? "firma nueva (campo " : "campo de firma vacio (") + FieldName(owner) + ") en la " +
               page);
    } else {
      Note(number, Kind::Forbidden, false,
           "campo de firma nuevo sin firmar que se dibuja sobre la " + page + " (" + FieldName(owner) + ")");
    }
    return;
  }
  const std::optional<std::array<double, 4>> area = Area(*now);
  const bool insideSigned =
      area && std::any_of(signedAreas_.begin(), signedAreas_.end(), [&](const auto& signed_) {
        const auto& [onPage, a] = signed_;
        return onPage == graph_.annotationPage.at(number) && (*area)[0] >= a[0] && (*area)[1] >= a[1] &&
               (*area)[2] <= a[2] && (*area)[3] <= a[3];
      });
  if (stamp && normal && normal->Is(PdfValue::Type::Reference) &&
      (insideSigned || std::count(stampAppearances_.begin(), stampAppearances_.end(), normal->integer))) {
    appearanceOwners_.insert(number);
    Note(number, Kind::Signature, true, "sello de una firma nueva en la " + page);
    return;
  }
  appearanceOwners_.insert(number);
  const std::string type = subtype && subtype->Is(PdfValue::Type::Name) ? subtype->text : "?";
  Note(number, Kind::Annotation, true, "anotacion nueva (" + type + ") en la " + page);
}

void Judge::JudgeNewField(int64_t number) {
  judged_.insert(number);
  if (graph_.annotationPage.count(number)) return;  // a widget too, judged with the page
  const FieldNode& field = graph_.fields.at(number);
  const PdfValue* now = Now(number);
  const PdfValue* value = now ? now->Get("V") : nullptr;
  const PdfValue* dict = value && value->Is(PdfValue::Type::Reference) && newSignatures_.count(value->integer)
                             ? Now(value->integer)
                             : nullptr;
  const Kind kind = !field.signature                     ? Kind::Forbidden
                    : dict && IsDocumentTimestamp(*dict) ? Kind::Timestamp
                                                         : Kind::Signature;
  Note(number, kind, field.signature,
       (field.signature ? "campo de firma nuevo " : "campo de formulario nuevo ") + FieldName(number));
}

void Judge::JudgeSignatureDictionary(int64_t number) {
  judged_.insert(number);
  const Candidate& c = candidates_.at(number);
  if (c.state == State::Changed) {
    Note(number, Kind::Forbidden, false, "firma anterior modificada (" + Object(number) + ")");
    return;
  }
  bool fromField = true;
  if (auto referrers = graph_.referrers.find(number); referrers != graph_.referrers.end())
    for (const GraphEdge& edge : referrers->second)
      fromField = fromField && edge.path == "V" && graph_.fields.count(edge.from) &&
                  graph_.fields.at(edge.from).signature;
  if (!fromField) {
    Note(number, Kind::Forbidden, false, "firma nueva (" + Object(number) + ") usada fuera de su campo");
    return;
  }
  newSignatures_.insert(number);
}

void Judge::JudgeInfo() {
  if (!graph_.info || (graph_.info == beforeInfo_ && !candidates_.count(graph_.info))) return;
  judged_.insert(graph_.info);
  const PdfValue* now = Now(graph_.info);
  const PdfValue* before = beforeInfo_ ? Before(beforeInfo_) : nullptr;
  static const PdfValue kEmpty = [] {
    PdfValue v;
    v.type = PdfValue::Type::Dictionary;
    return v;
  }();
  if (!now || !IsDict(*now)) return;
  std::vector<std::string> keys = DifferentKeys(before && IsDict(*before) ? *before : kEmpty, *now);
  // Writers stamp their name and the time of saving on every update.
  keys.erase(std::remove_if(keys.begin(), keys.end(),
                            [](const std::string& k) { return k == "ModDate" || k == "Producer"; }),
             keys.end());
  if (!keys.empty())
    Note(graph_.info, Kind::Forbidden, false, "metadatos del documento modificados (" + KeyList(keys) + ")");
}

// CheckDanglingReferences refuses a new object that an object of the signed revision already
// pointed at: a reference prepared before signing to something defined only afterwards.
void Judge::CheckDanglingReferences() {
  for (const auto& [n, c] : candidates_) {
    if (c.state != State::New) continue;
    auto referrers = graph_.referrers.find(n);
    if (referrers == graph_.referrers.end()) continue;
    for (const GraphEdge& edge : referrers->second)
      if (edge.from != 0 && !candidates_.count(edge.from)) {
        Note(n, Kind::Forbidden, false,
             Object(n) + " se definio despues de la firma, pero " + Label(edge.from) + " ya lo usaba (/" +
                 edge.path + ")");
        break;
      }
  }
}

void Judge::JudgeFreed(int64_t number) {
  auto referrers = graph_.referrers.find(number);
  if (referrers == graph_.referrers.end()) return;
  const GraphEdge& edge = referrers->second.front();
  Note(number, Kind::Forbidden, false,
       Object(number) + " eliminado, pero " + (edge.from ? Label(edge.from) : std::string("el trailer")) +
           " aun lo usa (/" + edge.path + ")");
}

// Permits says whether a reference along `edge` may lead to a new or changed object: from the
// document security store, from an appearance that may change, or from within such an object.
bool Judge::Permits(const GraphEdge& edge, const std::set<int64_t>& allowed) const {
  const std::string first = FirstKey(edge.path);
  if (edge.from == graph_.root && first == "DSS") return true;
  if (graph_.dss.count(edge.from)) return true;
  if ((first == "AP" || first == "MK") && appearanceOwners_.count(edge.from)) return true;
  if (allowed.count(edge.from) || newSignatures_.count(edge.from)) return true;
  if (first == "V" && valueChanged_.count(edge.from)) return true;
  if (first == "DR" && resourcesAllowed_ && (edge.from == graph_.acroForm || edge.from == graph_.root))
    return true;
  if (edge.from == graph_.root && edge.path.rfind("AcroForm/DR", 0) == 0 && resourcesAllowed_) return true;
  return false;
}

// JudgeByReferrers judges the remaining new and changed objects by who refers to them: each
// referrer must permit it. The allowed set starts full and shrinks until it holds, so objects
// that refer to each other (a widget and its field) stand or fall together.
void Judge::JudgeByReferrers(std::vector<int64_t> others) {
  std::set<int64_t> allowed(others.begin(), others.end());
  for (bool shrinking = true; shrinking;) {
    shrinking = false;
    for (int64_t n : others) {
      if (!allowed.count(n)) continue;
      auto referrers = graph_.referrers.find(n);
      if (referrers == graph_.referrers.end()) continue;
      for (const GraphEdge& edge : referrers->second)
        if (!Permits(edge, allowed)) {
          allowed.erase(n);
          shrinking = true;
          break;
        }
    }
  }
  std::string quiet;
  int listed = 0;
  for (int64_t n : others) {
    auto referrers = graph_.referrers.find(n);
    const bool orphan = referrers == graph_.referrers.end();
    if (allowed.count(n) && !orphan) {
      if (graph_.dss.count(n)) continue;  // the store itself is named with the catalog
      if (++listed <= 10) quiet += (quiet.empty() ? "" : ", ") + std::to_string(n);
      continue;
    }
    std::string where = "sin referencias";
    if (!orphan)
      for (const GraphEdge& edge : referrers->second)
        if (!Permits(edge, allowed)) {
          where = (edge.from ? Label(edge.from) : std::string("trailer")) + ", /" + edge.path;
          break;
        }
    Note(n, Kind::Forbidden, false,
         Object(n) + (IsNew(n) ? " nuevo" : " modificado") + " (usado por " + where + ")");
  }
  if (listed)
    Note(0, Kind::Structure, true,
         "apariencias y datos de las firmas nuevas (objetos " + quiet + (listed > 10 ? ", ..." : "") + ")");
}

void Judge::ApplyPolicy() {
  const int p = s_.permission;
  for (Finding& f : findings_) {
    bool allowed = f.ok;
    if (f.kind == Kind::Forbidden) allowed = false;
    if (p == 1 && (f.kind == Kind::Signature || f.kind == Kind::FormFill || f.kind == Kind::Annotation)) {
      if (allowed) f.what += " (la certificacion no permite cambios)";
      allowed = false;
    }
    if (f.kind == Kind::Annotation && allowed && p != 3 && !s_.certifiedForAnnotations) {
      f.what += " (solo una certificacion que admite comentarios lo permite)";
      allowed = false;
    }
    out_->changes.push_back({f.number, allowed, f.what});
    out_->modified = out_->modified || !allowed;
  }
  for (const std::string& name : filledNames_)
    if (s_.lock.Locks(name)) {
      out_->changes.push_back(
          {0, false, "campo \"" + name + "\" bloqueado por esta firma y rellenado despues"});
      out_->modified = true;
    }
}

void Judge::Run() {
  out_->revisions = int(s_.current->chain().size());
  out_->revision = int(s_.signedRevision->chain().size());
  out_->wholeFile = s_.signedEnd == reader_->file().length();
  if (const PdfValue* r = s_.signedRevision->trailer().Get("Root"); r && r->Is(PdfValue::Type::Reference))
    beforeRoot_ = r->integer;
  if (const PdfValue* i = s_.signedRevision->trailer().Get("Info"); i && i->Is(PdfValue::Type::Reference))
    beforeInfo_ = i->integer;
  CheckStructure();
  CollectCandidates();
  CheckSignedBytes();
  if (!graph_.complete && !candidates_.empty())
    Note(0, Kind::Forbidden, false, "no se pudo recorrer el documento actual entero: " + graph_.fault);

  std::vector<int64_t> sigDicts, newAnnotations, newFields, formObjects, pages, others;
  std::set<int64_t> pageSet;
  for (const auto& [n, c] : candidates_) {
    if (c.state == State::Freed) {
      JudgeFreed(n);
      continue;
    }
    if (!graph_.IsReached(n) && n != graph_.root) {
      // Referred to, yet not reached: the references no longer resolve (another generation).
      if (auto refs = graph_.referrers.find(n); refs != graph_.referrers.end() && c.state == State::Changed)
        Note(n, Kind::Forbidden, false,
             Object(n) + " redefinido con otra generacion: " + Label(refs->second.front().from) +
                 " ya no lo alcanza (/" + refs->second.front().path + ")");
      continue;  // otherwise readers never reach it
    }
    const PdfValue& value = c.now.value;
    bool signatureValue = false;
    if (auto refs = graph_.referrers.find(n); refs != graph_.referrers.end())
      for (const GraphEdge& edge : refs->second)
        signatureValue =
            signatureValue || (edge.path == "V" && graph_.fields.count(edge.from) &&
                               graph_.fields.at(edge.from).signature && IsSignatureDictionary(value));
    if (graph_.pageTree.count(n)) {
      pageSet.insert(n);
    } else if (auto a = graph_.annotsArrays.find(n); a != graph_.annotsArrays.end()) {
      pageSet.insert(a->second);
    } else if (signatureValue || (c.state == State::Changed && IsSignatureDictionary(c.before.value))) {
      sigDicts.push_back(n);
    } else if (c.state == State::New && graph_.annotationPage.count(n)) {
      newAnnotations.push_back(n);
    } else if (c.state == State::New && graph_.fields.count(n)) {
      newFields.push_back(n);
    } else if (graph_.fields.count(n) || graph_.annotationPage.count(n)) {
      formObjects.push_back(n);
    } else {
      others.push_back(n);
    }
  }
  CheckDanglingReferences();
  for (int64_t n : sigDicts) JudgeSignatureDictionary(n);
  JudgeCatalog();
  if (graph_.acroForm && candidates_.count(graph_.acroForm) && !judged_.count(graph_.acroForm)) {
    judged_.insert(graph_.acroForm);
    JudgeAcroForm(IsNew(graph_.acroForm) ? nullptr : Before(graph_.acroForm), Now(graph_.acroForm),
                  graph_.acroForm);
  }
  JudgeInfo();
  for (int64_t page : pageSet) JudgePage(page);
  for (const auto& [array, holder] : graph_.fieldArrays)
    if (candidates_.count(array) && !judged_.count(array) && holder != graph_.acroForm &&
        holder != graph_.root) {
      judged_.insert(array);
      JudgeFieldList(holder, "Kids");
    }
  for (int64_t n : formObjects) {
    const PdfValue* now = Now(n);
    const PdfValue* before = Before(n);
    if (now && before && Has(DifferentKeys(*before, *now), "V")) valueChanged_.insert(n);
  }
  for (int64_t n : formObjects) JudgeFormObject(n);
  for (int64_t n : newAnnotations) JudgeNewAnnotation(n, false);
  for (int64_t n : newAnnotations) JudgeNewAnnotation(n, true);
  for (int64_t n : newFields) JudgeNewField(n);
  std::vector<int64_t> rest;
  for (int64_t n : others)
    if (!judged_.count(n)) rest.push_back(n);
  JudgeByReferrers(rest);
  ApplyPolicy();
}

}  // namespace

bool FieldLock::Locks(const std::string& name) const {
  switch (action) {
    case Action::None: return false;
    case Action::All: return true;
    case Action::Include: return fields.count(name) > 0;
    case Action::Exclude: return fields.count(name) == 0;
  }
  return false;
}

std::set<int64_t> WatchedNumbers(const PdfRevision& current, size_t laterSections) {
  std::set<int64_t> out;
  const auto& chain = current.chain();
  for (size_t i = 0; i < laterSections && i < chain.size(); ++i)
    for (const XrefRecord& r : chain[i]->records) out.insert(r.number);
  // Objects kept in an object stream that a later section rewrote are watched too.
  const std::set<int64_t> containers = out;
  for (const XrefSectionData* section : chain)
    for (const XrefRecord& r : section->records)
      if (r.kind == XrefRecord::Kind::Compressed && containers.count(int64_t(r.offset)) &&
          current.Entry(r.number) == &r)
        out.insert(r.number);
  return out;
}

Coverage CompareRevisions(PdfRevisionReader* reader, const SignedRevision& signature) {
  Coverage out;
  Judge(reader, signature, &out).Run();
  return out;
}
