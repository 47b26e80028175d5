// Object names, prefixes and full names.
//
// Full name = [class group name + "::"] + [full prefix + ":"] + name. The
// full prefix chains the prefixes of the prefix parents (the first object
// among the destinations of the prefix class) up to the root.

#include <cstring>
#include <unordered_set>

#include "object/kobject.h"

namespace {

const char* Text(const std::unique_ptr<KString>& s)
{
    return s ? s->ToChars() : "";
}

// Stores text in a name slot; an empty text drops the string.
void SetText(std::unique_ptr<KString>& slot, const char* text)
{
    if (!text || !*text)
        slot.reset();
    else if (slot)
        *slot = text;
    else
        slot = std::make_unique<KString>(text);
}

// Start of the last occurrence of seq in the first length characters of text
// (occurrences may overlap), or -1.
int FindLast(const char* text, int length, const char* seq)
{
    int n = static_cast<int>(strlen(seq));
    for (int i = length - n; i >= 0; --i)
        if (strncmp(text + i, seq, n) == 0)
            return i;
    return -1;
}

bool EndsWith(const KString& text, const KString& tail)
{
    unsigned int a = text.GetLen();
    unsigned int b = tail.GetLen();
    return b <= a && strcmp(text.ToChars() + (a - b), tail.ToChars()) == 0;
}

// Objects already marked by the running recursive marking (object graphs may
// hold cycles).
std::unordered_set<KObject*>* gDirtyVisited = nullptr;

} // namespace

bool ExtractNameParts(const char* text, KString& entityPart, KString& groupPart, KString& prefixPart, KString& name)
{
    KString work(text ? text : "");
    const char* separators[3] = {":::", "::", ":"};
    KString* parts[3] = {&entityPart, &groupPart, &prefixPart};
    for (int k = 0; k < 3; ++k)
    {
        int sepLength = static_cast<int>(strlen(separators[k]));
        int at = FindLast(work.ToChars(), static_cast<int>(work.GetLen()), separators[k]);
        if (at >= 0)
        {
            *parts[k] = work.Left(static_cast<unsigned int>(at));
            work = KString(work.ToChars() + at + sepLength);
        }
        else
            *parts[k] = "";
    }
    name = work;
    return true;
}

KString MakeFullName(const char*, const char* groupPart, const char* prefixPart, const char* name)
{
    KString result;
    if (groupPart && *groupPart)
    {
        result += groupPart;
        result += "::";
    }
    if (prefixPart && *prefixPart)
    {
        result += prefixPart;
        result += ":";
    }
    result += name ? name : "";
    return result;
}

KString ConcatPrefixes(const char* parentPrefix, const char* childPrefix)
{
    const char* p = parentPrefix ? parentPrefix : "";
    const char* c = childPrefix ? childPrefix : "";
    KString result;
    if (!*p)
        result = (*c == ':') ? c + 1 : c;
    else if (!*c)
        result = p;
    else if (*c == ':')
        result = KString(p) + c;
    else
        result = KString(p) + ":" + c;
    unsigned int length = result.GetLen();
    if (length > 0 && result[length - 1] == ':')
        result = result.Left(length - 1);
    return result;
}

void MakeFullEntityName(KObject*, KString& text)
{
    text = "";
}

void KObject::ExtractUniqueChildPrefix(const KString& parentFullPrefix, const KString& childPrefix, KString& result)
{
    KString work(childPrefix);
    for (;;)
    {
        if (work.IsEmpty())
        {
            result = childPrefix;
            return;
        }
        if (EndsWith(parentFullPrefix, work))
            break;
        int colon = work.ReverseFind(':');
        work = colon >= 0 ? work.Left(static_cast<unsigned int>(colon)) : KString();
    }
    unsigned int n = work.GetLen();
    result = childPrefix.GetLen() > n + 1 ? childPrefix.Mid(n + 1) : KString();
}

KObject* KObject::GetPrefixParent()
{
    int prefixClass = GetPrefixClassId();
    if (prefixClass == -1)
        return nullptr;
    KArrayTemplate<KObject*> parents(4);
    CollectObjects(this, false, prefixClass, parents);
    return parents.GetCount() > 0 ? parents[0] : nullptr;
}

namespace {

// This object and its prefix parents, nearest first, stopping at a repeat.
void PrefixChain(KObject* object, KArrayTemplate<KObject*>& chain)
{
    for (KObject* o = object; o && chain.Find(o) < 0; o = o->GetPrefixParent())
        chain.Add(o);
}

// The prefixes that get answers along the prefix chain, joined from the root down.
KString JoinPrefixChain(KObject* object, const char* (KObject::*get)())
{
    KArrayTemplate<KObject*> chain(8);
    PrefixChain(object, chain);
    KString full((chain.GetLast()->*get)());
    for (int i = chain.GetCount() - 2; i >= 0; --i)
        full = ConcatPrefixes(full, (chain[i]->*get)());
    return full;
}

} // namespace

KString KObject::GetObjectFullPrefixName()
{
    return JoinPrefixChain(this, &KObject::GetObjectPrefixName);
}

KString KObject::RequestedPrefixChain()
{
    return JoinPrefixChain(this, &KObject::GetObjectOriginalPrefixName);
}

const char* KObject::GetObjectName()
{
    return Text(mName);
}

const char* KObject::GetObjectOriginalName()
{
    return Text(mRequestedName);
}

const char* KObject::GetObjectPrefixName()
{
    return Text(mPrefix);
}

const char* KObject::GetObjectOriginalPrefixName()
{
    return Text(mRequestedPrefix);
}

void KObject::ChangeNameText(const KString& value, kEntityEventType changing, kEntityEventType changed,
                             kPlugAction plugChanging, bool prefix, std::unique_ptr<KString>& slot,
                             std::unique_ptr<KString>* requested)
{
    KString old(prefix ? GetObjectPrefixName() : GetObjectName());
    RaiseEntity(changing, value);
    PlugStateNotify(nullptr, plugChanging, this, const_cast<char*>(old.ToChars()), const_cast<char*>(value.ToChars()),
                    0);
    SetText(slot, value);
    if (requested)
        SetText(*requested, value);
    SetDirtyName(prefix);
    RaiseEntity(changed, value);
    PlugStateNotify(nullptr, kPlugNameChanged, this, const_cast<char*>(value.ToChars()),
                    const_cast<char*>(old.ToChars()), 0);
}

void KObject::SetObjectName(const char* name)
{
    const char* text = name ? name : "";
    if (strcmp(text, GetObjectName()) == 0)
        return;
    // A name made only of blanks is the empty name.
    KString newName(text);
    if (strspn(text, " ") == strlen(text))
        newName = "";
    ChangeNameText(newName, kEntityNameChanging, kEntityNameChanged, kPlugNameChanging, false, mName, &mRequestedName);
}

void KObject::SetObjectUniqueName(const char* name)
{
    const char* text = name ? name : "";
    if (strcmp(text, GetObjectName()) == 0)
        return;
    ChangeNameText(KString(text), kEntityUniqueNameChanging, kEntityUniqueNameChanged, kPlugNameChanging, false, mName);
}

void KObject::SetObjectPrefixName(const char* prefix)
{
    const char* text = prefix ? prefix : "";
    if (strcmp(text, GetObjectPrefixName()) == 0)
        return;
    KString value(text);
    // A prefix given in full below the prefix parent keeps only its own part.
    KObject* parent = GetPrefixParent();
    if (parent)
    {
        KString lead = parent->GetObjectFullPrefixName();
        if (!lead.IsEmpty())
        {
            lead += ":";
            if (strncmp(value.ToChars(), lead.ToChars(), lead.GetLen()) == 0)
                value = KString(value.ToChars() + lead.GetLen());
        }
    }
    ChangeNameText(value, kEntityPrefixChanging, kEntityPrefixChanged, kPlugPrefixChanging, true, mPrefix,
                   &mRequestedPrefix);
}

void KObject::SetObjectUniquePrefixName(const char* prefix)
{
    ChangeNameText(KString(prefix ? prefix : ""), kEntityUniquePrefixChanging, kEntityUniquePrefixChanged,
                   kPlugPrefixChanging, true, mPrefix);
}

void KObject::SetObjectFullName(const char* fullName)
{
    KString entityPart, groupPart, prefixPart, name;
    ExtractNameParts(fullName, entityPart, groupPart, prefixPart, name);
    SetObjectPrefixName(prefixPart);
    SetObjectName(name);
}

void KObject::SetDirtyName(bool recursive)
{
    mDirtyName = true;
    int prefixClass = GetPrefixClassId();
    if (!recursive || prefixClass == -1)
        return;
    std::unordered_set<KObject*> visited;
    bool top = gDirtyVisited == nullptr;
    if (top)
        gDirtyVisited = &visited;
    if (gDirtyVisited->insert(this).second)
    {
        KArrayTemplate<KObject*> children(8);
        CollectObjects(this, true, prefixClass, children);
        KArrayTemplate<HdlKObject> handles(8);
        for (int i = 0; i < children.GetCount(); ++i)
            handles.Add(HdlKObject(children[i]));
        for (int i = 0; i < handles.GetCount(); ++i)
            if (KObject* child = handles[i].Get())
                if (gDirtyVisited->find(child) == gDirtyVisited->end())
                    child->SetDirtyName(true);
    }
    if (top)
        gDirtyVisited = nullptr;
}

const char* KObject::GetObjectFullName()
{
    if (mDirtyName)
    {
        KString full = MakeFullName("", GetClassGroupName(), GetObjectFullPrefixName(), GetObjectName());
        SetText(mFullName, full);
        mDirtyName = false;
    }
    return Text(mFullName);
}

KString KObject::GetObjectLabelName(bool full)
{
    KString prefix = full ? GetObjectFullPrefixName() : KString(GetObjectPrefixName());
    return MakeFullName("", "", prefix, GetObjectName());
}

KString KObject::GetObjectReferenceName()
{
    return KString(GetObjectFullName());
}

KString KObject::GetObjectEntityName()
{
    KObject* entity = mEntity.Get();
    return entity ? KString(entity->GetObjectFullName()) : KString();
}
