// The split of a report into one PDF per owner, along the owner marks the statement run leaves in
// its spool file (print/spool_marks.h), with an index of what was written:
//
//   DIR/0001-PUIG_JOSEP-2025-N.pdf ...   one per owner whose statements printed anything
//   DIR/index.csv                        owner,name,tax_id,properties,pages,file,sha256,note
//
// Everything is written in a hidden directory inside DIR first and moved into DIR only when the
// whole split is complete, the index last; a split that fails leaves DIR as it was.
#ifndef QUARNELL_TOOLS_QEBPRINT_OWNER_SPLIT_H_
#define QUARNELL_TOOLS_QEBPRINT_OWNER_SPLIT_H_

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "print/fresh_file.h"
#include "print/spool_marks.h"
#include "tools/qebprint/page_layout.h"

namespace quarnell {

inline constexpr char kSplitIndexName[] = "index.csv";
// The longest file name the split gives a document, in bytes.
inline constexpr size_t kMaxSplitFileName = 100;

// The file name of an owner's document: "<code>-<surname first name>-<year>-<layout>.pdf", the
// name (stored as surname*first name, code page 850) folded to capitals without accents, every
// run of other characters than letters and digits one "_", and cut so that the whole name stays
// within kMaxSplitFileName bytes. Without a run mark the year and layout are left out.
std::string SplitFileName(const OwnerMark& owner, const std::optional<RunMark>& run);

class OwnerSplit : public PageSink {
 public:
  // The split into `directory`, made when missing.
  explicit OwnerSplit(std::string directory);
  ~OwnerSplit() override;
  OwnerSplit(const OwnerSplit&) = delete;
  OwnerSplit& operator=(const OwnerSplit&) = delete;

  // Makes the directory and the hidden directory the split is written in, and removes what a
  // killed split left there. False with the reason in `problem`.
  bool Begin(std::string* problem);

  // The marks as the spool file gives them. The run mark dates every document and gives the year
  // and layout of their names; an owner's mark ends the document in progress. REQUIRES: the
  // caller has ended the page in progress (PageLayout::EndPage) before an owner's marks.
  void SetRun(const RunMark& run) { run_ = run; }
  bool BeginOwner(const OwnerMark& owner);
  bool EndOwner(const OwnerMark& end);

  // To the current owner's document, made on its first page. Pages outside any owner's marks go
  // to one document of their own, "informe-<year>-<layout>.pdf".
  bool EmitPage(const Page& page) override;

  // Ends the last document, writes the index and moves everything into the directory.
  bool Finish(std::string* problem);

  // What went wrong when EmitPage, BeginOwner or EndOwner answered false.
  const std::string& error() const { return error_; }
  int32_t files() const { return files_; }
  int32_t owners() const { return owners_; }
  int32_t unmarked_pages() const { return unmarked_pages_; }
  const std::string& unmarked_file() const { return unmarked_file_; }

 private:
  struct Document;
  class Finisher;

  bool Open(Document& document, const std::string& name, bool in_memory);
  // Completes the document and its file's digest; false with the reason in `problem`.
  bool Close(Document& document, std::string* problem) const;
  // Completes the owner's document (nullptr: none) and writes the owner's index row.
  bool Complete(Document* document, const OwnerMark& owner, std::string* problem);
  bool EndCurrentOwner();
  void AddRow(const std::vector<std::string>& fields);
  std::string UniqueName(const std::string& name);
  std::string UnmarkedName() const;

  std::string directory_;
  StagingDirectory staging_;
  std::FILE* index_ = nullptr;
  std::optional<RunMark> run_;
  std::optional<OwnerMark> owner_;  // the owner whose marks are open
  std::unique_ptr<Document> current_;
  std::unique_ptr<Document> unmarked_;
  std::unique_ptr<Finisher> finisher_;  // from Begin to Finish
  std::vector<std::string> names_;      // files in the order written
  std::unordered_set<std::string> used_names_;
  std::string error_;
  std::string unmarked_file_;
  int32_t files_ = 0;
  int32_t owners_ = 0;
  int32_t unmarked_pages_ = 0;
};

}  // namespace quarnell

#endif  // QUARNELL_TOOLS_QEBPRINT_OWNER_SPLIT_H_
