#ifndef QOX_BASE_KFILE_PRIVATE_H
#define QOX_BASE_KFILE_PRIVATE_H

// For tests only: the bound StreamMostBytes gives, lowered so that a reader
// can be fed past it in a few bytes; 0 restores kSTREAM_MOST_BYTES.

#include <cstddef>

void SetStreamMostBytesForTests(size_t most);

#endif
