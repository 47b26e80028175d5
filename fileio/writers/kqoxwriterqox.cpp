#include "fileio/writers/kqoxwriterqox.h"

#include <vector>

#include "fileio/writers/kqoxwriteskin_private.h"
#include "scene/attributes/kqoxgeometry.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxlink.h"
#include "scene/kqoxsdkmanager.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

namespace {

// Shape channels carry version-5 names for the life of this object: each
// geometry's temporary names are cleared, every take is converted, and on
// the way out every take is reverted and the temporary names cleared again.
class ShapeNamesAsVersion5
{
public:
    explicit ShapeNamesAsVersion5(KQoxNode* root)
        : mGeometries(GeometriesUnder(root, true))
    {
        for (KQoxGeometry* geometry : mGeometries)
        {
            geometry->ClearTemporaryShapeNames();
            KQoxNode* node = geometry->GetNode();
            // A Default take still owed holds no shape channel.
            for (int t = 0; node && t < node->GetTakeNodeCount(); ++t)
                if (KQoxTakeNode* take = node->GetBuiltTakeNode(t))
                    geometry->ConvertShapeNamesToV5Format(take);
        }
    }
    ~ShapeNamesAsVersion5()
    {
        for (KQoxGeometry* geometry : mGeometries)
        {
            KQoxNode* node = geometry->GetNode();
            for (int t = 0; node && t < node->GetTakeNodeCount(); ++t)
                if (KQoxTakeNode* take = node->GetBuiltTakeNode(t))
                    geometry->RevertShapeNamesToV6Format(take);
            geometry->ClearTemporaryShapeNames();
        }
    }
    ShapeNamesAsVersion5(const ShapeNamesAsVersion5&) = delete;
    ShapeNamesAsVersion5& operator=(const ShapeNamesAsVersion5&) = delete;

private:
    std::vector<KQoxGeometry*> mGeometries;
};

// The materials and textures connected to a node fill its layers' direct
// arrays for the life of this object; on the way out every layer array is
// as it was.
class LayersAsVersion5
{
public:
    LayersAsVersion5(KQoxScene& scene, const std::vector<KQoxGeometry*>& geometries)
    {
        for (KQoxGeometry* geometry : geometries)
            for (int i = 0; i < geometry->GetLayerCount(); ++i)
                if (KQoxLayer* layer = geometry->GetLayer(i))
                {
                    if (KQoxLayerElementMaterial* materials = layer->GetMaterials())
                        mMaterials.push_back({materials, materials->mDirectArray, materials->mIndexArray});
                    if (KQoxLayerElementTexture* textures = layer->GetTextures())
                        mTextures.push_back({textures, textures->mDirectArray, textures->mIndexArray});
                }
        scene.BuildMaterialLayersDirectArray();
        scene.BuildTextureLayersDirectArray();
    }
    ~LayersAsVersion5()
    {
        for (Saved<KQoxMaterial*>& saved : mMaterials)
            saved.Restore();
        for (Saved<KQoxTexture*>& saved : mTextures)
            saved.Restore();
    }
    LayersAsVersion5(const LayersAsVersion5&) = delete;
    LayersAsVersion5& operator=(const LayersAsVersion5&) = delete;

private:
    template <class T>
    struct Saved
    {
        KQoxLayerElementTemplate<T>* mElement;
        KArrayTemplate<T> mDirect;
        KArrayTemplate<int> mIndex;
        void Restore()
        {
            mElement->mDirectArray = mDirect;
            mElement->mIndexArray = mIndex;
        }
    };

    std::vector<Saved<KQoxMaterial*>> mMaterials;
    std::vector<Saved<KQoxTexture*>> mTextures;
};

} // namespace

KQoxWriterQox::KQoxWriterQox(KQoxSdkManager& manager, KQox::EForm form)
    : KQoxWriterQox6(manager, form == KQox::eASCII ? KQox::eASCII : KQox::eBINARY)
{
    mFileVersion = KQox::eVERSION_5;
}

KQoxWriterQox::~KQoxWriterQox() = default;

bool KQoxWriterQox::Write(KQoxScene& scene, KStreamOptions* options)
{
    return UnlessOutOfMemory(
        [&] {
            KQoxNode* root = FindRootNode(scene);
            // Skins and clusters are written as links of their geometries.
            const std::vector<KQoxGeometry*> geometries = GeometriesUnder(root, true);
            KQoxSkinAsLinks links(scene, mManager, geometries);
            LayersAsVersion5 layers(scene, geometries);
            ShapeNamesAsVersion5 names(root);
            return WriteScene(scene, options);
        },
        [&] { AbandonFile(); });
}

bool KQoxWriterQox::WriteTakeFile(const char* fileName, KQoxScene& scene, const char* takeName)
{
    return UnlessOutOfMemory(
        [&] {
            ShapeNamesAsVersion5 names(FindRootNode(scene));
            return WriteTake(fileName, scene, takeName);
        },
        [&] { AbandonFile(); });
}

} // namespace qoxsdk_600
