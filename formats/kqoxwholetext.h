#ifndef QOX_FORMATS_KQOXWHOLETEXT_H
#define QOX_FORMATS_KQOXWHOLETEXT_H

// Texts the geometry writers write into a file or open: a KString that lost
// its text for want of memory reads as the empty text, and a name or path
// written or opened so would be another one, or none. These throw
// std::bad_alloc instead, which the writers report as "Out of memory".

#include <new>

#include "base/kstring.h"
#include "scene/kqoxobject.h"

namespace qoxsdk_600 {

// The text itself, or std::bad_alloc when it lost its text.
inline const KString& KQoxWholeText(const KString& text)
{
    if (!text.IsOK())
        throw std::bad_alloc();
    return text;
}

// The object's name without its name space prefix, whole.
inline KString KQoxWholeName(const KQoxObject& object)
{
    KString name = object.GetNameWithoutNameSpacePrefix();
    KQoxWholeText(name);
    return name;
}

} // namespace qoxsdk_600

#endif
