#include "examples/quillmark/sign_command.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "certs/signing_session.h"
#include "core/text.h"
#include "examples/quillmark/commands.h"
#include "examples/quillmark/json_text.h"
#include "examples/quillmark/long_term_command.h"
#include "examples/quillmark/progress.h"
#include "examples/quillmark/signing.h"
#include "examples/quillmark/tsa_post.h"
#include "pades/output_name.h"

namespace {

namespace fs = std::filesystem;

// The room asked for a time-stamped signature: enough for an authority's token with its
// certificate chain; the engine settles the room on what the token really takes.
constexpr uint32_t kTimestampReservation = 65536;

// Paths are UTF-8 inside; the file-system library takes them as such on every platform.
fs::path PathOf(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

std::string TextOf(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

bool IsPdfName(const std::string& name) {
  return name.size() > 4 && name[0] != '.' && AsciiLower(name.substr(name.size() - 4)) == ".pdf";
}

// FolderDocuments lists the regular files of `folder` named *.pdf, by name.
std::vector<std::string> FolderDocuments(const std::string& folder) {
  std::vector<std::string> found;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(PathOf(folder), error)) {
    std::error_code ignored;
    if (entry.is_regular_file(ignored) && IsPdfName(TextOf(entry.path().filename())))
      found.push_back(TextOf(entry.path()));
  }
  std::sort(found.begin(), found.end());
  return found;
}

bool ParseStamp(const Arguments& args, StampOptions* stamp, std::string* error) {
  std::string mode = args.Has("--stamp") ? args.Value("--stamp") : args.Has("--pages") ? "pages" : "first";
  if (mode == "first")
    stamp->mode = StampMode::FirstPage;
  else if (mode == "last")
    stamp->mode = StampMode::LastPage;
  else if (mode == "all")
    stamp->mode = StampMode::AllPages;
  else if (mode == "pages")
    stamp->mode = StampMode::PageList;
  else if (mode == "none")
    stamp->mode = StampMode::None;
  else {
    *error = "--stamp admite first, last, all, pages o none.";
    return false;
  }
  if (stamp->mode == StampMode::PageList) {
    stamp->pageList = args.Value("--pages");
    if (stamp->pageList.empty()) {
      *error = "--stamp pages necesita --pages LISTA (por ejemplo 1,3-5).";
      return false;
    }
  } else if (args.Has("--pages")) {
    *error = "--pages solo vale con --stamp pages.";
    return false;
  }
  return true;
}

// Plan is what a sign command will do, checked before any secret is asked for.
struct Plan {
  DocumentList list;
  StampOptions stamp;
  SignatureLevel level = SignatureLevel::BB;
  std::string out, outDir, tsa;
};

bool CheckOutputs(const Arguments& args, const Plan& plan, std::string* error) {
  if (args.Has("--out") && args.Has("--out-dir")) {
    *error = "--out y --out-dir no pueden ir juntas.";
  } else if (args.Has("--out") && plan.out.empty()) {
    *error = "--out necesita una ruta.";
  } else if (args.Has("--out") && (plan.list.documents.size() != 1 || !plan.list.emptyFolders.empty())) {
    *error = "--out vale para un solo documento; para varios, use --out-dir CARPETA.";
  } else if (args.Has("--out-dir") && plan.outDir.empty()) {
    *error = "--out-dir necesita una carpeta.";
  } else {
    std::error_code ignored;
    if (!plan.outDir.empty() && fs::exists(PathOf(plan.outDir), ignored) &&
        !fs::is_directory(PathOf(plan.outDir), ignored))
      *error = "--out-dir: " + plan.outDir + " no es una carpeta.";
  }
  return error->empty();
}

bool MakePlan(const Arguments& args, Plan* plan, std::string* error) {
  if (args.positional.empty()) {
    *error = "sign necesita al menos un documento PDF o una carpeta.";
    return false;
  }
  if (!HasSourceOption(args)) {
    *error = "indique el certificado: --pkcs12 FICHERO, --store, --dnie o --cert N.";
    return false;
  }
  if (!ParseStamp(args, &plan->stamp, error) || !ReadSignLevel(args, &plan->level, error)) return false;
  plan->list = ListDocuments(args.positional);
  plan->out = args.Value("--out");
  plan->outDir = args.Value("--out-dir");
  plan->tsa = args.Value("--tsa");
  return CheckOutputs(args, *plan, error);
}

// Report prints one document's result: a line (or, with --json, an object) on standard
// output for a signed copy, a line on standard error for a failure.
class Report {
 public:
  // `documents` counts what is signed; `entries` adds the folders that hold no PDF.
  Report(bool json, size_t documents, size_t entries) : json_(json), documents_(documents), total_(entries) {}

  void Document(const std::string& input, const std::string& output, const SignResult& result) {
    if (result.isSigned) {
      ++signed_;
    } else {
      unsigned_.push_back(input);
    }
    if (json_) return Json(input, result.isSigned ? output : "", result);
    if (result.isSigned) return PrintSigned(output, result);
    std::string error = result.error.empty() ? "No se pudo firmar." : result.error;
    // Most of the engine's messages name the document already.
    if (total_ > 1 && error.find(input) == std::string::npos) error = input + ": " + error;
    Fail(error);
  }
  // Untouched is a document the batch stopped before.
  void Untouched(const std::string& input) {
    unsigned_.push_back(input);
    SignResult none;
    none.error = "no se firmo: la firma del lote se detuvo antes.";
    if (json_) Json(input, "", none);
  }
  // Close prints the summary of a batch and returns the exit status.
  int Close() {
    if (unsigned_.empty()) return kExitOk;
    if (total_ > 1)
      Fail("firmados " + std::to_string(signed_) + " de " + std::to_string(documents_) +
           " documentos; sin firmar: " + Join(unsigned_, ", "));
    return kExitFailed;
  }

 private:
  static std::string Join(const std::vector<std::string>& items, const char* separator) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : separator) + item;
    return out;
  }
  static std::string OrNull(const std::string& text) { return text.empty() ? "null" : JsonString(text); }
  void Json(const std::string& input, const std::string& output, const SignResult& result) {
    std::printf(
        "{\"input\":%s,\"output\":%s,\"signed\":%s,\"size\":%llu,\"warning\":%s,\"info\":%s,\"error\":%s}\n",
        JsonString(input).c_str(), OrNull(output).c_str(), result.isSigned ? "true" : "false",
        static_cast<unsigned long long>(result.isSigned ? result.size : 0), OrNull(result.warning).c_str(),
        OrNull(result.info).c_str(), OrNull(result.error).c_str());
    std::fflush(stdout);
  }

  bool json_;
  size_t documents_, total_;
  size_t signed_ = 0;
  std::vector<std::string> unsigned_;
};

// Batch signs the plan's documents one after another through one session. A failure of the
// document (not a PDF, encrypted, damaged) is reported and the batch goes on; a failure of the
// key or of the time-stamp authority stops it, since every later document would fail the same
// way (and a card would count the PIN again).
class Batch {
 public:
  Batch(const Plan& plan, const Arguments& args, const Signer& signer, SigningSession* session)
      : plan_(plan), texts_(TextsFor(args, signer.entry)), entry_(signer.entry), session_(session) {
    callback_ = [this](const Bytes& attributes, std::string* note) {
      Bytes signature;
      if (!session_->Sign(attributes, &signature, note)) stopped_ = true;
      return signature;
    };
    if (!plan.tsa.empty()) {
      TimestampCallback post = MakeTimestampCallback(TsaPost(plan.tsa));
      timestamp_ = [this, post](const Bytes& value, std::string* error) {
        Bytes token = post(value, error);
        if (token.empty()) stopped_ = true;
        return token;
      };
      longTerm_ = StoppingOnFailure(LongTermFor(plan.level, plan.tsa));
    }
  }

  // SignOne signs `input` into its claimed name (or --out) and returns the result, with the
  // name in `output`.
  SignResult SignOne(const std::string& input, std::string* output) {
    *output = plan_.out;
    OutputClaim claim;
    if (output->empty()) {
      const std::string beside =
          plan_.outDir.empty() ? input : TextOf(PathOf(plan_.outDir) / PathOf(FileNameOf(input)));
      if (!ClaimSignedOutputPath(beside, &claim)) {
        SignResult refused;
        refused.error = "no queda ningun nombre libre para la copia firmada de " + input + ".";
        return refused;
      }
      *output = claim.path();
    }
    SignResult result = timestamp_ ? SignPdf(input, *output, entry_, kTimestampReservation, callback_, texts_,
                                             plan_.stamp, timestamp_, longTerm_)
                                   : SignPdf(input, *output, entry_, kDefaultContentsReservation, callback_,
                                             texts_, plan_.stamp);
    if (result.isSigned) claim.Keep();
    return result;
  }
  // stopped tells whether the key or the authority failed, so that nothing more is signed.
  bool stopped() const { return stopped_; }

 private:
  // StoppingOnFailure makes a revocation service or an authority that does not answer stop the
  // batch too: every later document would need the same answers.
  LongTermOptions StoppingOnFailure(LongTermOptions options) {
    Network network = options.network;
    options.network.postOcsp = [this, network](const std::string& url, const Bytes& request) {
      FetchAnswer answer = network.postOcsp(url, request);
      if (!answer.error.empty() || answer.status != 200) stopped_ = true;
      return answer;
    };
    options.network.get = [this, network](const std::string& url, const std::string& accept) {
      FetchAnswer answer = network.get(url, accept);
      if (!answer.error.empty() || answer.status != 200) stopped_ = true;
      return answer;
    };
    DigestTimestampCallback stamp = options.documentTimestamp;
    options.documentTimestamp = [this, stamp](const Bytes& digest, std::string* error) {
      Bytes token = stamp(digest, error);
      if (token.empty()) stopped_ = true;
      return token;
    };
    return options;
  }

  const Plan& plan_;
  const SignatureTexts texts_;
  const CertificateEntry& entry_;
  SigningSession* session_;
  SigningCallback callback_;
  TimestampCallback timestamp_;
  LongTermOptions longTerm_;
  bool stopped_ = false;
};

bool MakeOutputFolder(const std::string& folder, std::string* error) {
  std::error_code code;
  if (folder.empty() || fs::is_directory(PathOf(folder), code)) return true;
  if (fs::create_directory(PathOf(folder), code)) return true;
  *error = "no se pudo crear la carpeta " + folder + ".";
  return false;
}

}  // namespace

DocumentList ListDocuments(const std::vector<std::string>& words) {
  DocumentList list;
  for (const std::string& word : words) {
    std::error_code ignored;
    if (!fs::is_directory(PathOf(word), ignored)) {
      list.documents.push_back(word);
      continue;
    }
    std::vector<std::string> found = FolderDocuments(word);
    if (found.empty()) list.emptyFolders.push_back(word);
    list.documents.insert(list.documents.end(), found.begin(), found.end());
  }
  return list;
}

int RunSign(const Arguments& args) {
  Plan plan;
  std::string error;
  if (!MakePlan(args, &plan, &error)) return UsageError(error);
  const std::vector<std::string>& documents = plan.list.documents;
  Report report(args.Has("--json"), documents.size(), documents.size() + plan.list.emptyFolders.size());
  for (const std::string& folder : plan.list.emptyFolders) {
    SignResult empty;
    empty.error = "la carpeta " + folder + " no contiene ningun PDF.";
    report.Document(folder, "", empty);
  }
  if (documents.empty()) return report.Close();

  Signer signer;
  Failure failure;
  if (!signer.Choose(args, &failure)) return Fail(failure);
  SigningSession session(signer.entry, signer.options);
  // A refused PIN or password stops everything here, before any document is touched.
  if (!session.Begin(&error)) return Fail(error);
  if (!MakeOutputFolder(plan.outDir, &error)) return Fail(error);

  Batch batch(plan, args, signer, &session);
  ProgressLine progress(documents.size());
  size_t next = 0;
  while (next < documents.size() && !batch.stopped()) {
    const std::string& input = documents[next];
    progress.Show(next++, input);
    std::string output;
    const SignResult result = batch.SignOne(input, &output);
    progress.Clear();
    report.Document(input, output, result);
  }
  if (next < documents.size())
    Fail("se detiene la firma del lote; los documentos que faltan quedan sin tocar.");
  for (; next < documents.size(); ++next) report.Untouched(documents[next]);
  return report.Close();
}
