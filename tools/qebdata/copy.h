// Moving the record files of one installation into another: from SQLite to a server and back, or
// between two of either.
#ifndef QUARNELL_TOOLS_QEBDATA_COPY_H_
#define QUARNELL_TOOLS_QEBDATA_COPY_H_

#include <ostream>
#include <string>

namespace quarnell {

// Copies every record of the thirteen rental files under `from_root` into the same files under
// `to_root`, whose storage (SelectRecordStorage) both roots must have selected. Every file of
// `to_root` must be there and empty (checked for all before anything is copied); each file is
// copied in one transaction, held exclusively, so that it ends with all the records or none.
// Records go in key 0 order, so exports of both installations are byte for byte the same.
// Messages and progress go to `err`. Returns an exit status.
int CopyInstallation(const std::string& from_root, const std::string& to_root, std::ostream& err);

}  // namespace quarnell

#endif  // QUARNELL_TOOLS_QEBDATA_COPY_H_
