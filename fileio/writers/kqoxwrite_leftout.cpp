// Native writer: what a scene holds that the file does not store. Each kind
// left out is named in the writer's message, so an export never loses data
// without saying so.

#include "character/kqoxcharacter.h"
#include "fileio/writers/kqoxwriterqox6_private.h"
#include "scene/kqoxscene.h"

namespace qoxsdk_600 {

namespace {

// Links of every character that name a node or a template.
int CountCharacterLinks(KQoxScene& scene)
{
    int count = 0;
    for (int c = 0; c < scene.GetCharacterCount(); ++c)
        if (KQoxCharacter* character = scene.GetCharacter(c))
            for (int id = 0; id < kCharacterNodeIdCount; ++id)
                count += character->GetCharacterLink(static_cast<ECharacterNodeId>(id), nullptr) ? 1 : 0;
    return count;
}

} // namespace

void ReportLeftOut(KQoxScene& scene, int linksWithoutNode, KString& message)
{
    const struct
    {
        const char* mKind;
        int mCount;
    } kinds[] = {
        // Version 6 keeps skin links as clusters, which need a bone node.
        {"skin links without a linked node", linksWithoutNode},
        {"character links", CountCharacterLinks(scene)},
        {"control-set plugs", scene.GetControlSetPlugCount()},
        {"character poses", scene.GetCharacterPoseCount()},
    };
    for (const auto& kind : kinds)
    {
        if (kind.mCount == 0)
            continue;
        message += "Left out of the file, not stored yet: ";
        message += kind.mCount;
        message += " ";
        message += kind.mKind;
        message += "\n";
    }
}

} // namespace qoxsdk_600
