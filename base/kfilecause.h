#ifndef QOX_BASE_KFILECAUSE_H
#define QOX_BASE_KFILECAUSE_H

// Why a file could not be read or saved, in words the user can act on: the
// text put after a failure's own message and ": " ("File not opened: no such
// file", "File is corrupted: not an OBJ file"). Every reader and writer names
// its causes through these, so that one cause reads the same everywhere.

#include <string>
#include <string_view>

#include "base/kstring.h"

// The cause of a failed open (or stat) from its errno: "no such file" (ENOENT,
// ENOTDIR), "it is a directory" (EISDIR), "permission denied" (EACCES,
// EPERM), "the name is too long" (ENAMETOOLONG), "the symbolic links form a
// loop" (ELOOP), "too many files are open" (EMFILE, ENFILE); "" for any other
// error, which has no cause the user can act on.
const char* KFileErrorCause(int error);

// Whether error (an errno) tells that the process or the system has no file
// descriptor left (EMFILE, ENFILE): the file is there, only not opened.
bool KOutOfDescriptors(int error);

// A file that opened but holds no byte, where its format needs some.
extern const char* const kCAUSE_EMPTY_FILE; // "the file is empty"
// A file whose first bytes cannot begin a native scene file.
extern const char* const kCAUSE_NOT_NATIVE; // "not a native scene file"

// bytes fit to stand in a message: printable ASCII as it is, every other
// byte (a control character, a NUL, a byte of binary data) as \xHH.
KString KMessageText(std::string_view bytes);

// text (a name found in a file, a line of a file) fit to stand in one line
// of a message: every control character shown escaped, as \n, \t, \r, \e
// or \xHH (bytes below 0x20, and 0x7F), so that it can neither break the
// line nor drive a terminal; every other byte (UTF-8 too) as it is. With
// lineBreaks, "\n" stays as it is: the text's own lines, made by the caller.
std::string KEscapeControls(std::string_view text, bool lineBreaks = false);

#endif
