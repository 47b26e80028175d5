#include "scene/attributes/kqoxshape.h"

namespace qoxsdk_600 {

KQoxShape::KQoxShape(KQoxSdkManager& pManager)
    : KQoxGeometryBase(pManager)
{}

KQoxShape::~KQoxShape()
{
    UnsetEntity();
}

KQoxShape& KQoxShape::operator=(KQoxShape& pOther)
{
    KQoxLayerContainer::Copy(pOther, *mManager);
    KQoxGeometryBase::Copy(pOther);
    return *this;
}

} // namespace qoxsdk_600
