// A scene with several takes, channels keyed in upper animation layers and a
// character, built with the SDK for the sweeps of reads; and a listing of
// what a read gives (node names, every key of every curve, layers included,
// the characters and their links, every file name), to compare a read that
// ran short of memory with one that had plenty.
#ifndef QOX_TESTS_MEMORY_READ_TEST_UTIL_H
#define QOX_TESTS_MEMORY_READ_TEST_UTIL_H

#include <algorithm>
#include <cstdio>
#include <string>

#include "character/kqoxcharacter.h"
#include "fcurve/kfcurve.h"
#include "fcurve/kfcurvenode.h"
#include "scene/attributes/kqoxcamera.h"
#include "scene/attributes/kqoxlight.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxtakenode.h"

namespace qoxtest {

// Keys a curve at 0, 1, 2 s with the values from first, first + step, ...
inline void KeyCurve(KFCurve* curve, float first, float step)
{
    if (!curve)
        return;
    curve->KeyModifyBegin();
    for (int k = 0; k < 3; ++k)
    {
        const KTime time(static_cast<long long>(k) * 46186158000LL);
        curve->KeySet(curve->KeyAdd(time), time, first + step * static_cast<float>(k), KFCURVE_INTERPOLATION_LINEAR,
                      0u);
    }
    curve->KeyModifyEnd();
}

// Nodes "Hips" > "Spine" and "Arm"; takes "Walk", "Run" and "Jump" keying
// every member of T; in "Walk" and "Run" T and R also keyed in layers 1 and
// 2; the character "Hero" linking Hips and Spine.
inline void BuildLayeredScene(qoxsdk_600::KQoxSdkManager& manager, qoxsdk_600::KQoxScene& scene)
{
    using namespace qoxsdk_600;
    KQoxNode* hips = manager.CreateKQoxNode("Hips");
    KQoxNode* spine = manager.CreateKQoxNode("Spine");
    KQoxNode* arm = manager.CreateKQoxNode("Arm");
    scene.GetRootNode()->AddChild(hips);
    hips->AddChild(spine);
    scene.GetRootNode()->AddChild(arm);
    const char* takes[] = {"Walk", "Run", "Jump"};
    float seed = 1;
    for (KQoxNode* node : {hips, spine, arm})
        for (int t = 0; t < 3; ++t)
        {
            KQoxTakeNode* take = node->CreateTakeNode(takes[t]);
            KFCurveNode* root = take->GetKFCurveNode();
            for (const char* channel : {"T", "R"})
            {
                KFCurveNode* base = root->FindRecursive(channel);
                for (int m = 0; m < 3; ++m)
                    KeyCurve(base->Get(m)->FCurveGet(), seed += 1, 0.5f);
                for (int layer = 1; t < 2 && layer <= 2; ++layer)
                    if (KFCurveNode* upper = base->CreateLayerAt(layer))
                        for (int m = 0; m < 3; ++m)
                            KeyCurve(upper->Get(m)->FCurveGet(), seed += 1, -0.25f * static_cast<float>(layer));
            }
        }
    scene.SetCurrentTake("Run");
    KQoxCharacter* hero = scene.GetCharacter(scene.CreateCharacter("Hero"));
    KQoxCharacterLink link;
    link.mNode = hips;
    link.mOffsetT = KQoxVector4(1, 2, 3, 1);
    hero->SetCharacterLink(eCharacterHips, link);
    link.mNode = spine;
    link.mTemplateName = "Back";
    hero->SetCharacterLink(eCharacterSpine, link);
}

inline void ListCurveNode(std::string& out, KFCurveNode* node, int depth)
{
    char line[128];
    out.append(static_cast<size_t>(depth) * 2, ' ');
    out += node->GetName();
    std::snprintf(line, sizeof line, " layer %d", node->GetLayerID());
    out += line;
    if (KFCurve* curve = node->FCurveGet())
        for (int k = 0; k < curve->KeyGetCount(); ++k)
        {
            std::snprintf(line, sizeof line, " %lld:%.9g", curve->KeyGetTime(k).Get(),
                          static_cast<double>(curve->KeyGetValue(k)));
            out += line;
        }
    out += "\n";
    for (int i = 0; i < node->GetCount(); ++i)
        ListCurveNode(out, node->Get(i), depth + 1);
    if (KFCurveNode* upper = node->LayerGet())
        ListCurveNode(out, upper, depth);
}

inline void ListNode(std::string& out, qoxsdk_600::KQoxNode* node, int depth)
{
    out.append(static_cast<size_t>(depth) * 2, ' ');
    out += std::string("node ") + node->GetName() + "\n";
    for (int t = 0; t < node->GetTakeNodeCount(); ++t)
    {
        qoxsdk_600::KQoxTakeNode* take = node->GetTakeNode(t);
        out += std::string("take ") + node->GetTakeNodeName(t) + "\n";
        if (KFCurveNode* root = take ? take->GetKFCurveNode() : nullptr)
            ListCurveNode(out, root, depth + 1);
    }
    for (int i = 0; i < node->GetChildCount(); ++i)
        ListNode(out, node->GetChild(i), depth + 1);
}

// What the comparison of two reads looks at.
inline std::string ListRead(qoxsdk_600::KQoxScene& scene)
{
    using namespace qoxsdk_600;
    std::string out = std::string("current take ") + scene.GetCurrentTakeName() + "\n";
    ListNode(out, scene.GetRootNode(), 0);
    for (int c = 0; c < scene.GetCharacterCount(); ++c)
    {
        KQoxCharacter* character = scene.GetCharacter(c);
        out += std::string("character ") + character->GetName() + "\n";
        for (int id = 0; id < eCharacterLastNodeId; ++id)
        {
            KQoxCharacterLink link;
            if (character->GetCharacterLink(static_cast<ECharacterNodeId>(id), &link))
                out += "  link " + std::to_string(id) + " " + (link.mNode ? link.mNode->GetName() : "-") + " " +
                       link.mTemplateName.ToChars() + "\n";
        }
    }
    return out;
}

// Each texture of the manager with the file and relative name it gives.
inline std::string ListTextures(qoxsdk_600::KQoxSdkManager& manager)
{
    std::string out;
    for (int t = 0; t < manager.GetKQoxTextureCount(); ++t)
    {
        qoxsdk_600::KQoxTexture* texture = manager.GetKQoxTexture(t);
        out += std::string("texture ") + texture->GetName() + " " + texture->GetFileName() + " " +
               texture->GetRelativeFileName() + "\n";
    }
    return out;
}

// Every name of a file a read gives besides the textures' own: each
// texture's media name, each clip's name and file names, each light's gobo
// and each camera's background.
inline std::string ListFileNames(qoxsdk_600::KQoxSdkManager& manager)
{
    using namespace qoxsdk_600;
    auto text = [](const char* name) { return std::string(name ? name : "-"); };
    std::string out;
    for (int t = 0; t < manager.GetKQoxTextureCount(); ++t)
        out += "media " + text(manager.GetKQoxTexture(t)->GetMediaName()) + "\n";
    for (int v = 0; v < manager.GetKQoxVideoCount(); ++v)
    {
        KQoxVideo* clip = manager.GetKQoxVideo(v);
        out += "clip " + text(clip->GetName()) + " " + text(clip->GetFileName()) + " " +
               text(clip->GetRelativeFileName()) + "\n";
    }
    for (int n = 0; n < manager.GetKQoxNodeCount(); ++n)
    {
        KQoxNode* node = manager.GetKQoxNode(n);
        if (KQoxLight* light = node->GetLight())
            out += "gobo " + text(light->GetFileName()) + "\n";
        if (KQoxCamera* camera = node->GetCamera())
            out += "background " + text(camera->GetBackgroundMediaName()) + " " +
                   text(camera->GetBackgroundFileName()) + "\n";
    }
    return out;
}

// The first line where two listings part, for a failure's text.
inline std::string FirstDifference(const std::string& expected, const std::string& actual)
{
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at])
        ++at;
    const size_t line = expected.rfind('\n', at == 0 ? 0 : at - 1);
    // From the line's start, or from a little before where they part on a
    // long line.
    const size_t from = std::max(line == std::string::npos ? 0 : line + 1, at > 40 ? at - 40 : 0);
    return "expected \"" + expected.substr(from, 80) + "\", read \"" + actual.substr(from, 80) + "\"";
}

// A mesh of one triangle, (0 0 0) (1 0 0) (0 1 0), with nothing on it.
inline qoxsdk_600::KQoxMesh* MakeTriangle(qoxsdk_600::KQoxSdkManager& manager)
{
    using namespace qoxsdk_600;
    KQoxMesh* mesh = manager.CreateKQoxMesh();
    mesh->InitControlPoints(3);
    mesh->GetControlPoints()[1] = KQoxVector4(1, 0, 0);
    mesh->GetControlPoints()[2] = KQoxVector4(0, 1, 0);
    mesh->BeginPolygon();
    for (int i = 0; i < 3; ++i)
        mesh->AddPolygon(i);
    mesh->EndPolygon();
    return mesh;
}

} // namespace qoxtest

#endif
