#include "tools/qebprint/owner_split.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "print/sha256.h"
#include "text/cp850.h"
#include "text/folding.h"
#include "tools/qebprint/pdf_renderer.h"

namespace quarnell {
namespace {

constexpr char kStagingName[] = "qebsplit";
constexpr char kUnmarkedName[] = "informe";
constexpr char kPdfExtension[] = ".pdf";
constexpr char kIndexHeader[] = "owner,name,tax_id,properties,pages,file,sha256,note\n";

// Each document is written in one piece by one call chain; a large buffer saves write calls.
constexpr size_t kDocumentBuffer = 1 << 16;
// Documents waiting to be finished while the next is drawn: enough to keep both at work, few
// enough that memory does not follow the number of owners.
constexpr size_t kQueuedDocuments = 2;

bool IsLetterOrDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Capitals without accents, letters and digits kept, every other run one "_", none at the ends.
std::string SafeName(std::string_view cp850) {
  const bool mode = FoldMode();
  SetFoldMode(true);
  const std::string folded = FoldText(cp850);
  SetFoldMode(mode);
  std::string out;
  for (char c : folded) {
    if (IsLetterOrDigit(c)) {
      out.push_back(c);
    } else if (!out.empty() && out.back() != '_') {
      out.push_back('_');
    }
  }
  while (!out.empty() && out.back() == '_') out.pop_back();
  return out;
}

std::string CsvField(const std::string& field) {
  const bool quote = field.find_first_of(",\"\r\n") != std::string::npos ||
                     field.starts_with(' ') || field.ends_with(' ');
  if (!quote) return field;
  std::string out = "\"";
  for (char c : field) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  return out + "\"";
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// "0042" -> "42": the code as the data tool's files write it.
std::string PlainCode(const std::string& code) {
  const size_t first = code.find_first_not_of('0');
  return first == std::string::npos ? "0" : code.substr(first);
}

// `name` with "-N" before its extension.
std::string Numbered(const std::string& name, int number) {
  const size_t dot = name.rfind('.');
  return name.substr(0, dot) + "-" + std::to_string(number) + name.substr(dot);
}

}  // namespace

std::string SplitFileName(const OwnerMark& owner, const std::optional<RunMark>& run) {
  std::string stored = owner.name;
  for (char& c : stored) {
    if (c == '*') c = ' ';
  }
  const std::string tail = (run ? YearAndLayout(*run) : "") + kPdfExtension;
  // Room for "-2" ... when two documents would share the name.
  const size_t room = kMaxSplitFileName - owner.code.size() - 1 - tail.size() - 4;
  std::string name = SafeName(stored);
  if (name.size() > room) name.resize(room);
  while (!name.empty() && name.back() == '_') name.pop_back();
  return owner.code + (name.empty() ? "" : "-" + name) + tail;
}

std::string OwnerSplit::UnmarkedName() const {
  return std::string(kUnmarkedName) + (run_ ? YearAndLayout(*run_) : "") + kPdfExtension;
}

// An owner's document is drawn into memory and written out whole when complete, so that making
// its file costs the drawing nothing; the pages outside any owner's marks (a whole report, when
// the spool has no marks) go straight to their file.
struct OwnerSplit::Document {
  std::string name;
  std::string bytes;
  std::FILE* file = nullptr;  // nullptr: in memory
  std::unique_ptr<PdfPageSink> pdf;
  int32_t pages = 0;
  std::string sha256;
};

// Completing a document (its fonts, its page tree, the file's digest) takes about as long as
// drawing a small owner's pages. A thread of its own completes each owner's document and writes
// its index row, in the owners' order, while the next owner's pages are drawn.
class OwnerSplit::Finisher {
 public:
  explicit Finisher(OwnerSplit& split) : split_(split), thread_([this] { Work(); }) {}
  ~Finisher() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  // Queues the index row of `owner` and the completion of its document (nullptr: no pages), after
  // those queued before; waits while the queue is full. False once a completion has failed.
  bool Add(std::unique_ptr<Document> document, OwnerMark owner) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kQueuedDocuments || !failure_.empty(); });
    if (!failure_.empty()) return false;
    queue_.push_back(Job{std::move(document), std::move(owner)});
    changed_.notify_all();
    return true;
  }

  // Waits until the queue is done; the first failure, empty when none.
  std::string Drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return (queue_.empty() && !busy_) || !failure_.empty(); });
    return failure_;
  }

 private:
  struct Job {
    std::unique_ptr<Document> document;
    OwnerMark owner;
  };

  void Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return !queue_.empty() || stopping_; });
      if (queue_.empty()) return;
      Job job = std::move(queue_.front());
      queue_.pop_front();
      busy_ = true;
      lock.unlock();
      std::string problem;
      const bool done = split_.Complete(job.document.get(), job.owner, &problem);
      lock.lock();
      busy_ = false;
      if (!done && failure_.empty()) failure_ = problem;
      changed_.notify_all();
    }
  }

  OwnerSplit& split_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Job> queue_;
  bool busy_ = false;
  bool stopping_ = false;
  std::string failure_;
  std::thread thread_;  // last: it starts once everything above is ready
};

OwnerSplit::OwnerSplit(std::string directory) : directory_(std::move(directory)) {}

OwnerSplit::~OwnerSplit() {
  finisher_.reset();  // before the documents it may still be completing
  for (Document* document : {current_.get(), unmarked_.get()}) {
    if (document != nullptr && document->file != nullptr) std::fclose(document->file);
  }
  if (index_ != nullptr) std::fclose(index_);
}

bool OwnerSplit::Begin(std::string* problem) {
  const auto started = std::chrono::system_clock::now();
  if (!staging_.Create(directory_, kStagingName, problem)) return false;
  RemoveLeftoverDirectories(directory_, kStagingName, started);
  index_ = std::fopen(staging_.File(kSplitIndexName).c_str(), "wbxe");
  if (index_ == nullptr || std::fputs(kIndexHeader, index_) == EOF) {
    *problem = "cannot write " + staging_.File(kSplitIndexName) + ": " + std::strerror(errno);
    return false;
  }
  finisher_ = std::make_unique<Finisher>(*this);
  return true;
}

std::string OwnerSplit::UniqueName(const std::string& name) {
  std::string unique = name;
  for (int number = 2; used_names_.contains(unique); ++number) unique = Numbered(name, number);
  used_names_.insert(unique);
  return unique;
}

bool OwnerSplit::Open(Document& document, const std::string& name, bool in_memory) {
  document.name = UniqueName(name);
  names_.push_back(document.name);
  ++files_;
  if (in_memory) {
    document.pdf = std::make_unique<PdfPageSink>(&document.bytes);
  } else {
    // "x": a new file only, never one that is there.
    document.file = std::fopen(staging_.File(document.name).c_str(), "wbxe");
    if (document.file == nullptr ||
        std::setvbuf(document.file, nullptr, _IOFBF, kDocumentBuffer) != 0) {
      error_ = "cannot write " + staging_.File(document.name) + ": " + std::strerror(errno);
      return false;
    }
    document.pdf = std::make_unique<PdfPageSink>(document.file);
  }
  if (run_) document.pdf->SetCreationDate(IsoStarted(*run_));
  return true;
}

bool OwnerSplit::Close(Document& document, std::string* problem) const {
  const std::string path = staging_.File(document.name);
  const bool in_memory = document.file == nullptr;
  if (in_memory) document.file = std::fopen(path.c_str(), "wbxe");
  bool ok = document.file != nullptr;
  int error_number = errno;
  if (ok && !document.pdf->Finish()) {
    ok = false;
    *problem = "cannot write " + path + ": " + document.pdf->error();
  }
  document.pdf.reset();
  if (ok && in_memory) {
    ok = std::fwrite(document.bytes.data(), 1, document.bytes.size(), document.file) ==
         document.bytes.size();
    error_number = errno;
  }
  if (document.file != nullptr) {
    ok = std::fflush(document.file) == 0 && std::ferror(document.file) == 0 && ok;
    if (std::fclose(document.file) != 0) ok = false;
    if (!ok && problem->empty()) error_number = errno;
  }
  document.file = nullptr;
  if (!ok) {
    if (problem->empty()) *problem = "cannot write " + path + ": " + std::strerror(error_number);
    return false;
  }
  if (!in_memory) return Sha256OfFile(path, &document.sha256, problem);
  document.sha256 = Sha256Hex(document.bytes);
  document.bytes = std::string();  // gives the memory back
  return true;
}

bool OwnerSplit::Complete(Document* document, const OwnerMark& owner, std::string* problem) {
  if (document != nullptr && !Close(*document, problem)) return false;
  const bool printed = document != nullptr;
  AddRow({PlainCode(owner.code), Cp850ToUtf8(ReorderName(owner.name)),
          Cp850ToUtf8(Trimmed(owner.tax_id)),
          owner.properties < 0 ? "" : std::to_string(owner.properties),
          std::to_string(printed ? document->pages : 0), printed ? document->name : "",
          printed ? document->sha256 : "", printed ? "" : "nothing to print: no file"});
  return true;
}

void OwnerSplit::AddRow(const std::vector<std::string>& fields) {
  std::string row;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) row.push_back(',');
    row += CsvField(fields[i]);
  }
  row.push_back('\n');
  std::fwrite(row.data(), 1, row.size(), index_);
}

bool OwnerSplit::EndCurrentOwner() {
  if (!owner_) return true;
  OwnerMark owner = std::move(*owner_);
  owner_.reset();
  if (finisher_->Add(std::move(current_), std::move(owner))) return true;
  error_ = finisher_->Drain();
  return false;
}

bool OwnerSplit::BeginOwner(const OwnerMark& owner) {
  if (!EndCurrentOwner()) return false;
  owner_ = owner;
  ++owners_;
  return true;
}

bool OwnerSplit::EndOwner(const OwnerMark& end) {
  // An end that closes no open owner (a spool cut or written by hand) changes nothing.
  if (!owner_ || owner_->code != end.code) return true;
  owner_->properties = end.properties;
  return EndCurrentOwner();
}

bool OwnerSplit::EmitPage(const Page& page) {
  std::unique_ptr<Document>& document = owner_ ? current_ : unmarked_;
  if (document == nullptr) {
    document = std::make_unique<Document>();
    const bool owned = owner_.has_value();
    if (!Open(*document, owned ? SplitFileName(*owner_, run_) : UnmarkedName(), owned)) {
      return false;
    }
    if (!owner_) unmarked_file_ = document->name;
  }
  if (!document->pdf->EmitPage(page)) {
    error_ = "cannot write " + staging_.File(document->name) + ": " + document->pdf->error();
    return false;
  }
  ++document->pages;
  if (!owner_) ++unmarked_pages_;
  return true;
}

bool OwnerSplit::Finish(std::string* problem) {
  bool ok = EndCurrentOwner();
  if (ok) {
    error_ = finisher_->Drain();
    ok = error_.empty();
  }
  finisher_.reset();
  if (ok && unmarked_ != nullptr) {
    ok = Close(*unmarked_, &error_);
    if (ok) {
      AddRow({"", "", "", "", std::to_string(unmarked_->pages), unmarked_->name, unmarked_->sha256,
              "pages outside any owner's marks"});
    }
  }
  if (!ok) {
    *problem = error_;
    return false;
  }
  const bool written = std::fflush(index_) == 0 && std::ferror(index_) == 0;
  const int error_number = errno;
  const bool closed = std::fclose(index_) == 0;
  index_ = nullptr;
  if (!written || !closed) {
    *problem = "cannot write " + staging_.File(kSplitIndexName) + ": " +
               std::strerror(written ? errno : error_number);
    return false;
  }
  std::vector<std::string> names = names_;
  names.push_back(kSplitIndexName);  // last: the index tells that the split is complete
  return staging_.MoveFilesOut(names, problem);
}

}  // namespace quarnell
