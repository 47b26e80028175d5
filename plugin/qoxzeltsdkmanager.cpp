#include "plugin/qoxzeltsdkmanager.h"

#include <string>
#include <unordered_map>

#include "base/kstring.h"
#include "plugin/import/qoxzeltmergenodematcher.h"
#include "plugin/qoxzeltnode.h"
#include "scene/kqoxpluginrenamingstrategy.h"
#include "scene/kqoxpose.h"

using namespace qoxsdk_600;

namespace {

const char kModelPrefix[] = "Model::";
const unsigned kModelPrefixLength = 7;

// The namespace of an initial name "Model::ns:name": "ns"; empty otherwise.
KString NameSpaceOf(const char* initialName)
{
    if (!initialName || strncmp(initialName, kModelPrefix, kModelPrefixLength) != 0)
        return KString("");
    const char* rest = initialName + kModelPrefixLength;
    const char* colon = strchr(rest, ':');
    if (!colon || colon == rest)
        return KString("");
    return KString(rest, static_cast<unsigned>(colon - rest));
}

// Takes "ns:" off the front of name (after any class prefix).
KString WithoutNameSpace(const char* name, const KString& ns)
{
    std::string text = name ? name : "";
    std::string cut = std::string(ns.ToChars()) + ":";
    size_t at = text.compare(0, kModelPrefixLength, kModelPrefix) == 0 ? kModelPrefixLength : 0;
    if (text.compare(at, cut.size(), cut) == 0)
        text.erase(at, cut.size());
    return KString(text.c_str());
}

// Renames the record with the strategy as if it had no class prefix
// ("Model::"): the prefix is no part of the host name and must not be
// rewritten with it. The prefix is put back on both names.
void RenameWithoutPrefix(KQoxPluginRenamingStrategy& strategy, KName& record)
{
    std::string initial = record.GetInitialName();
    std::string current = record.GetCurrentName();
    const size_t separator = current.find("::");
    const std::string prefix = separator == std::string::npos ? "" : current.substr(0, separator + 2);
    for (std::string* name : {&initial, &current})
        if (!prefix.empty() && name->compare(0, prefix.size(), prefix) == 0)
            name->erase(0, prefix.size());
    KName bare(initial.c_str());
    bare.SetCurrentName(current.c_str());
    strategy.Rename(bare);
    record.SetInitialName((prefix + bare.GetInitialName()).c_str());
    record.SetCurrentName((prefix + bare.GetCurrentName()).c_str());
}

} // namespace

QoxZeltSdkManager::QoxZeltSdkManager(int mode)
    : mMode(mode)
{}

QoxZeltSdkManager::~QoxZeltSdkManager()
{
    DestroyQoxZeltMergeNodeMatcher(nullptr);
    Clear();
}

KQoxNode* QoxZeltSdkManager::AllocateKQoxNode(const char* name)
{
    return new QoxZeltNode(*this, name, nullptr);
}

QoxZeltNode* QoxZeltSdkManager::CreateQoxZeltNode(const char* name, ZDagPath* path)
{
    QoxZeltNode* node = static_cast<QoxZeltNode*>(CreateKQoxNode(name));
    if (node)
        node->SetDagPath(path);
    return node;
}

QoxZeltMergeNodeMatcher* QoxZeltSdkManager::CreateQoxZeltMergeNodeMatcher()
{
    if (!mMatcher)
        mMatcher.reset(new QoxZeltMergeNodeMatcher(*this));
    return mMatcher.get();
}

bool QoxZeltSdkManager::DestroyQoxZeltMergeNodeMatcher(QoxZeltMergeNodeMatcher*)
{
    bool had = mMatcher != nullptr;
    mMatcher.reset();
    return had;
}

void QoxZeltSdkManager::ResolveNameClashing()
{
    KQoxPluginRenamingStrategy strategy(
        mMode == eIMPORT ? KQoxPluginRenamingStrategy::eFROM_QOX : KQoxPluginRenamingStrategy::eTO_QOX, false);
    // Old current name -> new current name, for the poses.
    std::unordered_map<std::string, std::string> renamed;
    for (int i = 0; i < GetKQoxNodeCount(); ++i)
    {
        QoxZeltNode* node = static_cast<QoxZeltNode*>(GetKQoxNode(i));
        std::string before = node->GetName();
        KString ns = NameSpaceOf(node->GetInitialName());
        node->mNameSpace = ns;
        // An import may add the node's namespace to the host scene.
        node->mAddNameSpace = mMode == eIMPORT && ns.GetLen() > 0;
        if (ns.GetLen() > 0)
        {
            KName& record = node->GetNameRecord();
            KString initial = WithoutNameSpace(record.GetInitialName(), ns);
            KString current = WithoutNameSpace(record.GetCurrentName(), ns);
            record.SetInitialName(initial.ToChars());
            record.SetCurrentName(current.ToChars());
        }
        RenameWithoutPrefix(strategy, node->GetNameRecord());
        if (before != node->GetName())
            renamed[before] = node->GetName();
    }
    NameChanged();
    if (renamed.empty())
        return;
    for (int p = 0; p < GetKQoxPoseCount(); ++p)
    {
        KQoxPose* pose = GetKQoxPose(p);
        for (int k = 0; k < pose->GetCount(); ++k)
        {
            auto found = renamed.find(pose->GetNodeName(k).ToChars());
            if (found != renamed.end())
                pose->ReplaceNodeName(k, found->second.c_str());
        }
    }
}
