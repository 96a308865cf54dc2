#include "pades/pdf_signatures.h"

#include <algorithm>
#include <map>

#include "core/text.h"

namespace {

bool IsRef(const PdfValue* value) {
  return value && value->Is(PdfValue::Type::Reference);
}

std::string NameOf(const PdfValue* value) {
  return value && value->Is(PdfValue::Type::Name) ? "/" + value->text : "";
}

// ReadLock reads a lock: /Action /All, /Include or /Exclude with the /Fields it names.
void ReadLock(PdfRevision* revision, const PdfValue& lock, FieldLock* out) {
  const PdfValue* action = lock.Get("Action");
  if (!action) return;
  out->action = action->IsName("All")       ? FieldLock::Action::All
                : action->IsName("Include") ? FieldLock::Action::Include
                : action->IsName("Exclude") ? FieldLock::Action::Exclude
                                            : FieldLock::Action::None;
  PdfObject holder;
  const PdfValue* fields = lock.Get("Fields");
  if (!fields) return;
  for (const PdfValue& name : revision->Resolve(*fields, &holder).items)
    if (name.Is(PdfValue::Type::String)) out->fields.insert(PdfText(name.text));
}

// ReadTransforms reads the signature's /Reference list: a DocMDP transform makes it a
// certification (ISO 32000-1 12.8.2.2), a FieldMDP one locks fields (12.8.2.4).
void ReadTransforms(PdfRevision* revision, const PdfValue& dict, PdfSignature* out) {
  const PdfValue* list = dict.Get("Reference");
  if (!list) return;
  PdfObject listHolder;
  const PdfValue& references = revision->Resolve(*list, &listHolder);
  for (const PdfValue& item : references.items) {
    PdfObject holder, paramsHolder;
    const PdfValue& reference = revision->Resolve(item, &holder);
    const PdfValue* method = reference.Get("TransformMethod");
    const PdfValue* given = reference.Get("TransformParams");
    static const PdfValue kNone;
    const PdfValue& params = given ? revision->Resolve(*given, &paramsHolder) : kNone;
    if (method && method->IsName("DocMDP")) {
      const PdfValue* p = params.Get("P");
      out->docMdp =
          p && p->Is(PdfValue::Type::Integer) && p->integer >= 1 && p->integer <= 3 ? int(p->integer) : 2;
    } else if (method && method->IsName("FieldMDP")) {
      ReadLock(revision, params, &out->lock);
    }
  }
}

// Placement finds the page and rectangle of the field's first widget with an area.
void Placement(PdfRevision* revision, const DocumentGraph& graph, int64_t field, const PdfValue& body,
               PdfSignature* out) {
  std::vector<int64_t> widgets = {field};
  PdfObject holder;
  if (const PdfValue* kids = body.Get("Kids"))
    for (const PdfValue& kid : revision->Resolve(*kids, &holder).items)
      if (kid.Is(PdfValue::Type::Reference)) widgets.push_back(kid.integer);
  for (int64_t widget : widgets) {
    auto page = graph.annotationPage.find(widget);
    if (page == graph.annotationPage.end()) continue;
    PdfObject object;
    std::string error;
    if (revision->LoadObject(widget, &object, &error) != PdfRevision::Load::Ok) continue;
    const PdfValue* rect = object.value.Get("Rect");
    std::array<double, 4> r{};
    if (!rect || rect->items.size() != 4) continue;
    for (size_t i = 0; i < 4; ++i) rect->items[i].Number(&r[i]);
    if (r[0] == r[2] || r[1] == r[3]) continue;
    out->stampPage =
        int(std::find(graph.pages.begin(), graph.pages.end(), page->second) - graph.pages.begin());
    out->stampRect = r;
    return;
  }
}

// ReadDictionary reads the signature dictionary where it lies, so that the position of its
// /Contents string is known: the signature leaves exactly that string out.
void ReadDictionary(PdfRevision* revision, PdfSignature* out) {
  PdfObject object;
  std::string error;
  if (revision->LoadObject(out->dictionaryNumber, &object, &error) != PdfRevision::Load::Ok ||
      !object.value.Is(PdfValue::Type::Dictionary)) {
    out->error = "el diccionario de firma no es legible.";
    return;
  }
  if (object.container) {
    out->error = "el diccionario de firma esta dentro de un flujo de objetos.";
    return;
  }
  const PdfValue& dict = object.value;
  if (dict.repeatedKey) {
    out->error = "el diccionario de firma repite una clave.";
    return;
  }
  out->filter = NameOf(dict.Get("Filter"));
  out->subFilter = NameOf(dict.Get("SubFilter"));
  if (const PdfValue* m = dict.Get("M"); m && m->Is(PdfValue::Type::String))
    out->signingTime = PdfText(m->text);
  if (const PdfValue* range = dict.Get("ByteRange"); range && range->Is(PdfValue::Type::Array)) {
    for (const PdfValue& n : range->items) {
      if (!n.Is(PdfValue::Type::Integer)) {
        out->byteRange.clear();
        break;
      }
      out->byteRange.push_back(n.integer);
    }
  }
  if (const PdfValue* contents = dict.Get("Contents"); contents && contents->Is(PdfValue::Type::String)) {
    out->contents.assign(contents->text.begin(), contents->text.end());
    out->contentsOpen = object.textBase + contents->at;
    out->contentsClose = object.textBase + contents->end - 1;
  }
  ReadTransforms(revision, dict, out);
}

}  // namespace

std::string PdfText(const std::string& bytes) {
  if (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFE && uint8_t(bytes[1]) == 0xFF) {
    std::u16string units;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      units.push_back(char16_t(uint8_t(bytes[i]) << 8 | uint8_t(bytes[i + 1])));
    return Utf16ToUtf8(units);
  }
  std::u16string units;
  for (char c : bytes) units.push_back(char16_t(uint8_t(c)));
  return Utf16ToUtf8(units);
}

uint64_t PdfSignature::SignedEnd() const {
  if (byteRange.size() != 4 || byteRange[2] < 0 || byteRange[3] < 0) return 0;
  return uint64_t(byteRange[2]) + uint64_t(byteRange[3]);
}

std::vector<PdfSignature> FindSignatures(PdfRevision* current, const DocumentGraph& graph) {
  std::vector<PdfSignature> out;
  std::map<int64_t, size_t> byDictionary;
  for (const auto& [number, field] : graph.fields) {
    if (!field.signature || !field.hasValue) continue;
    PdfObject object;
    std::string error;
    if (current->LoadObject(number, &object, &error) != PdfRevision::Load::Ok) continue;
    const PdfValue* value = object.value.Get("V");
    if (!IsRef(value)) continue;
    // Each dictionary is checked once, however many fields point at it.
    if (auto seen = byDictionary.find(value->integer); seen != byDictionary.end()) {
      ++out[seen->second].fieldCount;
      continue;
    }
    byDictionary[value->integer] = out.size();
    PdfSignature& signature = out.emplace_back();
    signature.fieldNumber = number;
    signature.fieldName = field.name;
    signature.dictionaryNumber = value->integer;
    ReadDictionary(current, &signature);
    if (const PdfValue* lock = object.value.Get("Lock");
        lock && signature.lock.action == FieldLock::Action::None) {
      PdfObject holder;
      ReadLock(current, current->Resolve(*lock, &holder), &signature.lock);
    }
    Placement(current, graph, number, object.value, &signature);
  }
  std::stable_sort(out.begin(), out.end(), [](const PdfSignature& a, const PdfSignature& b) {
    return a.SignedEnd() < b.SignedEnd();
  });
  return out;
}

ByteRangeFault CheckByteRange(const PdfSignature& s, uint64_t fileLength) {
  const std::vector<int64_t>& r = s.byteRange;
  if (r.size() != 4 || std::any_of(r.begin(), r.end(), [](int64_t v) { return v < 0; }) || r[1] > r[2])
    return ByteRangeFault::Malformed;
  if (r[0] != 0) return ByteRangeFault::NotFromStart;
  if (s.SignedEnd() > fileLength) return ByteRangeFault::Outside;
  if (s.contentsClose == 0 || uint64_t(r[1]) != s.contentsOpen || uint64_t(r[2]) != s.contentsClose + 1)
    return ByteRangeFault::NotTheHole;
  return ByteRangeFault::None;
}
