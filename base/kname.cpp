#include "base/kname.h"

#include <new>

// ---------------------------------------------------------------------------
// KName

KName::KName(const char* name)
    : mInitialName(name)
    , mCurrentName(name)
{}

KName::KName(const KName& other)
    : mInitialName(other.mInitialName)
    , mCurrentName(other.mCurrentName)
{}

KName& KName::operator=(const KName& other)
{
    mInitialName = other.mInitialName;
    mCurrentName = other.mCurrentName;
    return *this;
}

void KName::SetInitialName(const char* name)
{
    mInitialName = name;
    mCurrentName = name;
}

void KName::SetCurrentName(const char* name)
{
    mCurrentName = name;
}

bool KName::IsRenamed() const
{
    return !(mCurrentName == mInitialName);
}

// ---------------------------------------------------------------------------
// KNumberRenamingStrategy

KNumberRenamingStrategy::KNumberRenamingStrategy() {}

KNumberRenamingStrategy::~KNumberRenamingStrategy()
{
    Clear();
}

void KNumberRenamingStrategy::Clear()
{
    mIndex.clear();
    mNames.clear();
}

KNumberRenamingStrategy::NameEntry* KNumberRenamingStrategy::FindEntry(const char* name) const
{
    auto found = mIndex.find(std::string_view(name ? name : ""));
    return found == mIndex.end() ? nullptr : found->second;
}

KNumberRenamingStrategy::NameEntry* KNumberRenamingStrategy::AddEntry(const char* name, int count)
{
    mNames.push_back(std::make_unique<NameEntry>());
    NameEntry* entry = mNames.back().get();
    entry->mName = name ? name : "";
    if (!entry->mName.IsOK())
    {
        // Its text could not be kept: memory ran out, as the lists report it.
        mNames.pop_back();
        throw std::bad_alloc();
    }
    entry->mCount = count;
    // The key views the entry's own text, which never changes while the
    // entry lives.
    mIndex.emplace(std::string_view(entry->mName.ToChars(), entry->mName.GetLen()), entry);
    return entry;
}

bool KNumberRenamingStrategy::Rename(KName& name)
{
    NameEntry* entry = FindEntry(name.GetCurrentName());
    if (!entry)
    {
        AddEntry(name.GetCurrentName(), 0);
        return false;
    }
    KString candidate;
    do
    {
        ++entry->mCount;
        candidate = entry->mName + entry->mCount;
        if (!candidate.IsOK())
            throw std::bad_alloc();
    } while (FindEntry(candidate));
    AddEntry(candidate, 0);
    name.SetCurrentName(candidate);
    return true;
}

KRenamingStrategy* KNumberRenamingStrategy::Clone()
{
    return new KNumberRenamingStrategy;
}
