#include "pades/doc_graph.h"

#include <algorithm>

namespace {

const PdfValue* Key(const PdfValue& dict, std::string_view key) {
  return dict.Get(key);
}

bool IsRef(const PdfValue* value) {
  return value && value->Is(PdfValue::Type::Reference);
}

// Loader reads the objects of one revision for the walks below and counts what fails.
class Loader {
 public:
  Loader(PdfRevision* revision, DocumentGraph* graph) : revision_(revision), graph_(graph) {}

  // Load resolves a reference the way readers do: a generation that is not the entry's is null.
  bool Load(const PdfValue& ref, PdfObject* out) {
    const XrefRecord* entry = revision_->Entry(ref.integer);
    if (!entry || entry->kind == XrefRecord::Kind::Free || entry->generation != ref.generation) return false;
    std::string error;
    if (revision_->LoadObject(ref.integer, out, &error) == PdfRevision::Load::Ok) return true;
    if (graph_->complete) graph_->fault = error;
    graph_->complete = false;
    return false;
  }
  // Resolve gives a direct value, loading a reference into `holder`.
  const PdfValue* Resolve(const PdfValue* value, PdfObject* holder) {
    if (!value) return nullptr;
    if (!value->Is(PdfValue::Type::Reference)) return value;
    return Load(*value, holder) ? &holder->value : nullptr;
  }

 private:
  PdfRevision* revision_;
  DocumentGraph* graph_;
};

void WalkReachable(PdfRevision* revision, const std::set<int64_t>& watched, Loader* loader,
                   DocumentGraph* g) {
  std::vector<bool> seen(size_t(kMaxObjectNumber) + 1);
  std::vector<PdfValue> queue;
  auto visit = [&](int64_t from, const PdfValue& ref, const std::string& path) {
    if (ref.integer < 1 || ref.integer > kMaxObjectNumber) return;
    if (watched.count(ref.integer)) g->referrers[ref.integer].push_back({from, path});
    if (!seen[size_t(ref.integer)]) {
      seen[size_t(ref.integer)] = true;
      queue.push_back(ref);
    }
  };
  for (const char* key : {"Root", "Info"}) {
    const PdfValue* value = Key(revision->trailer(), key);
    if (IsRef(value)) visit(0, *value, key);
  }
  for (size_t next = 0; next < queue.size(); ++next) {
    const PdfValue ref = queue[next];
    PdfObject object;
    if (!loader->Load(ref, &object)) continue;
    g->reached.push_back({ref.integer, object.start, object.end});
    ForEachReference(object.value, [&](const PdfValue& target, const std::string& path) {
      visit(ref.integer, target, path);
    });
  }
  std::sort(
      g->reached.begin(), g->reached.end(),
      [](const DocumentGraph::Reached& a, const DocumentGraph::Reached& b) { return a.number < b.number; });
}

// Elements gives the references of an array value, direct or held as an object of its own.
std::vector<PdfValue> Elements(const PdfValue* value, Loader* loader, int64_t* arrayObject = nullptr) {
  std::vector<PdfValue> out;
  PdfObject holder;
  if (IsRef(value) && arrayObject) *arrayObject = value->integer;
  const PdfValue* array = loader->Resolve(value, &holder);
  if (!array || !array->Is(PdfValue::Type::Array)) return out;
  for (const PdfValue& item : array->items)
    if (item.Is(PdfValue::Type::Reference)) out.push_back(item);
  return out;
}

// WalkPages follows /Kids from the catalog's /Pages: a node is a page when its /Type says so
// or when it has no /Kids, as readers decide.
void WalkPages(const PdfValue& catalog, Loader* loader, DocumentGraph* g) {
  const PdfValue* pages = Key(catalog, "Pages");
  if (!IsRef(pages)) return;
  std::vector<PdfValue> stack = {*pages};
  while (!stack.empty()) {
    const PdfValue node = stack.back();
    stack.pop_back();
    if (!g->pageTree.insert(node.integer).second) continue;
    PdfObject object;
    if (!loader->Load(node, &object)) continue;
    const PdfValue* type = Key(object.value, "Type");
    const PdfValue* kids = Key(object.value, "Kids");
    if ((type && type->IsName("Page")) || !kids) {
      g->pages.push_back(node.integer);
      int64_t arrayObject = 0;
      for (const PdfValue& annotation : Elements(Key(object.value, "Annots"), loader, &arrayObject))
        g->annotationPage.emplace(annotation.integer, node.integer);
      if (arrayObject) g->annotsArrays.emplace(arrayObject, node.integer);
      continue;
    }
    std::vector<PdfValue> children = Elements(kids, loader);
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
}

void WalkFields(const PdfValue& catalog, Loader* loader, DocumentGraph* g) {
  PdfObject formHolder;
  const PdfValue* formValue = Key(catalog, "AcroForm");
  if (IsRef(formValue)) g->acroForm = formValue->integer;
  const PdfValue* form = loader->Resolve(formValue, &formHolder);
  if (!form) return;
  struct Pending {
    PdfValue ref;
    std::string parentName;
    bool signature = false;
    int64_t parent = 0;
  };
  std::vector<Pending> stack;
  int64_t arrayObject = 0;
  for (const PdfValue& field : Elements(Key(*form, "Fields"), loader, &arrayObject))
    stack.push_back({field, "", false, 0});
  if (arrayObject) g->fieldArrays.emplace(arrayObject, g->acroForm ? g->acroForm : g->root);
  while (!stack.empty()) {
    Pending node = std::move(stack.back());
    stack.pop_back();
    PdfObject object;
    if (g->fields.count(node.ref.integer) || !loader->Load(node.ref, &object)) continue;
    FieldNode& field = g->fields[node.ref.integer];
    g->fieldParent[node.ref.integer] = node.parent;
    const PdfValue* type = Key(object.value, "FT");
    field.signature = type ? type->IsName("Sig") : node.signature;
    const PdfValue* name = Key(object.value, "T");
    field.name = node.parentName;
    if (name && name->Is(PdfValue::Type::String)) field.name += (field.name.empty() ? "" : ".") + name->text;
    field.hasValue = Key(object.value, "V") != nullptr;
    arrayObject = 0;
    for (const PdfValue& kid : Elements(Key(object.value, "Kids"), loader, &arrayObject))
      stack.push_back({kid, field.name, field.signature, node.ref.integer});
    if (arrayObject) g->fieldArrays.emplace(arrayObject, node.ref.integer);
  }
}

void WalkDss(const PdfValue& dss, Loader* loader, DocumentGraph* g) {
  std::vector<PdfValue> queue;
  auto push = [&](const PdfValue& ref, const std::string&) { queue.push_back(ref); };
  if (IsRef(&dss)) {
    queue.push_back(dss);
  } else {
    ForEachReference(dss, push);
  }
  for (size_t next = 0; next < queue.size(); ++next) {
    if (!g->dss.insert(queue[next].integer).second) continue;
    PdfObject object;
    if (loader->Load(queue[next], &object)) ForEachReference(object.value, push);
  }
}

}  // namespace

bool DocumentGraph::IsReached(int64_t number) const {
  return std::binary_search(reached.begin(), reached.end(), Reached{number, 0, 0},
                            [](const Reached& a, const Reached& b) { return a.number < b.number; });
}

std::string DocumentGraph::PageLabel(int64_t number) const {
  auto it = std::find(pages.begin(), pages.end(), number);
  return it == pages.end() ? "" : "pagina " + std::to_string(it - pages.begin() + 1);
}

DocumentGraph WalkDocument(PdfRevision* revision, const std::set<int64_t>& watched, bool reachability) {
  DocumentGraph g;
  Loader loader(revision, &g);
  if (const PdfValue* root = Key(revision->trailer(), "Root"); IsRef(root)) g.root = root->integer;
  if (const PdfValue* info = Key(revision->trailer(), "Info"); IsRef(info)) g.info = info->integer;
  if (reachability) WalkReachable(revision, watched, &loader, &g);
  PdfObject catalog;
  if (!g.root || !loader.Load(*Key(revision->trailer(), "Root"), &catalog)) {
    g.complete = false;
    if (g.fault.empty()) g.fault = "el catalogo (/Root) no es legible";
    return g;
  }
  WalkPages(catalog.value, &loader, &g);
  WalkFields(catalog.value, &loader, &g);
  if (const PdfValue* dss = Key(catalog.value, "DSS")) WalkDss(*dss, &loader, &g);
  return g;
}
