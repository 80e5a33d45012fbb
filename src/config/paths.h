// Paths as the program writes them ("DADES\VPropiet", root + "FORMS\") and as the host needs them.
#ifndef QUARNELL_CONFIG_PATHS_H_
#define QUARNELL_CONFIG_PATHS_H_

#include <string>
#include <string_view>

namespace quarnell {

// The host path of a program path: "\" becomes "/"; when the path does not exist exactly, each
// component is matched without regard to case against what is on disk (installations copied from
// other systems keep upper-case names). Components that match nothing are kept as written, so a
// file about to be created gets the name the program gave it.
std::string HostPath(std::string_view path);

// The directory rule: a value that is not empty and ends neither in ":" nor in "\" (or "/") gets
// "\" appended.
std::string ApplyDirectoryRule(std::string_view directory);

// The directory part of a host path, without its final "/" ("/" for a file at the top, "." for a
// bare name), and the name after the last "/".
std::string HostDirectoryOf(std::string_view host_path);
std::string HostFileName(std::string_view host_path);

// A program path (a directory such as the installation root) as an administrator types it in a
// command: its host path made absolute, without a final "/", and quoted for the shell when it
// holds anything but letters, digits and "/._-+,:@%", so that a command shown in a message can
// be copied as it stands.
std::string PathForCommand(std::string_view path);

}  // namespace quarnell

#endif  // QUARNELL_CONFIG_PATHS_H_
