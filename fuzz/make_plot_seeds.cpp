// Writes native files holding curve nodes into a directory, as seeds for
// fuzz_kfcurve_plot: make_plot_seeds <directory>. Two kinds: the nodes stored
// as channels of a "Takes" section in every form (layers of the base's shape
// and of others, time warps, rotations, quaternions, multiplied scaling,
// members without curves), and whole scenes the exporter writes whose take
// node is layered and plays through a time warp.

#include <cstdio>
#include <string>
#include <vector>

#include "base/kqox.h"
#include "base/kset.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvelayer.h"
#include "fcurve/kfcurvenode.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "object/kpropertydatatype.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakeinfo.h"
#include "scene/kqoxtakenode.h"

using namespace qoxsdk_600;

namespace {

const long long kTicksPerSecond = 46186158000LL;

// Keys at the given seconds with the given values.
void Keys(KFCurve* curve, std::initializer_list<std::pair<double, float>> keys)
{
    curve->KeyModifyBegin();
    for (const auto& key : keys)
        curve->KeyAppendFast(KTime(static_cast<long long>(key.first * kTicksPerSecond)), key.second);
    curve->KeyModifyEnd();
}

KFCurve* MemberCurve(KFCurveNode* node, int member)
{
    KFCurveNode* child = node->Get(member);
    return child ? child->FCurveGet() : nullptr;
}

KFCurveNode* Transform(bool curves)
{
    KFCurveNode* root = KFCurveNodeCreate("Transform");
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "Lcl Translation"));
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclRotation, "Lcl Rotation"));
    root->Add(FCurveNodeCreateFromDataType(KDataTypeLclScaling, "Lcl Scaling"));
    root->Add(KFCurveNodeCreate("Visibility", KDataTypeVisibility));
    if (curves)
        root->CreateFCurve();
    return root;
}

// The time warps numbered 1 to 3 while the channels are stored; a keeper's
// children hold them until then.
struct Warps
{
    std::vector<KFCurveNode*> warps;
    KFCurveNode* keeper = KFCurveNodeCreate("Keeper");
    KSet set{16};
    Warps()
    {
        for (int k = 0; k < 3; ++k)
        {
            KFCurveNode* warp = KFCurveNodeCreate("Warp", KDataTypeTimeWarp);
            warp->FCurveSet(KFCurveCreate());
            Keys(warp->FCurveGet(), {{0.0, 0.0f}, {1.0, 2.0f - k}});
            KFCurveNode* user = KFCurveNodeCreate("User");
            user->TimeWarpSet(warp);
            keeper->Add(user);
            warps.push_back(warp);
            set.Add(k + 1, reinterpret_cast<kReference>(warp));
        }
        KFCurve_SetTWSet(&set);
    }
    ~Warps()
    {
        KFCurve_SetTWSet(nullptr);
        keeper->Destroy();
    }
    Warps(const Warps&) = delete;
    Warps& operator=(const Warps&) = delete;
};

// The nodes stored: a keyed transform with layers on T, R and S and time
// warps; a transform whose members hold no curves, played through a warp; a
// translation whose layer has more members than its base; a quaternion node
// with a layer; a keyed transform played through a warp of its own, its T
// layered; quaternion-typed members of other shapes than four members; a
// node holding a curve beside members, one of which has none.
std::vector<KFCurveNode*> MakeNodes(Warps& warps)
{
    std::vector<KFCurveNode*> nodes;
    KFCurveNode* keyed = Transform(true);
    KFCurveNode* t = keyed->Get(0);
    KFCurveNode* r = keyed->Get(1);
    KFCurveNode* s = keyed->Get(2);
    Keys(MemberCurve(t, 0), {{0.0, 0.0f}, {0.5, 3.0f}, {1.0, 1.0f}});
    Keys(MemberCurve(t, 1), {{0.25, 2.0f}, {0.75, -2.0f}});
    Keys(MemberCurve(r, 2), {{0.0, 170.0f}, {0.5, -170.0f}, {1.0, 90.0f}});
    r->SetUseQuaternion(true);
    MemberCurve(s, 0)->SetValue(2.0f);
    Keys(MemberCurve(t->CreateLayerAt(1), 0), {{0.2, 1.0f}, {0.6, 4.0f}});
    MemberCurve(t->CreateLayerAt(3), 2)->SetValue(5.0f);
    Keys(MemberCurve(r->CreateLayerAt(1), 0), {{0.0, 45.0f}, {1.0, -45.0f}});
    MemberCurve(s->CreateLayerAt(2), 1)->SetValue(0.5f);
    t->TimeWarpSet(warps.warps[0]);
    r->TimeWarpSet(warps.warps[2]);
    nodes.push_back(keyed);

    KFCurveNode* bare = Transform(false);
    bare->TimeWarpSet(warps.warps[1]);
    nodes.push_back(bare);

    KFCurveNode* wide = FCurveNodeCreateFromDataType(KDataTypeLclTranslation, "T");
    wide->CreateFCurve();
    Keys(MemberCurve(wide, 0), {{0.0, 1.0f}, {1.0, 2.0f}});
    KFCurveNode* layer = wide->CreateLayerAt(1);
    for (int k = 0; k < 5; ++k)
    {
        KFCurveNode* extra = KFCurveNodeCreate(("Q" + std::to_string(k)).c_str());
        extra->FCurveSet(KFCurveCreate());
        Keys(extra->FCurveGet(), {{0.1 * k, static_cast<float>(k)}});
        layer->Add(extra);
    }
    nodes.push_back(wide);

    KFCurveNode* quaternion = KFCurveNodeCreate("Q", static_cast<KDataType*>(nullptr), KFCL_QUAT, 0);
    const char* members[] = {"X", "Y", "Z", "W"};
    for (int k = 0; k < 4; ++k)
        quaternion->FindOrCreate(members[k], true)->FCurveGet()->SetValue(k == 3 ? 1.0f : 0.0f);
    Keys(MemberCurve(quaternion, 2), {{0.0, 0.0f}, {1.0, 0.7f}});
    MemberCurve(quaternion->CreateLayerAt(1), 3)->SetValue(1.0f);
    nodes.push_back(quaternion);

    KFCurveNode* nested = Transform(true);
    Keys(MemberCurve(nested->Get(0), 0), {{0.0, 0.0f}, {1.0, 10.0f}});
    Keys(MemberCurve(nested->Get(1), 1), {{0.0, 0.0f}, {1.0, 60.0f}});
    Keys(MemberCurve(nested->Get(0)->CreateLayerAt(1), 0), {{0.5, 100.0f}});
    nested->TimeWarpSet(warps.warps[0]);
    nodes.push_back(nested);

    KFCurveNode* quaternions = KFCurveNodeCreate("P");
    for (int count : {0, 0, 0, 0, 1, 2, 5})
    {
        const std::string name = "Q" + std::to_string(quaternions->GetCount());
        KFCurveNode* member = KFCurveNodeCreate(name.c_str(), static_cast<KDataType*>(nullptr), KFCL_QUAT, 0);
        for (int k = 0; k < count; ++k)
            member->FindOrCreate(("M" + std::to_string(k)).c_str(), true)->FCurveGet()->SetValue(0.25f * k);
        quaternions->Add(member);
    }
    quaternions->TimeWarpSet(warps.warps[2]);
    nodes.push_back(quaternions);

    KFCurveNode* mixed = KFCurveNodeCreate("T", static_cast<KDataType*>(nullptr), KFCL_ADD, 0);
    mixed->FCurveSet(KFCurveCreate());
    mixed->FCurveGet()->SetValue(7.0f);
    mixed->FindOrCreate("X", false);
    Keys(mixed->FindOrCreate("Y", true)->FCurveGet(), {{0.0, 5.0f}, {1.0, 6.0f}});
    Keys(MemberCurve(mixed->CreateLayerAt(1), 1), {{0.5, 1.0f}});
    nodes.push_back(mixed);
    return nodes;
}

bool Save(const std::string& path, const std::vector<unsigned char>& bytes, size_t size)
{
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, size, out) == size;
    return std::fclose(out) == 0 && ok;
}

// The nodes as channels of a "Takes" section of the given version.
bool WriteChannels(const std::string& path, KQox::EForm form, int sectionVersion)
{
    Warps warps;
    std::vector<KFCurveNode*> nodes = MakeNodes(warps);
    std::vector<unsigned char> image(1 << 20);
    KQox f;
    bool ok = f.ProjectCreate(image.data(), static_cast<unsigned int>(image.size()), form, KQox::eVERSION_6, "fuzz");
    f.ProjectWriteSectionBegin("Takes", sectionVersion);
    for (KFCurveNode* node : nodes)
        ok = node->QoxStore(&f, false, true, true, "Channel", true, false) && ok;
    f.ProjectWriteSectionEnd();
    ok = f.ProjectClose() && ok;
    for (KFCurveNode* node : nodes)
        node->Destroy();
    return ok && Save(path, image, static_cast<size_t>(f.ProjectGetFileSize()));
}

// A scene whose node's take is keyed and layered and plays through a warp.
bool WriteScene(const std::string& path, int format)
{
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    KQoxNode* node = manager.CreateKQoxNode("Mover");
    scene.GetRootNode()->AddChild(node);
    KQoxTakeNode* take = node->CreateTakeNode("Take 001");
    if (!take)
        return false;
    KFCurveNode* root = take->GetKFCurveNode();
    KFCurveNode* t = root->FindRecursive("T");
    KFCurveNode* r = root->FindRecursive("R");
    if (!t || !r)
        return false;
    Keys(MemberCurve(t, 0), {{0.0, 0.0f}, {1.0, 10.0f}});
    Keys(MemberCurve(r, 1), {{0.0, 0.0f}, {1.0, 90.0f}});
    Keys(MemberCurve(t->CreateLayerAt(1), 0), {{0.5, 2.0f}});
    KFCurveNode* warp = KFCurveNodeCreate("Warp");
    warp->FCurveSet(KFCurveCreate());
    Keys(warp->FCurveGet(), {{0.0, 0.0f}, {1.0, 2.0f}});
    t->TimeWarpSet(warp);
    KQoxTakeInfo info;
    info.Name = "Take 001";
    scene.SetTakeInfo(info);
    KQoxExporter exporter(manager);
    exporter.Initialize(path.c_str());
    exporter.SetFileFormat(format);
    exporter.SetPassword("fuzz");
    return exporter.Export(scene);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 1;
    const std::string dir = argv[1];
    bool ok = WriteChannels(dir + "/channels_binary.qox", KQox::eBINARY, 6000);
    ok = WriteChannels(dir + "/channels_ascii.qox", KQox::eASCII, 6000) && ok;
    ok = WriteChannels(dir + "/channels_encrypted.qox", KQox::eENCRYPTED, 6000) && ok;
    ok = WriteChannels(dir + "/channels_seconds.qox", KQox::eASCII, 2000) && ok;
    ok = WriteScene(dir + "/scene_binary.qox", eEXPORT_QOX_BINARY) && ok;
    ok = WriteScene(dir + "/scene_ascii.qox", eEXPORT_QOX_ASCII) && ok;
    ok = WriteScene(dir + "/scene5_binary.qox", eEXPORT_QOX5_BINARY) && ok;
    return ok ? 0 : 1;
}
