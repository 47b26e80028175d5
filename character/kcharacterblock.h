#ifndef QOX_CHARACTER_KCHARACTERBLOCK_H
#define QOX_CHARACTER_KCHARACTERBLOCK_H

// What the character-side take-node containers (characters and control-set
// plugs) do alike with their property blocks.

#include "base/kstring.h"
#include "base/kstringlist.h"

namespace qoxsdk_600 {

class KQoxPropertyHandler;
class KQoxTakeNode;
class KQoxTakeNodeContainer;

// Channels in the take node for every animatable property of the block; none
// without a block.
void CreateBlockChannels(KQoxTakeNodeContainer& owner, KQoxPropertyHandler* block, KQoxTakeNode* takeNode);

// The type flags of such a container: its type name alone.
KStringList TypeNameFlags(const KString& typeName);

} // namespace qoxsdk_600

#endif
