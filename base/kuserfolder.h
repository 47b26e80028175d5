#ifndef QOX_BASE_KUSERFOLDER_H
#define QOX_BASE_KUSERFOLDER_H

// Folders of the user's own, where the SDK and the plug-in keep what they
// make for their user (settings, logs, extracted media): used only when no
// other user can change what lies in them.

#include <string>
#include <sys/stat.h>

// The base folder of one kind of the user's files: variable (the value of
// an $XDG_..._HOME variable) when it is an absolute path, else
// "<home>/<fallback>", home being the given one when it is absolute, else
// the one the user database gives this user. Ends with one "/"; "" when
// there is none.
std::string KUserBaseFolder(const char* variable, const char* home, const char* fallback);

// Whether no user but this one may write the file or folder whose status is
// given (open as fd, or -1 to look it up by path): it is this user's, others
// may not write it, and its group may not either unless that group is the
// user's private group, as systems that give each user a group of their own
// make it (umask 002 then leaves the user's files and folders
// group-writable): the user's primary group, named as the user, listing no
// other member, and no other account's primary group; and it has no access
// list beyond its mode bits. Anything the system does not tell plainly
// counts as shared.
bool KOnlyUserMayWrite(const struct stat& status, int fd, const char* path);

// Makes the folder at path, and each folder missing above it, mode 0700
// whatever the umask, or finds it. True when it is then a folder this user
// owns that no other user may write (KOnlyUserMayWrite), reached through
// folders that no other user can change (root's not writable by others,
// this user's that no other user may write, or either one sticky); a found
// folder the user owns gets u+rwx. The folders found above the first
// missing one are checked so before anything is made: root with another
// user's $HOME makes nothing in that home. Otherwise false, and *why (when given)
// says what stood in the way: "<folder> belongs to another user", "<folder>
// can be written by other users", "<folder> is not a folder", "<folder>:
// <system error>" or "no home folder".
bool KMakeUserFolder(const std::string& path, std::string* why);

// KMakeUserFolder, then the folder it checked opened (read only, a folder,
// close-on-exec): its descriptor, and in *real (when given) its path with
// every symbolic link resolved. -1 when KMakeUserFolder refuses it, with
// *why as there.
int KOpenUserFolder(const std::string& path, std::string* why, std::string* real = nullptr);

// The folder name in the folder open at descriptor at, made when missing
// (mode 0755 less the umask: never writable by others), opened never
// through a symbolic link (nor waiting on a FIFO): its descriptor when it
// is a folder this user owns that no other user may write
// (KOnlyUserMayWrite); -1 otherwise, and *why (when given) says why, naming
// it by path as KMakeUserFolder does. Root neither makes nor opens it when
// the folder at (path less its last name), or one above it, belongs to
// another user ("<folder> belongs to another user"): a scene in another
// user's home gets no folder of root's there.
int KOpenOwnFolderAt(int at, const char* name, const std::string& path, std::string* why);

#endif
