#include "pades/dss.h"

#include <map>

#include "pades/pdf_syntax.h"

namespace {

std::string RefText(int64_t number, int64_t generation) {
  return std::to_string(number) + " " + std::to_string(generation) + " R";
}

// InlineBody is the text between a dictionary value's "<<" and ">>", or nothing.
std::optional<std::string> InlineBody(std::string_view value) {
  const std::string_view trimmed = Trim(value);
  if (trimmed.size() < 4 || trimmed.substr(0, 2) != "<<" || trimmed.substr(trimmed.size() - 2) != ">>")
    return std::nullopt;
  return std::string(trimmed.substr(2, trimmed.size() - 4));
}

// DictionaryAt reads a key's dictionary, inline or referenced; empty when neither reads.
std::string DictionaryAt(PdfScan* scan, std::string_view body, std::string_view key) {
  std::string out;
  if (std::optional<int64_t> number = scan->RefTo(body, key); number && scan->ReadObjectDict(*number, &out))
    return out;
  if (auto value = FindValue(body, key))
    if (auto inner = InlineBody(*value)) return *inner;
  return "";
}

// ArrayAt reads a key's array elements, inline or referenced; empty when neither reads.
std::string ArrayAt(PdfScan* scan, std::string_view body, std::string_view key) {
  std::string out;
  if (std::optional<int64_t> number = scan->RefTo(body, key); number && scan->ReadObjectArray(*number, &out))
    return out;
  if (auto value = FindValue(body, key)) {
    const std::string_view trimmed = Trim(*value);
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']')
      return std::string(Trim(trimmed.substr(1, trimmed.size() - 2)));
  }
  return "";
}

std::vector<StoredItem> ReadItems(PdfScan* scan, std::string_view elements) {
  std::vector<StoredItem> items;
  size_t pos = 0;
  while (std::optional<Reference> ref = ReadReference(elements, &pos)) {
    StoredItem item;
    std::string dict, data;
    if (ref->generation != scan->Generation(ref->number) || !scan->ReadStream(ref->number, &dict, &data))
      continue;
    item.number = ref->number;
    item.der.assign(data.begin(), data.end());
    items.push_back(std::move(item));
  }
  return items;
}

// Joined puts array elements together, each reference once, old ones first.
std::string Joined(const std::string& old, const std::vector<std::string>& added) {
  std::string out = old;
  for (const std::string& ref : added)
    if ((" " + out + " ").find(" " + ref + " ") == std::string::npos) out += (out.empty() ? "" : " ") + ref;
  return out;
}

// Needs the ESIC extension: a header before PDF 2.0 and no /Version of 2.0 or later.
bool BeforePdf2(PdfScan* scan, std::string_view catalog) {
  const std::string head = scan->ReadText(0, 8);
  std::string version = head.size() >= 8 ? head.substr(5, 3) : "";
  if (auto value = FindValue(catalog, "Version")) {
    const std::string_view name = Trim(*value);
    if (name.size() > 1 && name.front() == '/' && std::string(name.substr(1)) > version)
      version = std::string(name.substr(1));
  }
  return version < "2.0";
}

// WithExtension adds the ESIC developer extension, level 5 (the one for the security store and
// document time stamps), to an inline /Extensions or a new one.
std::string WithExtension(const std::string& catalog) {
  static const std::string kEsic = "<< /BaseVersion /1.7 /ExtensionLevel 5 >>";
  auto value = FindValue(catalog, "Extensions");
  if (!value) return SetKey(catalog, "Extensions", "<< /ESIC " + kEsic + " >>");
  std::optional<std::string> extensions = InlineBody(*value);
  if (!extensions) return catalog;  // an object of its own is left as it is
  if (auto esic = FindValue(*extensions, "ESIC")) {
    std::optional<std::string> body = InlineBody(*esic);
    int64_t level = 0;
    size_t at = 0;
    if (auto found = body ? FindValue(*body, "ExtensionLevel") : std::nullopt)
      if (ScanLong(*found, &at, &level) && level >= 5) return catalog;
  }
  return SetKey(catalog, "Extensions", "<<" + SetKey(*extensions, "ESIC", kEsic) + ">>");
}

}  // namespace

SecurityStore ReadSecurityStore(PdfScan* scan, std::string_view catalog) {
  SecurityStore store;
  const std::string dss = DictionaryAt(scan, catalog, "DSS");
  if (dss.empty()) return store;
  store.certificateRefs = ArrayAt(scan, dss, "Certs");
  store.ocspRefs = ArrayAt(scan, dss, "OCSPs");
  store.crlRefs = ArrayAt(scan, dss, "CRLs");
  store.certificates = ReadItems(scan, store.certificateRefs);
  store.ocsps = ReadItems(scan, store.ocspRefs);
  store.crls = ReadItems(scan, store.crlRefs);
  store.vri = DictionaryAt(scan, dss, "VRI");
  return store;
}

EmbeddedData Embedded(const SecurityStore& store) {
  EmbeddedData out;
  for (const StoredItem& item : store.certificates) out.certificates.push_back(item.der);
  for (const StoredItem& item : store.ocsps) out.ocsps.push_back(item.der);
  for (const StoredItem& item : store.crls) out.crls.push_back(item.der);
  return out;
}

bool AppendSecurityStore(UpdateChain* chain, const SecurityStore& store, const ValidationData& data,
                         std::string* error) {
  PdfScan& scan = chain->scan();
  UpdateBuffer* update = chain->Begin();
  // Each item gets the reference of the stream that already holds it, or of a new one.
  auto place = [&](const std::vector<Bytes>& items, const std::vector<StoredItem>& stored) {
    std::vector<std::string> refs;
    for (const Bytes& der : items) {
      std::string ref;
      for (const StoredItem& old : stored)
        if (old.der == der && ref.empty()) ref = RefText(old.number, scan.Generation(old.number));
      if (ref.empty()) {
        const uint32_t number = chain->Allocate();
        WriteObject(update, number,
                    "<< /Length " + std::to_string(der.size()) + " >>\nstream\n" +
                        std::string(der.begin(), der.end()) + "\nendstream");
        ref = RefText(number, 0);
      }
      refs.push_back(std::move(ref));
    }
    return refs;
  };
  const std::vector<std::string> certs = place(data.certificates, store.certificates);
  const std::vector<std::string> ocsps = place(data.ocsps, store.ocsps);
  const std::vector<std::string> crls = place(data.crls, store.crls);

  std::string vri = store.vri;
  for (const ValidationData::Entry& entry : data.entries) {
    const std::string old = DictionaryAt(&scan, vri, entry.vriKey);
    auto list = [](const std::vector<size_t>& indexes, const std::vector<std::string>& refs) {
      std::vector<std::string> out;
      for (size_t i : indexes) out.push_back(refs[i]);
      return out;
    };
    std::string body;
    const std::pair<const char*, std::string> arrays[] = {
        {"Cert", Joined(ArrayAt(&scan, old, "Cert"), list(entry.certificates, certs))},
        {"OCSP", Joined(ArrayAt(&scan, old, "OCSP"), list(entry.ocsps, ocsps))},
        {"CRL", Joined(ArrayAt(&scan, old, "CRL"), list(entry.crls, crls))}};
    for (const auto& [key, elements] : arrays)
      if (!elements.empty()) body += " /" + std::string(key) + " [" + elements + "]";
    vri = SetKey(vri, entry.vriKey, "<<" + body + " >>");
  }

  std::string dss = "<< /Type /DSS";
  const std::pair<const char*, std::string> arrays[] = {{"Certs", Joined(store.certificateRefs, certs)},
                                                        {"OCSPs", Joined(store.ocspRefs, ocsps)},
                                                        {"CRLs", Joined(store.crlRefs, crls)}};
  for (const auto& [key, elements] : arrays)
    if (!elements.empty()) dss += " /" + std::string(key) + " [" + elements + "]";
  dss += " /VRI <<" + vri + " >> >>";
  const uint32_t number = chain->Allocate();
  WriteObject(update, number, dss);

  FormState& form = chain->form();
  form.catalog = SetKey(form.catalog, "DSS", RefText(number, 0));
  if (BeforePdf2(&scan, form.catalog)) form.catalog = WithExtension(form.catalog);
  WriteObject(update, uint32_t(form.catalogNumber), WrapDict(form.catalog), form.catalogGeneration);
  if (!chain->End()) {
    *error = kTooManyObjects;
    return false;
  }
  return true;
}
