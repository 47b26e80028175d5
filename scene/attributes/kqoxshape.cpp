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
    if (&pOther == this)
        return *this;
    // The entity counts what the layers hold: leave it while they change.
    KQoxEntity* entity = mEntity;
    UnsetEntity();
    KQoxLayerContainer::Copy(pOther, *mManager);
    KQoxGeometryBase::Copy(pOther);
    SetEntity(entity);
    return *this;
}

} // namespace qoxsdk_600
