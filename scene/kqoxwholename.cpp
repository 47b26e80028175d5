#include "scene/kqoxwholename.h"

#include <cstring>
#include <string>

#include "base/kname.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

// The name the manager gives an object made under name: the prefix, then
// the name past its first "::" ("Name" when nothing is left). Made as a
// std::string, which throws rather than lose its text.
std::string MadeName(const char* prefix, const char* name)
{
    std::string rest(name ? name : "");
    const size_t separator = rest.find("::");
    if (separator != std::string::npos)
        rest.erase(0, separator + 2);
    return std::string(prefix ? prefix : "") + (rest.empty() ? std::string("Name") : rest);
}

// Whether the object holds made (MadeName) as its initial or its current
// name (a renaming strategy of the manager may change either, never to
// nothing).
bool HoldsMadeName(const KQoxObject& object, const std::string& made)
{
    const KName& record = object.GetNameRecord();
    const char* initial = record.GetInitialName();
    const char* current = record.GetCurrentName();
    return *initial && *current && (made == initial || made == current);
}

} // namespace

void KQoxExpectMadeName(const KQoxObject* object, const char* prefix, const char* name)
{
    if (!object || !HoldsMadeName(*object, MadeName(prefix, name)))
        throw std::bad_alloc();
}

KQoxNode* KQoxMakeNamedNode(KQoxSdkManager& manager, const char* name, KNumberRenamingStrategy* renaming)
{
    KName given(name);
    KQoxExpectText(given.GetCurrentName(), name);
    if (renaming)
        renaming->Rename(given);
    // Numbering only appends to a name.
    const std::string wanted = given.GetCurrentName();
    if (wanted.compare(0, std::strlen(name), name) != 0)
        throw std::bad_alloc();
    const std::string made = MadeName("Model::", wanted.c_str());
    KQoxNode* node = manager.CreateKQoxNode(wanted.c_str());
    if (node && !HoldsMadeName(*node, made))
    {
        manager.DestroyKQoxNode(node);
        node = nullptr;
    }
    if (!node)
        throw std::bad_alloc();
    return node;
}

} // namespace qoxsdk_600
