// Curve node storage in the native file: one "Channel" field per node, its
// block holding the user name, the time-warp number, the curve, the children,
// the layer id and type, and the next layer as a "LayerChannel" field.

#include <new>

#include "fcurve/kfcurve.h"
#include "fcurve/kfcurve_internal.h"
#include "fcurve/kfcurvelayer.h"
#include "fcurve/kfcurvenode.h"
#include "fcurve/kfcurvenode_internal.h"

#include "base/kqox.h"

#include <climits>
#include <cstring>

using namespace kfcurvenode_detail;
using kfcurve_detail::ListFields;

namespace {

// Channels nest as deep as the file says; reading stops descending past this
// depth, so a hostile file cannot exhaust the stack.
const int kMaxReadDepth = 200;
thread_local int tReadDepth = 0;

struct DepthGuard
{
    DepthGuard() { ++tReadDepth; }
    ~DepthGuard() { --tReadDepth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};

bool WriteIntField(KQox* file, const char* name, int value)
{
    bool ok = file->FieldWriteBegin(name);
    ok = file->FieldWriteI(value) && ok;
    return file->FieldWriteEnd() && ok;
}

// The local transform type a one-letter channel name stands for.
KDataType* ShortNameType(const char* name)
{
    if (strcmp(name, "T") == 0)
        return TypeLclTranslation();
    if (strcmp(name, "R") == 0)
        return TypeLclRotation();
    if (strcmp(name, "S") == 0)
        return TypeLclScaling();
    return nullptr;
}

// A node read on a layer shares the name record of the base layer's child
// of the same name, which becomes its object layer.
void TieToBaseLayer(KFCurveNode* templateNode, KFCurveNode* child)
{
    if (!templateNode || child->GetLayerID() <= 0)
        return;
    KFCurveNode* objectLayer = templateNode->ObjectLayerGet();
    if (!objectLayer)
        return;
    KFCurveNode* same = objectLayer->Get(objectLayer->Find(child->GetName()));
    if (!same || same == child)
        return;
    child->ObjectLayerSet(same);
    child->SetNameInfo(same->GetNameInfo());
}

// KFCurveNodeCreate(file, templateNode, ...) for a list whose "Channel"
// fields not read yet are counted in channels.
KFCurveNode* ReadChannel(KQox* file, KFCurveNode* templateNode, bool onlyDefaults, bool createMissing, bool withColor,
                         int& channels);

// How many "LayerChannel" blocks the node being written or read lies in:
// above 0 it is an upper layer or a member of one. There every id is
// written, 0 included, and so is the id of the node that heads a chain, so
// one the file lacks is told from the base's; the ids lacking are given
// once the outermost chain is read whole.
thread_local int tLayerDepth = 0;
// Whether the chain being read comes from a writer that writes every id in
// it: its head holds a "LayerID". Earlier writers left each id of 0 out,
// and a file of theirs reads a missing id as 0, as they read it.
thread_local bool tEveryIdWritten = false;
// Sets how the ids of the chain being read were written, for its read.
struct ChainIdsGuard
{
    explicit ChainIdsGuard(bool everyIdWritten)
        : mBefore(tEveryIdWritten)
    {
        tEveryIdWritten = everyIdWritten;
    }
    ~ChainIdsGuard() { tEveryIdWritten = mBefore; }
    ChainIdsGuard(const ChainIdsGuard&) = delete;
    ChainIdsGuard& operator=(const ChainIdsGuard&) = delete;
    bool mBefore;
};

// The id of a node read in a layer without its "LayerID", until given.
const int kIdLeftOut = INT_MIN;

struct LayerDepthGuard
{
    LayerDepthGuard() { ++tLayerDepth; }
    ~LayerDepthGuard() { --tLayerDepth; }
    LayerDepthGuard(const LayerDepthGuard&) = delete;
    LayerDepthGuard& operator=(const LayerDepthGuard&) = delete;
};

// The upper layer's id the members of node give (0: none gives one); false
// when two give different ones.
bool MembersLayerId(KFCurveNode* node, int& id)
{
    for (int i = 0; i < node->GetCount(); ++i)
    {
        KFCurveNode* member = node->Get(i);
        if (!member)
            continue;
        const int own = member->GetLayerID();
        if (own > 0 && id != 0 && own != id)
            return false;
        if (own > 0)
            id = own;
        if (!MembersLayerId(member, id))
            return false;
    }
    return true;
}

void GiveChainIds(KFCurveNode* head, bool& ok);

// A member lies on its parent's layer: one without an id gets the parent's,
// and is tied to the base's member as one read with its id is. Chains of
// the members' own follow.
void GiveMembersIds(KFCurveNode* node, bool& ok)
{
    for (int i = 0; i < node->GetCount(); ++i)
    {
        KFCurveNode* member = node->Get(i);
        if (!member)
            continue;
        if (member->GetLayerID() == kIdLeftOut)
        {
            member->SetLayerID(node->GetLayerID());
            TieToBaseLayer(node, member);
        }
        GiveMembersIds(member, ok);
        GiveChainIds(member, ok);
    }
}

// Gives each upper layer of head's chain without an id the one the file
// still tells: the one its members give, or else the only one between the
// ids of the layers around it. When the members disagree, or their id or
// none at all fits there, ok turns false (damage) and the layer gets 0.
void GiveChainIds(KFCurveNode* head, bool& ok)
{
    long long previous = head->GetLayerID();
    for (KFCurveNode* layer = head->LayerGet(); layer; layer = layer->LayerGet())
    {
        if (layer->GetLayerID() == kIdLeftOut)
        {
            KFCurveNode* next = layer->LayerGet();
            const bool bounded = next && next->GetLayerID() != kIdLeftOut;
            const long long above = bounded ? next->GetLayerID() : 0;
            int id = 0;
            const bool agree = MembersLayerId(layer, id);
            if (agree && id == 0 && bounded && above == previous + 2)
                id = static_cast<int>(previous + 1);
            if (!agree || id <= 0 || id <= previous || (bounded && id >= above))
            {
                ok = false;
                id = 0;
            }
            layer->SetLayerID(id);
        }
        GiveMembersIds(layer, ok);
        previous = layer->GetLayerID();
    }
}

} // namespace

bool KFCurveNode::QoxStore(KQox* file, bool onlyDefaults, bool shortTRSNames, bool skipUserName, const char* fieldName,
                           bool withColor, bool legacyLayout, bool keyArrays)
{
    if (!file)
        return false;
    // True when everything was written, as for a curve.
    bool ok = file->FieldWriteBegin(fieldName ? fieldName : "Channel");

    const char* value = GetName();
    KDataType* type = GetDataType();
    if (shortTRSNames && type)
    {
        if (type == TypeLclTranslation())
            value = "T";
        else if (type == TypeLclRotation())
            value = "R";
        else if (type == TypeLclScaling())
            value = "S";
    }
    ok = file->FieldWriteC(value) && ok;
    ok = file->FieldWriteBlockBegin() && ok;

    if (!skipUserName && strcmp(GetTimeWarpName(), GetName()) != 0)
    {
        ok = file->FieldWriteBegin("UserName") && ok;
        ok = file->FieldWriteC(GetTimeWarpName()) && ok;
        ok = file->FieldWriteEnd() && ok;
    }
    int nick = 0;
    if (TimeWarpGet() && KFCurve_FindNickNumberFromTW(nick, TimeWarpGet()))
        ok = WriteIntField(file, "TimeWarpID", nick) && ok;
    if (mFCurve)
        ok = mFCurve->QoxStore(file, onlyDefaults, withColor, legacyLayout, keyArrays) && ok;
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i))
            ok = Get(i)->QoxStore(file, onlyDefaults, shortTRSNames, skipUserName, "Channel", withColor, legacyLayout,
                                  keyArrays) &&
                 ok;
    const bool headsChain = mNextLayer && !onlyDefaults;
    if (mLayerID != 0 || tLayerDepth > 0 || headsChain)
        ok = WriteIntField(file, "LayerID", mLayerID) && ok;
    if (mLayerType != 0)
        ok = WriteIntField(file, "LayerType", mLayerType) && ok;
    if (mNextLayer && !onlyDefaults)
    {
        LayerDepthGuard inLayer;
        ok = mNextLayer->QoxStore(file, false, shortTRSNames, skipUserName, "LayerChannel", false, legacyLayout,
                                  keyArrays) &&
             ok;
    }

    ok = file->FieldWriteBlockEnd() && ok;
    return file->FieldWriteEnd() && ok;
}

bool KFCurveNode::QoxRetrieve(KQox* file, bool onlyDefaults, bool createMissing, bool withColor)
{
    // True when a channel was read, false when there is none (as for a curve).
    if (!file || !file->FieldReadBegin("Channel"))
        return false;
    KString name(file->FieldReadC());
    Rename(name.ToChars(), name.ToChars());
    QoxInternalRetrieve(file, onlyDefaults, createMissing, withColor);
    file->FieldReadEnd();
    return true;
}

bool KFCurveNode::QoxInternalRetrieve(KQox* file, bool onlyDefaults, bool createMissing, bool withColor)
{
    if (!file)
        return false;
    DepthGuard depth;
    // True when the block was read.
    bool read = false;
    if (tReadDepth <= kMaxReadDepth && file->FieldReadBlockBegin())
    {
        read = true;
        ListFields fields;
        fields.Find(file);
        if (fields.Has(ListFields::eUserName))
        {
            // Used before the next read, which reuses the text's storage.
            const char* userName = file->FieldReadC("UserName", "");
            if (*userName)
                SetTimeWarpName(userName);
        }

        // A node made from the file (no curve, no children yet) keeps both
        // the curve and the channels its block holds; a node of a template
        // that has children drops a curve read for it.
        const bool fresh = !mFCurve && GetCount() == 0;
        if (fresh)
            while (ReadChannel(file, this, onlyDefaults, createMissing, withColor, fields.mChannels))
            {}
        if (!mFCurve)
        {
            KFCurve* curve = KFCurveCreateListed(file, nullptr, onlyDefaults, withColor, fields.mPresent);
            if (curve)
            {
                if (fresh || GetCount() == 0)
                    FCurveSet(curve, false);
                else
                    curve->Destroy();
            }
        }
        else
            KFCurveCreateListed(file, mFCurve, onlyDefaults, withColor, fields.mPresent);

        const int leftOut = tLayerDepth > 0 && tEveryIdWritten ? kIdLeftOut : 0;
        mLayerID = fields.Has(ListFields::eLayerID) ? file->FieldReadI("LayerID", leftOut) : leftOut;
        SetLayerType(fields.Has(ListFields::eLayerType) ? file->FieldReadI("LayerType", 0) : 0, nullptr);

        if (!fresh)
            while (ReadChannel(file, this, onlyDefaults, createMissing, withColor, fields.mChannels))
            {}
        if (fields.Has(ListFields::eLayerChannel))
            KFCurveNodeLayerCreate(file, this, onlyDefaults);

        // Read last: the field is written before the curve and the children.
        int nick = fields.Has(ListFields::eTimeWarpID) ? file->FieldReadI("TimeWarpID", 0) : 0;
        if (nick != 0)
        {
            KFCurveNode* timeWarp = KFCurve_FindTWFromNickNumber(nick);
            if (timeWarp)
            {
                const char* name = GetName();
                bool member = strcmp(name, "X") == 0 || strcmp(name, "Y") == 0 || strcmp(name, "Z") == 0;
                KFCurveNode* target = (member && mParent && mLayerID == 0) ? mParent : this;
                target->TimeWarpSet(timeWarp);
            }
        }
        file->FieldReadBlockEnd();
    }

    // Layer types follow from the names and types.
    const char* name = GetName();
    KDataType* type = GetDataType();
    if ((type && type == TypeLclRotation()) || strcmp(name, "R") == 0)
    {
        if (GetCount() == 3)
            SetLayerType(KFCL_EULER_XYZ, nullptr);
        else if (mLayerType == KFCL_EULER_XYZ)
            mLayerType = KFCL_NOLAYER;
    }
    // Names of one letter (most channels) hold neither longer name.
    const bool letter = name[0] == 0 || name[1] == 0;
    if ((type && type == TypeLclTranslation()) || strcmp(name, "T") == 0 || (!letter && strstr(name, "Translation")))
        SetLayerType(KFCL_ADD, nullptr);
    if ((type && type == TypeLclScaling()) || strcmp(name, "S") == 0 || (!letter && strstr(name, "Scaling")))
        SetLayerType(KFCL_MULT, nullptr);

    if (file->ProjectGetCurrentSectionVersion() == 4000 && mLayerType != 0)
    {
        name = GetName();
        type = GetDataType();
        if ((strchr(name, 'R') && strcmp(name, "R") != 0 && type && type == TypeLclRotation()) ||
            (strchr(name, 'T') && strcmp(name, "T") != 0 && type && type == TypeLclTranslation()) ||
            (strchr(name, 'S') && strcmp(name, "S") != 0 && type && type == TypeLclScaling()))
            SetLayerType(KFCL_NOLAYER, nullptr);
    }
    return read;
}

KFCurveNode* KFCurveNodeCreate(KQox* file, KFCurveNode* templateNode, bool onlyDefaults, bool createMissing,
                               bool withColor)
{
    int channels = INT_MAX;
    return ReadChannel(file, templateNode, onlyDefaults, createMissing, withColor, channels);
}

namespace {

KFCurveNode* ReadChannel(KQox* file, KFCurveNode* templateNode, bool onlyDefaults, bool createMissing, bool withColor,
                         int& channels)
{
    if (!file)
        return nullptr;
    // Each field begun is ended: one fewer left to read.
    while (channels > 0 && file->FieldReadBegin("Channel"))
    {
        --channels;
        // The name is used where the file layer decoded it, before the
        // next read reuses its storage.
        const char* name = file->FieldReadC();
        KFCurveNode* child = nullptr;
        if (templateNode)
        {
            KDataType* type = ShortNameType(name);
            if (type)
                child = templateNode->Find(type);
            if (!child)
                child = templateNode->Get(templateNode->Find(name));
            if (!child)
            {
                if (const char* open = strchr(name, '('))
                {
                    const char* end = open;
                    for (int blanks = 0; blanks < 2 && end > name && end[-1] == ' '; ++blanks)
                        --end;
                    KString stem(name, static_cast<unsigned int>(end - name));
                    child = templateNode->Get(templateNode->Find(stem.ToChars()));
                }
            }
        }
        if (!child && (!templateNode || !templateNode->FCurveGet()) && createMissing)
        {
            child = new KFCurveNode(name, name, nullptr, KFCL_NOLAYER, 0);
            // A member the node could not take would be read and lost: the
            // read fails for lack of memory instead.
            if (templateNode)
            {
                const int at = templateNode->Add(child);
                if (at < 0 || templateNode->Get(at) != child)
                {
                    delete child;
                    throw std::bad_alloc();
                }
            }
        }
        if (child)
        {
            child->QoxInternalRetrieve(file, onlyDefaults, createMissing, withColor);
            file->FieldReadEnd();
            TieToBaseLayer(templateNode, child);
            return child;
        }
        file->FieldReadEnd();
    }
    return nullptr;
}

} // namespace

KFCurveNode* KFCurveNodeCreate(KQox* file, bool onlyDefaults, bool withColor)
{
    return KFCurveNodeCreate(file, nullptr, onlyDefaults, true, withColor);
}

KFCurveNode* KFCurveNodeLayerCreate(KQox* file, KFCurveNode* node, bool onlyDefaults)
{
    if (!file || !node)
        return nullptr;
    // The outermost chain tells how its ids were written; the chains of
    // its layers' members are read as it is.
    const bool outermost = tLayerDepth == 0;
    // (Earlier writers wrote a head's id only when not 0.)
    const bool everyIdWritten =
        outermost ? node->GetLayerID() == 0 && file->FieldReadGetCount("LayerID") > 0 : tEveryIdWritten;
    if (!file->FieldReadBegin("LayerChannel"))
        return nullptr;
    KFCurveNode* layer = new KFCurveNode(node);
    // A chain the node had before is replaced by the one read.
    node->LayerSet(layer, true);
    layer->ObjectLayerSet(node->ObjectLayerGet());
    {
        LayerDepthGuard inLayer;
        ChainIdsGuard ids(everyIdWritten);
        layer->QoxInternalRetrieve(file, onlyDefaults, true, false);
    }
    file->FieldReadEnd();
    bool ok = true;
    if (outermost && everyIdWritten)
        GiveChainIds(node, ok);
    if (!ok)
        file->GetError().SetLastErrorID(KQox::eFILE_CORRUPTED);
    return layer;
}
