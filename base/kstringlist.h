#ifndef QOX_BASE_KSTRINGLIST_H
#define QOX_BASE_KSTRINGLIST_H

// String lists: an ordered list of texts, each paired with a reference (an
// index, a flag or a pointer value chosen by the user of the list). The list
// owns its items; index order is insertion order unless Sort is called.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <strings.h>

#include "base/karray.h"
#include "base/kstring.h"

// Pointer-sized user value stored beside a key or a list item.
typedef uintptr_t kReference;

class KStringListItem
{
public:
    KStringListItem()
        : mReference(0)
    {}
    explicit KStringListItem(const char* text, kReference reference = 0)
        : mString(text)
        , mReference(reference)
    {}

    KString mString;
    kReference mReference;
};

template <class Type>
class KStringListTemplate
{
public:
    KStringListTemplate()
        : mList(16)
    {}
    virtual ~KStringListTemplate() { DeleteItems(); }

    // When index is below the count, the item's text becomes a copy of text.
    virtual bool SetStringAt(int index, const char* text);
    // Creates an item {copy of text, reference} at index (clamped to the
    // count); returns the index used, -1 when no room could be had.
    virtual int InsertAt(int index, const char* text, kReference reference);
    // Deletes the item at index and removes its slot; other indices are ignored.
    virtual void RemoveAt(int index);
    // Deletes every item and frees the item array.
    virtual void Clear();
    // Appends the texts of all items to out, with "~" between them.
    virtual void GetText(KString& out);
    // Clears the list, then adds one item (reference 0) for every portion of
    // text before a "~", and for the portion after the last "~" when it is not
    // empty. Returns the index of the last item added, 0 when none was.
    virtual int SetText(const char* text);

    int Add(const char* text, kReference reference = 0) { return InsertAt(GetCount(), text, reference); }
    // Appends or inserts an item created by the caller; the list takes it.
    int AddItem(Type* item) { return mList.Add(item); }
    int InsertItemAt(int index, Type* item) { return mList.InsertAt(index < 0 ? 0 : index, item); }

    Type* GetItemAt(int index) const { return mList[index]; }
    Type* operator[](int index) const { return mList[index]; }
    int GetCount() const { return mList.GetCount(); }

    // The text at index, or null when index is out of range.
    char* GetStringAt(int index) const { return mList.ValidateIndex(index) ? mList[index]->mString.Buffer() : nullptr; }
    kReference GetReferenceAt(int index) const { return mList[index]->mReference; }
    void SetReferenceAt(int index, kReference reference) { mList[index]->mReference = reference; }

    // Index of that very item object, or -1.
    int Find(Type& item) const { return mList.Find(&item); }
    int FindItem(Type* item) const { return mList.Find(item); }
    // Index of the first item with that reference, or -1.
    int FindIndex(kReference reference) const
    {
        for (int i = 0, n = GetCount(); i < n; ++i)
        {
            if (mList[i]->mReference == reference)
            {
                return i;
            }
        }
        return -1;
    }
    // Index of the first item with exactly that text, or -1.
    int FindIndex(const char* text) const
    {
        for (int i = 0, n = GetCount(); i < n; ++i)
        {
            if (mList[i]->mString == text)
            {
                return i;
            }
        }
        return -1;
    }
    // Reference of the first item with exactly that text, or 0.
    kReference FindReference(const char* text) const
    {
        int index = FindIndex(text);
        return index < 0 ? 0 : mList[index]->mReference;
    }

    bool Remove(Type& item)
    {
        int index = Find(item);
        if (index < 0)
        {
            return false;
        }
        RemoveAt(index);
        return true;
    }
    bool Remove(const char* text)
    {
        int index = FindIndex(text);
        if (index < 0)
        {
            return false;
        }
        RemoveAt(index);
        return true;
    }
    void RemoveLast() { RemoveAt(GetCount() - 1); }

    // Orders the items by text without regard to case.
    void Sort()
    {
        Type** items = mList.GetArray();
        if (items)
        {
            std::sort(items, items + GetCount(), [](const Type* a, const Type* b) {
                return strcasecmp(a->mString.ToChars(), b->mString.ToChars()) < 0;
            });
        }
    }
    // Binary search, in the order of Sort, for an item with that text without
    // regard to case; the matching slot of the item array, or null.
    Type** FindEqual(const char* text) const
    {
        if (!text)
        {
            text = "";
        }
        Type** items = mList.GetArray();
        int low = 0;
        int high = GetCount();
        while (low < high)
        {
            int mid = low + (high - low) / 2;
            int order = strcasecmp(items[mid]->mString.ToChars(), text);
            if (order == 0)
            {
                return items + mid;
            }
            if (order < 0)
            {
                low = mid + 1;
            }
            else
            {
                high = mid;
            }
        }
        return nullptr;
    }

protected:
    KStringListTemplate(const KStringListTemplate&) = delete;
    KStringListTemplate& operator=(const KStringListTemplate&) = delete;

    void DeleteItems()
    {
        for (int i = 0, n = GetCount(); i < n; ++i)
        {
            delete mList[i];
        }
        mList.Clear();
    }

    KArrayTemplate<Type*> mList;
};

template <class Type>
bool KStringListTemplate<Type>::SetStringAt(int index, const char* text)
{
    if (!mList.ValidateIndex(index))
    {
        return false;
    }
    mList[index]->mString = text;
    return true;
}

template <class Type>
int KStringListTemplate<Type>::InsertAt(int index, const char* text, kReference reference)
{
    Type* item = new Type;
    item->mString = text;
    item->mReference = reference;
    int used = mList.InsertAt(index < 0 ? 0 : index, item);
    if (used < 0)
    {
        delete item;
    }
    return used;
}

template <class Type>
void KStringListTemplate<Type>::RemoveAt(int index)
{
    if (!mList.ValidateIndex(index))
    {
        return;
    }
    delete mList[index];
    mList.RemoveAt(index);
}

template <class Type>
void KStringListTemplate<Type>::Clear()
{
    DeleteItems();
}

template <class Type>
void KStringListTemplate<Type>::GetText(KString& out)
{
    for (int i = 0, n = GetCount(); i < n; ++i)
    {
        if (i > 0)
        {
            out += "~";
        }
        // Through the characters, so an item holding an invalid text adds
        // nothing instead of invalidating out.
        out += mList[i]->mString.ToChars();
    }
}

template <class Type>
int KStringListTemplate<Type>::SetText(const char* text)
{
    // The text may belong to one of this list's items: copy it before clearing.
    KString copy(text ? text : "");
    Clear();
    int last = 0;
    const char* portion = copy.ToChars();
    while (const char* tilde = strchr(portion, '~'))
    {
        KString part(portion, static_cast<unsigned int>(tilde - portion));
        last = InsertAt(GetCount(), part, 0);
        portion = tilde + 1;
    }
    if (*portion != '\0')
    {
        last = InsertAt(GetCount(), portion, 0);
    }
    return last < 0 ? 0 : last;
}

extern template class KStringListTemplate<KStringListItem>;

class KStringList : public KStringListTemplate<KStringListItem>
{
public:
    KStringList() {}
    KStringList(const KStringList& other)
        : KStringListTemplate<KStringListItem>()
    {
        CopyFrom(&other);
    }
    KStringList& operator=(const KStringList& other)
    {
        CopyFrom(&other);
        return *this;
    }
    ~KStringList() override {}

    // Replaces the items by copies of other's texts and references, in order.
    // Copying a list onto itself leaves it unchanged.
    void CopyFrom(const KStringList* other);
};

#endif
