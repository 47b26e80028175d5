#ifndef QOX_SCENE_ATTRIBUTES_KQOXOPTICALREFERENCE_H
#define QOX_SCENE_ATTRIBUTES_KQOXOPTICALREFERENCE_H

// KQoxOpticalReference: the node attribute of the node that a motion-capture
// marker set hangs under (attribute type 10). It carries no data; its node
// supplies name, transform and animation.

#include "base/kstring.h"
#include "base/kstringlist.h"
#include "scene/kqoxnodeattribute.h"

namespace qoxsdk_600 {

class KQoxOpticalReference : public KQoxNodeAttribute
{
public:
    explicit KQoxOpticalReference(KQoxSdkManager& pManager)
        : KQoxNodeAttribute(pManager)
    {}

    EAttributeType GetAttributeType() const override { return eOPTICAL_REFERENCE; }
    // "Optical"; the flags are the list "Marker".
    KString GetTypeName() override { return KString("Optical"); }
    KStringList GetTypeFlags() override { return TypeFlags("Marker"); }
    // Copies nothing.
    KQoxOpticalReference& operator=(KQoxOpticalReference&) { return *this; }
};

} // namespace qoxsdk_600

#endif
