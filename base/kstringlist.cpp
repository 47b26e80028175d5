#include "base/kstringlist.h"

template class KStringListTemplate<KStringListItem>;

void KStringList::CopyFrom(const KStringList* other)
{
    if (other == this)
    {
        return;
    }
    Clear();
    if (!other)
    {
        return;
    }
    for (int i = 0, n = other->GetCount(); i < n; ++i)
    {
        const KStringListItem* item = other->GetItemAt(i);
        InsertAt(GetCount(), item->mString.ToChars(), item->mReference);
    }
}
