#include "fileio/writers/kqoxwriterqox.h"

#include <vector>

#include "scene/attributes/kqoxgeometry.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxtakenode.h"

namespace qoxsdk_600 {

namespace {

// The geometries of the scene's nodes, children before their parents.
std::vector<KQoxGeometry*> GeometriesChildrenFirst(KQoxNode* root)
{
    std::vector<KQoxNode*> order;
    std::vector<KQoxNode*> pending;
    if (root)
        pending.push_back(root);
    while (!pending.empty())
    {
        KQoxNode* node = pending.back();
        pending.pop_back();
        order.push_back(node);
        for (int i = 0; i < node->GetChildCount(); ++i)
            pending.push_back(node->GetChild(i));
    }
    std::vector<KQoxGeometry*> geometries;
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (KQoxGeometry* geometry = dynamic_cast<KQoxGeometry*>((*it)->GetNodeAttribute()))
            geometries.push_back(geometry);
    return geometries;
}

// Shape channels carry version-5 names for the life of this object: each
// geometry's temporary names are cleared, every take is converted, and on
// the way out every take is reverted and the temporary names cleared again.
class ShapeNamesAsVersion5
{
public:
    explicit ShapeNamesAsVersion5(KQoxNode* root)
        : mGeometries(GeometriesChildrenFirst(root))
    {
        for (KQoxGeometry* geometry : mGeometries)
        {
            geometry->ClearTemporaryShapeNames();
            KQoxNode* node = geometry->GetNode();
            for (int t = 0; node && t < node->GetTakeNodeCount(); ++t)
                geometry->ConvertShapeNamesToV5Format(node->GetTakeNode(t));
        }
    }
    ~ShapeNamesAsVersion5()
    {
        for (KQoxGeometry* geometry : mGeometries)
        {
            KQoxNode* node = geometry->GetNode();
            for (int t = 0; node && t < node->GetTakeNodeCount(); ++t)
                geometry->RevertShapeNamesToV6Format(node->GetTakeNode(t));
            geometry->ClearTemporaryShapeNames();
        }
    }
    ShapeNamesAsVersion5(const ShapeNamesAsVersion5&) = delete;
    ShapeNamesAsVersion5& operator=(const ShapeNamesAsVersion5&) = delete;

private:
    std::vector<KQoxGeometry*> mGeometries;
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
    ShapeNamesAsVersion5 names(FindRootNode(scene));
    return KQoxWriterQox6::Write(scene, options);
}

} // namespace qoxsdk_600
