#ifndef QOX_FORMATS_KQOXWRITEMESH_H
#define QOX_FORMATS_KQOXWRITEMESH_H

// A triangle mesh made of a node's geometry for one write (the geometry
// writers write NURBS surfaces and patches, and on request meshes, as
// triangles). The manager holds the mesh while the write runs; this object
// destroys it again however the write ends, so that a write that fails, for
// memory or otherwise, leaves the manager holding what it held before.

namespace qoxsdk_600 {

class KQoxMesh;
class KQoxNodeAttribute;
class KQoxSdkManager;

class KQoxWriteMesh
{
public:
    // The triangulated copy of geometry (a mesh, NURBS surface or patch);
    // Get() is null for any other attribute or when the conversion gives
    // nothing. Throws std::bad_alloc, leaving nothing made, when memory runs
    // out.
    KQoxWriteMesh(KQoxSdkManager& manager, KQoxNodeAttribute* geometry);
    ~KQoxWriteMesh();
    KQoxWriteMesh(const KQoxWriteMesh&) = delete;
    KQoxWriteMesh& operator=(const KQoxWriteMesh&) = delete;

    KQoxMesh* Get() const { return mMesh; }

private:
    KQoxSdkManager& mManager;
    KQoxMesh* mMesh = nullptr;
};

} // namespace qoxsdk_600

#endif
