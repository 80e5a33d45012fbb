// A pick list: the lines of a record file's records along one of its keys (or of a list a caller
// prepared), in a framed window, with the current line highlighted. Up and Down move by a line,
// PgUp and PgDn by a window, Left and Right scroll the text sideways by 8 characters, Enter picks
// the current line, Esc leaves and F4, where offered, switches to another list.
//
// The list is built lazily: a record is read only when the operator moves past the last line read
// so far, and every line read is kept in the cache file (browse_cache.h), so moving back never
// reads the record file again and a window of lines costs a window of reads. Esc typed while
// records without a line are passed over ends the reading: the list holds the lines read so far.
#ifndef QUARNELL_SCREEN_BROWSE_LIST_H_
#define QUARNELL_SCREEN_BROWSE_LIST_H_

#include <cstdint>
#include <functional>
#include <string>

#include "screen/console.h"

namespace quarnell {

// The result of a list left with Esc, or with Enter on nothing that can be picked.
inline constexpr int16_t kBrowseLeft = -1;

struct BrowseList {
  // The record file to list; 0: the list is the one prepared in the cache file.
  int16_t file = 0;
  int16_t key_number = 0;
  // The frame's corners in screen coordinates; the lines go inside it.
  WindowRect frame;
  std::string title;
  // The records listed: from the first whose key is at or above `start_key` while the key's first
  // characters (as many as `end_key` has) are not above `end_key`. An empty end key lists to the
  // end of the file.
  std::string start_key;
  std::string end_key;
  // The line of the record in the file's record area; an empty line leaves the record out.
  std::function<std::string()> line;
  // F4: runs the list it switches to, inside this one's window, and gives its result. Empty: F4
  // is not offered.
  std::function<int16_t(Console&)> switch_list;
};

// Runs the list until the operator picks a line or leaves. Returns:
//   0 for a pick from a prepared list: BrowseValue and BrowseText hold the entry's value and line
//     (0 and the empty text when the list is empty);
//   for a pick from a record file, the status of reading the picked record into the file's record
//     area (0 when it is there);
//   kBrowseLeft after Esc, or Enter on an empty list of a record file;
//   after F4, what switch_list returned.
// The file is read without locks and gets its lock mode back; the screen under the window, the key
// set and the attributes are as they were on return; the cache file is deleted. A cache file that
// cannot be created is told to the operator and the list is left (kBrowseLeft).
int16_t RunBrowseList(Console& console, const BrowseList& list);

int32_t BrowseValue();
const std::string& BrowseText();

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_BROWSE_LIST_H_
