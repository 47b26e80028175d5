// Native writer: what a scene holds that the file does not store. Each kind
// left out is named in the writer's message, so an export never loses data
// without saying so.

#include "fileio/writers/kqoxwriterqox6_private.h"
#include "scene/kqoxscene.h"

namespace qoxsdk_600 {

void ReportLeftOut(KQoxScene&, int linksWithoutNode, KString& message)
{
    const struct
    {
        const char* mKind;
        int mCount;
    } kinds[] = {
        // Version 6 keeps skin links as clusters, which need a bone node.
        {"skin links without a linked node", linksWithoutNode},
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
