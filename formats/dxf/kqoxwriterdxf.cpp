#include "formats/dxf/kqoxwriterdxf.h"

#include <cstdio>
#include <vector>

#include "base/kpath.h"
#include "formats/dxf/kqoxdxfcolor.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/attributes/kqoxgeometryconverter.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxcolor.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

// Buffered text goes to the file in pieces of this size.
constexpr size_t kFlushSize = 1 << 20;

// The material of layer 0 for a point or polygon position: through the index
// array of an index-referenced element, else none.
KQoxMaterial* MaterialAt(KQoxMesh& mesh, const KQoxLayerElementMaterial* element, int position)
{
    if (!element || element->mReferenceMode == KQoxLayerElement::eDIRECT ||
        !element->mIndexArray.ValidateIndex(position))
        return nullptr;
    return mesh.GM(element->mIndexArray[position], 0);
}

int ColorNumber(KQoxMaterial* material)
{
    return KQoxWriterDxf::GetACIFromQOXColor(material->GetDiffuse());
}

} // namespace

KQoxWriterDxf::KQoxWriterDxf(KQoxSdkManager& manager)
    : KQoxWriter(manager)
{}

KQoxWriterDxf::~KQoxWriterDxf()
{
    KQoxWriterDxf::FileClose();
}

bool KQoxWriterDxf::FileCreate(const char* fileName)
{
    if (mFile)
        FileClose();
    mFile = fileName ? fopen(fileName, "wb") : nullptr;
    if (!mFile)
    {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    mFileName = fileName;
    mBuffer.clear();
    mWriteFailed = false;
    return true;
}

bool KQoxWriterDxf::FileClose()
{
    bool ok = true;
    if (mFile)
    {
        ok = Flush();
        ok = fclose(mFile) == 0 && ok;
        if (!ok)
            mError.SetLastErrorID(eOUT_OF_DISK_SPACE);
    }
    mFile = nullptr;
    mFileName = "";
    mBuffer.clear();
    return ok;
}

KStreamOptions* KQoxWriterDxf::GetWriteOptions()
{
    return new KStreamOptionsDxf();
}

bool KQoxWriterDxf::Flush()
{
    if (!mBuffer.empty() && mFile && fwrite(mBuffer.data(), 1, mBuffer.size(), mFile) != mBuffer.size())
        mWriteFailed = true;
    mBuffer.clear();
    if (mFile && fflush(mFile) != 0)
        mWriteFailed = true;
    return !mWriteFailed;
}

void KQoxWriterDxf::Group(const char* code, const char* value)
{
    mBuffer += code;
    mBuffer += '\n';
    mBuffer += value;
    mBuffer += '\n';
    if (mBuffer.size() >= kFlushSize)
        Flush();
}

void KQoxWriterDxf::Group(const char* code, int value)
{
    char text[32];
    snprintf(text, sizeof(text), "   %d", value);
    Group(code, text);
}

void KQoxWriterDxf::GroupReal(const char* code, double value)
{
    char text[400];
    snprintf(text, sizeof(text), "%lf", value);
    Group(code, text);
}

bool KQoxWriterDxf::Write(KQoxScene& scene, KStreamOptions* options)
{
    if (!options || !options->Is(KStreamOptionsDxf::ClassId))
    {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
        return false;
    }
    if (!mFile)
    {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    auto* dxf = static_cast<KStreamOptionsDxf*>(options);
    mForceTriangulation = dxf->GetOption(KStreamOptionsDxf::eFORCE_TRIANGULATION) == 1;
    mEvaluateDeformations = dxf->GetOption(KStreamOptionsDxf::eEVALUATE_DEFORMATIONS) == 1;
    KQoxNode* root = scene.GetRootNode();
    if (!root)
        return false;
    const int n = root->GetChildCount(false);
    const int all = root->GetChildCount(true);

    Group("999", "Tolvane Dxf writer for QOX");
    Group("  0", "SECTION");
    Group("  2", "HEADER");
    Group("  9", "$ACADVER");
    Group("  1", "AC1008");
    const char* axes[3][4] = {
        {"$UCSORG", "0.0", "0.0", "0.0"}, {"$UCSXDIR", "1.0", "0.0", "0.0"}, {"$UCSYDIR", "0.0", "1.0", "0.0"}};
    for (int i = 0; i < 3; ++i)
    {
        if (i == 2)
        {
            Group("  9", "$TILEMODE");
            Group(" 70", 1);
        }
        Group("  9", axes[i][0]);
        Group(" 10", axes[i][1]);
        Group(" 20", axes[i][2]);
        Group(" 30", axes[i][3]);
    }
    Group("  0", "ENDSEC");
    Group("  0", "SECTION");
    Group("  2", "TABLES");
    if (n > 0)
    {
        Group("  0", "TABLE");
        Group("  2", "LTYPE");
        Group(" 70", 1);
        Group("  0", "LTYPE");
        Group("  2", "CONTINUOUS");
        Group(" 70", 64);
        Group("  3", "Solid line");
        Group(" 72", 65);
        Group(" 73", 0);
        Group(" 40", "0.0");
        Group("  0", "ENDTAB");
        Group("  0", "TABLE");
        Group("  2", "LAYER");
        Group(" 70", all);
        for (int i = 0; i < n; ++i)
            WriteLayerTable(root->GetChild(i), true);
        Group("  0", "ENDTAB");
    }
    Group("  0", "ENDSEC");
    Group("  0", "SECTION");
    Group("  2", "BLOCKS");
    Group("  0", "ENDSEC");
    Group("  0", "SECTION");
    Group("  2", "ENTITIES");
    for (int i = 0; i < n; ++i)
        WritePolyfaceMesh(root->GetChild(i), true);
    Group("  0", "ENDSEC");
    Group("  0", "EOF");
    if (!Flush())
    {
        mError.SetLastErrorID(eOUT_OF_DISK_SPACE);
        return false;
    }
    return true;
}

void KQoxWriterDxf::WriteLayerTable(KQoxNode* node, bool recurse)
{
    if (!node)
        return;
    KQoxNodeAttribute* attribute = node->GetNodeAttribute();
    if (attribute)
    {
        const int type = attribute->GetAttributeType();
        if (type == KQoxNodeAttribute::eNURB || type == KQoxNodeAttribute::ePATCH ||
            (type == KQoxNodeAttribute::eMESH && mForceTriangulation))
        {
            if (KQoxGeometryConverter* converter = mManager.CreateKQoxGeometryConverter())
            {
                converter->TriangulateInPlace(node);
                mManager.DestroyKQoxGeometryConverter(converter);
            }
            attribute = node->GetNodeAttribute();
        }
        if (attribute && attribute->GetAttributeType() == KQoxNodeAttribute::eMESH)
        {
            auto* mesh = static_cast<KQoxMesh*>(attribute);
            int color = 0;
            const int count = mesh->GMC(0);
            if (count > 0)
                if (KQoxMaterial* last = mesh->GM(count - 1, 0))
                    color = ColorNumber(last);
            if (!node->GetVisibility())
                color = -color;
            Group("  0", "LAYER");
            Group("  2", node->GetNameWithoutNameSpacePrefix().ToChars());
            Group(" 70", 0);
            Group(" 62", color);
            Group("  6", "CONTINUOUS");
        }
    }
    if (recurse)
        for (int i = 0; i < node->GetChildCount(false); ++i)
            WriteLayerTable(node->GetChild(i), true);
}

void KQoxWriterDxf::WritePolyfaceMesh(KQoxNode* node, bool recurse)
{
    if (!node)
        return;
    KQoxNodeAttribute* attribute = node->GetNodeAttribute();
    if (attribute && attribute->GetAttributeType() == KQoxNodeAttribute::eMESH)
    {
        auto* mesh = static_cast<KQoxMesh*>(attribute);
        const std::string name = node->GetNameWithoutNameSpacePrefix().ToChars();
        const int pointCount = mesh->GetControlPointsCount();
        const int polygonCount = mesh->GetPolygonCount();
        const int materialCount = mesh->GMC(0);
        const int mapping = mesh->GetMaterialMappingMode();
        KQoxLayer* layer = mesh->GetLayer(0);
        const KQoxLayerElementMaterial* element = layer ? layer->GetMaterials() : nullptr;
        KQoxXMatrix global(node->GetGlobalT(eSOURCE_SET, false), node->GetGlobalR(eSOURCE_SET, false),
                           node->GetGlobalS(eSOURCE_SET, false));

        int meshColor = 0;
        if (materialCount > 0)
            if (KQoxMaterial* last = mesh->GM(materialCount - 1, 0))
                meshColor = ColorNumber(last);
        Group("  0", "POLYLINE");
        Group("  8", name.c_str());
        if (materialCount > 0)
            Group(" 62", meshColor);
        Group(" 66", 1);
        Group(" 10", "0.0");
        Group(" 20", "0.0");
        Group(" 30", "0.0");
        Group(" 70", 64);
        Group(" 71", pointCount);
        Group(" 72", polygonCount);

        // Deformation works on a copy: the scene keeps its own points.
        std::vector<KQoxVector4> points(mesh->GetControlPoints(), mesh->GetControlPoints() + pointCount);
        if (mEvaluateDeformations && pointCount > 0)
        {
            if (mesh->GetShapeCount() > 0)
                ComputeShapeDeformation(node, mesh, points.data());
            if (mesh->GetLinkCount() > 0)
                ComputeLinkDeformation(global, mesh, points.data());
        }
        for (int i = 0; i < pointCount; ++i)
        {
            const KQoxVector4 p = global.MultT(points[static_cast<size_t>(i)]);
            Group("  0", "VERTEX");
            Group("  8", name.c_str());
            if (mapping == KQoxLayerElement::eBY_CONTROL_POINT)
                if (KQoxMaterial* material = MaterialAt(*mesh, element, i))
                    Group(" 62", ColorNumber(material));
            GroupReal(" 10", p[0]);
            GroupReal(" 20", -p[2]);
            GroupReal(" 30", p[1]);
            Group(" 70", 192);
        }
        for (int i = 0; i < polygonCount; ++i)
        {
            int color = meshColor;
            if (mapping == KQoxLayerElement::eBY_POLYGON)
            {
                KQoxMaterial* material = MaterialAt(*mesh, element, i);
                color = material ? ColorNumber(material) : 0;
            }
            const int size = mesh->GetPolygonSize(i);
            // Polygons of more than four corners become a fan of triangles
            // from the first corner, each in the reversed winding.
            const int records = size > 4 ? size - 2 : 1;
            for (int r = 0; r < records; ++r)
            {
                int corners[4];
                int count = size > 4 ? 3 : size;
                if (size > 4)
                {
                    corners[0] = mesh->GetPolygonVertex(i, 0);
                    corners[1] = mesh->GetPolygonVertex(i, r + 1);
                    corners[2] = mesh->GetPolygonVertex(i, r + 2);
                }
                else
                    for (int k = 0; k < count; ++k)
                        corners[k] = mesh->GetPolygonVertex(i, k);
                Group("  0", "VERTEX");
                Group("  8", name.c_str());
                if (color > 0)
                {
                    if (r == 0)
                        Group(" 62", color);
                    else
                    {
                        char text[16];
                        snprintf(text, sizeof(text), " %d", color);
                        Group(" 62", text);
                    }
                }
                Group(" 10", "0.0");
                Group(" 20", "0.0");
                Group(" 30", "0.0");
                Group(" 70", 128);
                for (int k = 0; k < count; ++k)
                {
                    char code[8];
                    snprintf(code, sizeof(code), " %d", 71 + k);
                    Group(code, corners[count - 1 - k] + 1);
                }
            }
        }
        Group("  0", "SEQEND");
    }
    if (recurse)
        for (int i = 0; i < node->GetChildCount(false); ++i)
            WritePolyfaceMesh(node->GetChild(i), true);
}

int KQoxWriterDxf::GetACIFromQOXColor(const KQoxColor& color)
{
    return DxfColorFromRgb(color.mRed, color.mGreen, color.mBlue);
}

} // namespace qoxsdk_600
