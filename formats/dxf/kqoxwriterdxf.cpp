#include "formats/dxf/kqoxwriterdxf.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <unordered_set>
#include <vector>

#include "base/kpath.h"
#include "formats/dxf/kqoxdxfcolor.h"
#include "formats/dxf/kqoxdxfpairs.h"
#include "formats/kqoxkeptvalues.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/kqoxwholename.h"
#include "scene/attributes/kqoxgeometryconverter.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/kqoxcolor.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxnode_walk.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

// Group codes are written right-aligned in three characters.
constexpr size_t kCodeLength = 3;
// The longest integer group (code, blanks, number, line ends) and real group.
constexpr size_t kIntGroupMax = kCodeLength + 1 + 3 + 11 + 1;
constexpr size_t kRealGroupMax = kCodeLength + 1 + kDxfRealMax + 1;

char* PutText(char* at, const char* text, size_t length)
{
    std::memcpy(at, text, length);
    return at + length;
}

// The code line: three characters and the line end.
char* PutCode(char* at, const char* code)
{
    std::memcpy(at, code, kCodeLength);
    at[kCodeLength] = '\n';
    return at + kCodeLength + 1;
}

// An integer group: the value after the prefix of at most three blanks.
char* PutInt(char* at, const char* code, const char* prefix, int value)
{
    at = PutCode(at, code);
    while (*prefix)
        *at++ = *prefix++;
    at = std::to_chars(at, at + 11, value).ptr;
    *at++ = '\n';
    return at;
}

char* PutReal(char* at, const char* code, double value)
{
    at = PutCode(at, code);
    at = DxfFormatReal(at, value);
    *at++ = '\n';
    return at;
}

// The largest count, and vertex number, that the 16-bit groups of release
// AC1008 hold: a mesh with more points or face records is split.
constexpr int kDxfMaxCount = 32767;

// Characters DXF readers refuse in a layer name, and control characters,
// which would break the line structure.
bool RefusedInLayerName(unsigned char c)
{
    return c < 0x20 || c == 0x7f || std::strchr("<>/\\\":;?*|=,`", c) != nullptr;
}

bool IsValidLayerName(const std::string& name)
{
    if (name.empty())
        return false;
    for (unsigned char c : name)
        if (RefusedInLayerName(c))
            return false;
    return true;
}

// The name with each refused character replaced by '_' ("_" for none).
std::string ReplaceRefused(const std::string& name)
{
    std::string out = name.empty() ? "_" : name;
    for (char& c : out)
        if (RefusedInLayerName(static_cast<unsigned char>(c)))
            c = '_';
    return out;
}

// Layer names are told apart without regard to case.
std::string LayerKey(const std::string& name)
{
    std::string key = name;
    for (char& c : key)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return key;
}

// The nodes under root (not root itself) in pre-order, walked without
// recursion so that hierarchies of any depth are written.
std::vector<KQoxNode*> NodesUnder(KQoxNode* root)
{
    std::vector<KQoxNode*> nodes;
    KQoxWalkPreOrder(root, [&](KQoxNode* node) {
        if (node != root)
            nodes.push_back(node);
        return true;
    });
    return nodes;
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
    // A file not closed through FileClose is not complete: the target stays.
    CloseFile();
    mStaged.Abandon();
}

bool KQoxWriterDxf::FileCreate(const char* fileName)
{
    return UnlessOutOfMemory([&] { return CreateFile(fileName); },
                             [&] {
                                 CloseFile();
                                 mStaged.Abandon();
                             });
}

bool KQoxWriterDxf::CreateFile(const char* fileName)
{
    if (mFile)
        FileClose();
    mFile = mStaged.Create(fileName);
    if (!mFile)
        return StagedFailed(mStaged);
    mFileName = fileName;
    mData.resize(kBufferSize);
    mUsed = 0;
    mWriteFailed = false;
    return true;
}

bool KQoxWriterDxf::FileClose()
{
    // Out of memory before the file is put, the old one stays.
    return UnlessOutOfMemory([&] { return FinishStaged(mStaged, CloseFile()); },
                             [&] {
                                 CloseFile();
                                 mStaged.Abandon();
                             });
}

bool KQoxWriterDxf::CloseFile()
{
    bool ok = true;
    if (mFile)
    {
        ok = Flush();
        ok = fclose(mFile) == 0 && ok;
    }
    mFile = nullptr;
    mFileName = "";
    mUsed = 0;
    mData = std::vector<char>();
    return ok;
}

KStreamOptions* KQoxWriterDxf::GetWriteOptions()
{
    return new KStreamOptionsDxf();
}

bool KQoxWriterDxf::Flush()
{
    Drain();
    if (mFile && fflush(mFile) != 0)
        mWriteFailed = true;
    return !mWriteFailed;
}

void KQoxWriterDxf::Drain()
{
    if (mUsed > 0 && mFile && !mWriteFailed && fwrite(mData.data(), 1, mUsed, mFile) != mUsed)
        mWriteFailed = true;
    mUsed = 0;
}

char* KQoxWriterDxf::Room(size_t length)
{
    if (mUsed + length > mData.size())
    {
        Drain();
        if (length > mData.size())
            mData.resize(std::max(length, kBufferSize));
    }
    return mData.data() + mUsed;
}

void KQoxWriterDxf::Raw(const char* text, size_t length)
{
    char* at = Room(length);
    std::memcpy(at, text, length);
    mUsed += length;
}

void KQoxWriterDxf::Group(const char* code, const char* value)
{
    const size_t length = std::strlen(value);
    char* at = Room(kCodeLength + 1 + length + 1);
    at = PutCode(at, code);
    at = PutText(at, value, length);
    *at++ = '\n';
    mUsed = static_cast<size_t>(at - mData.data());
}

void KQoxWriterDxf::GroupText(const char* code, const char* prefix, int value)
{
    char* at = Room(kIntGroupMax);
    at = PutInt(at, code, prefix, value);
    mUsed = static_cast<size_t>(at - mData.data());
}

void KQoxWriterDxf::Group(const char* code, int value)
{
    GroupText(code, "   ", value);
}

void KQoxWriterDxf::GroupReal(const char* code, double value)
{
    char* at = Room(kRealGroupMax);
    at = PutReal(at, code, value);
    mUsed = static_cast<size_t>(at - mData.data());
}

std::string KQoxWriterDxf::LayerName(KQoxNode* node) const
{
    std::string name = KQoxWholeName(*node).ToChars();
    const auto found = mLayerNames.find(name);
    if (found != mLayerNames.end())
        return found->second;
    return IsValidLayerName(name) ? name : ReplaceRefused(name);
}

void KQoxWriterDxf::MakeLayerNames(const std::vector<KQoxNode*>& nodes)
{
    mLayerNames.clear();
    std::vector<std::string> names;
    names.reserve(nodes.size());
    for (KQoxNode* node : nodes)
        names.emplace_back(KQoxWholeName(*node).ToChars());
    // Valid names stay as they are; a changed name takes a number when it
    // would meet another layer's name.
    std::unordered_set<std::string> taken;
    for (const std::string& name : names)
        if (IsValidLayerName(name))
            taken.insert(LayerKey(name));
    for (const std::string& name : names)
    {
        if (IsValidLayerName(name) || mLayerNames.count(name))
            continue;
        const std::string base = ReplaceRefused(name);
        std::string layer = base;
        for (int number = 1; taken.count(LayerKey(layer)); ++number)
            layer = base + "_" + std::to_string(number);
        taken.insert(LayerKey(layer));
        mLayerNames.emplace(name, layer);
    }
}

bool KQoxWriterDxf::Write(KQoxScene& scene, KStreamOptions* options)
{
    // Memory running out fails the write as a full disk would: nothing of
    // it is left, the old file as it was.
    return UnlessOutOfMemory([&] { return WriteScene(scene, options); },
                             [&] {
                                 mWriteFailed = true;
                                 CloseFile();
                                 mStaged.Abandon();
                             });
}

bool KQoxWriterDxf::WriteScene(KQoxScene& scene, KStreamOptions* options)
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
    const std::vector<KQoxNode*> nodes = NodesUnder(root);
    const int all = static_cast<int>(nodes.size());
    MakeLayerNames(nodes);

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
        // The export is dropped: the target keeps its contents.
        mError.SetLastErrorID(eOUT_OF_DISK_SPACE);
        CloseFile();
        mStaged.Abandon();
        return false;
    }
    return true;
}

void KQoxWriterDxf::WriteLayerTable(KQoxNode* node, bool recurse)
{
    // The subtree in pre-order without recursion: hierarchies of any depth.
    if (recurse)
        KQoxWalkPreOrder(node, [this](KQoxNode* each) {
            WriteLayerEntry(each);
            return true;
        });
    else if (node)
        WriteLayerEntry(node);
}

void KQoxWriterDxf::WriteLayerEntry(KQoxNode* node)
{
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
            Group("  2", LayerName(node).c_str());
            Group(" 70", 0);
            Group(" 62", color);
            Group("  6", "CONTINUOUS");
        }
    }
}

// What one mesh node gives every POLYLINE written for it.
struct KQoxWriterDxf::MeshText
{
    KQoxMesh* mMesh = nullptr;
    // "  0\nVERTEX\n  8\n" and the layer name: the start of every record.
    std::string mVertexHead;
    std::string mLayer;
    // The mesh's points, or a deformed copy of them when deformations are
    // evaluated; Point turns one into world space as it is written, so the
    // points are not copied otherwise.
    const KQoxVector4* mSource = nullptr;
    int mPointCount = 0;
    std::vector<KQoxVector4> mDeformed;
    KQoxXMatrix mGlobal;
    int mMeshColor = 0;
    bool mHasMaterials = false;
    int mMapping = 0;
    const KQoxLayerElementMaterial* mElement = nullptr;
    // The colour number of each material of layer 0; 0 for none.
    std::vector<int> mMaterialColors;

    // The colour of the material that the element gives a position; 0 when
    // there is none.
    int ColorAt(int position) const
    {
        if (!mElement || mElement->mReferenceMode == KQoxLayerElement::eDIRECT ||
            !mElement->mIndexArray.ValidateIndex(position))
            return 0;
        const int index = mElement->mIndexArray[position];
        return index >= 0 && index < static_cast<int>(mMaterialColors.size()) ? mMaterialColors[index] : 0;
    }
    KQoxVector4 Point(int index) const { return KQoxMultTKept(mGlobal, mSource[index]); }
    // The face records a polygon of size corners gives: a fan of triangles
    // past 4 corners.
    static int Records(int size) { return size > 4 ? size - 2 : 1; }
};

void KQoxWriterDxf::WritePolyfaceMesh(KQoxNode* node, bool recurse)
{
    if (recurse)
        KQoxWalkPreOrder(node, [this](KQoxNode* each) {
            WritePolyfaceEntry(each);
            return true;
        });
    else if (node)
        WritePolyfaceEntry(node);
}

void KQoxWriterDxf::WritePolyfaceEntry(KQoxNode* node)
{
    KQoxNodeAttribute* attribute = node->GetNodeAttribute();
    if (attribute && attribute->GetAttributeType() == KQoxNodeAttribute::eMESH)
    {
        MeshText text;
        auto* mesh = static_cast<KQoxMesh*>(attribute);
        text.mMesh = mesh;
        text.mLayer = LayerName(node);
        text.mVertexHead = "  0\nVERTEX\n  8\n" + text.mLayer + "\n";
        const int pointCount = mesh->GetControlPointsCount();
        const int polygonCount = mesh->GetPolygonCount();
        const int materialCount = mesh->GMC(0);
        text.mHasMaterials = materialCount > 0;
        text.mMapping = mesh->GetMaterialMappingMode();
        KQoxLayer* layer = mesh->GetLayer(0);
        text.mElement = layer ? layer->GetMaterials() : nullptr;
        // Each material's colour is worked out once, not once per face.
        text.mMaterialColors.resize(static_cast<size_t>(materialCount > 0 ? materialCount : 0));
        for (int m = 0; m < materialCount; ++m)
            if (KQoxMaterial* material = mesh->GM(m, 0))
                text.mMaterialColors[static_cast<size_t>(m)] = ColorNumber(material);
        if (materialCount > 0)
            text.mMeshColor = text.mMaterialColors.back();
        // The node's whole global matrix, so that shear from non-uniform
        // scaling under rotated parents is kept.
        text.mGlobal = node->GetGlobalMatrix(eSOURCE_SET, false);
        text.mSource = mesh->GetControlPoints();
        text.mPointCount = pointCount;

        // Deformation works on a copy: the scene keeps its own points.
        if (mEvaluateDeformations && pointCount > 0 && (mesh->GetShapeCount() > 0 || mesh->GetLinkCount() > 0))
        {
            text.mDeformed.assign(mesh->GetControlPoints(), mesh->GetControlPoints() + pointCount);
            if (mesh->GetShapeCount() > 0)
                ComputeShapeDeformation(node, mesh, text.mDeformed.data());
            if (mesh->GetLinkCount() > 0)
                ComputeLinkDeformation(text.mGlobal, mesh, text.mDeformed.data());
            text.mSource = text.mDeformed.data();
        }

        long long records = 0;
        for (int p = 0; p < polygonCount; ++p)
            records += MeshText::Records(mesh->GetPolygonSize(p));
        const std::vector<int> none;
        if (pointCount <= kDxfMaxCount && records <= kDxfMaxCount)
            WritePolyface(text, 0, polygonCount, none, none);
        else
        {
            // Too many for the 16-bit counts and indices of this release:
            // runs of polygons, each a POLYLINE with the points it uses.
            std::vector<int> local(static_cast<size_t>(pointCount), -1);
            std::vector<int> points;
            std::vector<char> used(static_cast<size_t>(pointCount), 0);
            int first = 0;
            int runRecords = 0;
            auto flush = [&](int end) {
                if (end > first || !points.empty())
                    WritePolyface(text, first, end, points, local);
                for (int point : points)
                    local[static_cast<size_t>(point)] = -1;
                points.clear();
                first = end;
                runRecords = 0;
            };
            const int* corners = mesh->GetPolygonVertices();
            const int cornerCount = mesh->GetPolygonVertexCount();
            for (int p = 0; p < polygonCount; ++p)
            {
                const int start = mesh->GetPolygonVertexIndex(p);
                const int size = mesh->GetPolygonSize(p);
                const bool valid = start >= 0 && size >= 0 && size <= cornerCount - start;
                int fresh = 0;
                for (int c = 0; valid && c < size; ++c)
                {
                    const int v = corners[start + c];
                    if (v >= 0 && v < pointCount && local[static_cast<size_t>(v)] < 0)
                        ++fresh; // a repeated new corner is counted twice: harmless
                }
                const int polygonRecords = MeshText::Records(size);
                if (static_cast<int>(points.size()) + fresh > kDxfMaxCount ||
                    runRecords + polygonRecords > kDxfMaxCount)
                    flush(p);
                for (int c = 0; valid && c < size; ++c)
                {
                    const int v = corners[start + c];
                    if (v >= 0 && v < pointCount && local[static_cast<size_t>(v)] < 0)
                    {
                        local[static_cast<size_t>(v)] = static_cast<int>(points.size());
                        points.push_back(v);
                        used[static_cast<size_t>(v)] = 1;
                    }
                }
                runRecords += polygonRecords;
            }
            // Points no polygon uses go last, so that none is lost.
            for (int v = 0; v < pointCount; ++v)
            {
                if (used[static_cast<size_t>(v)])
                    continue;
                if (static_cast<int>(points.size()) >= kDxfMaxCount)
                    flush(polygonCount);
                local[static_cast<size_t>(v)] = static_cast<int>(points.size());
                points.push_back(v);
            }
            flush(polygonCount);
        }
    }
}

void KQoxWriterDxf::WritePolyface(const MeshText& text, int first, int end, const std::vector<int>& points,
                                  const std::vector<int>& local)
{
    KQoxMesh* mesh = text.mMesh;
    const bool whole = local.empty();
    const int pointCount = whole ? text.mPointCount : static_cast<int>(points.size());
    Group("  0", "POLYLINE");
    Group("  8", text.mLayer.c_str());
    if (text.mHasMaterials)
        Group(" 62", text.mMeshColor);
    Group(" 66", 1);
    Group(" 10", "0.0");
    Group(" 20", "0.0");
    Group(" 30", "0.0");
    Group(" 70", 64);
    Group(" 71", pointCount);
    Group(" 72", end - first);

    const size_t head = text.mVertexHead.size();
    for (int i = 0; i < pointCount; ++i)
    {
        const int point = whole ? i : points[static_cast<size_t>(i)];
        const KQoxVector4 p = text.Point(point);
        // The whole record in one step: head, colour, X, -Z, Y, flags.
        char* at = Room(head + kIntGroupMax + 3 * kRealGroupMax + 11);
        at = PutText(at, text.mVertexHead.data(), head);
        if (text.mMapping == KQoxLayerElement::eBY_CONTROL_POINT)
            if (const int color = text.ColorAt(point))
                at = PutInt(at, " 62", "   ", color);
        at = PutReal(at, " 10", p[0]);
        at = PutReal(at, " 20", -p[2]);
        at = PutReal(at, " 30", p[1]);
        at = PutText(at, " 70\n   192\n", 11);
        mUsed = static_cast<size_t>(at - mData.data());
    }

    static const char kFaceTail[] = " 10\n0.0\n 20\n0.0\n 30\n0.0\n 70\n   128\n";
    static const char* const kCornerCodes[4] = {" 71", " 72", " 73", " 74"};
    const int* corners = mesh->GetPolygonVertices();
    const int cornerCount = mesh->GetPolygonVertexCount();
    for (int i = first; i < end; ++i)
    {
        int color = text.mMeshColor;
        if (text.mMapping == KQoxLayerElement::eBY_POLYGON)
            color = text.ColorAt(i);
        const int start = mesh->GetPolygonVertexIndex(i);
        const int size = mesh->GetPolygonSize(i);
        const bool valid = start >= 0 && size >= 0 && size <= cornerCount - start;
        auto corner = [&](int k) {
            if (!valid || k >= size)
                return -1;
            const int v = corners[start + k];
            if (whole)
                return v;
            return v >= 0 && v < static_cast<int>(local.size()) ? local[static_cast<size_t>(v)] : -1;
        };
        // Polygons of more than four corners become a fan of triangles
        // from the first corner, each in the reversed winding.
        const int records = size > 4 ? size - 2 : 1;
        for (int r = 0; r < records; ++r)
        {
            int picked[4];
            const int count = size > 4 ? 3 : size;
            if (size > 4)
            {
                picked[0] = corner(0);
                picked[1] = corner(r + 1);
                picked[2] = corner(r + 2);
            }
            else
                for (int k = 0; k < count; ++k)
                    picked[k] = corner(k);
            char* at = Room(head + kIntGroupMax + sizeof(kFaceTail) + 4 * kIntGroupMax);
            at = PutText(at, text.mVertexHead.data(), head);
            if (color > 0)
                at = PutInt(at, " 62", r == 0 ? "   " : " ", color);
            at = PutText(at, kFaceTail, sizeof(kFaceTail) - 1);
            for (int k = 0; k < count; ++k)
                at = PutInt(at, kCornerCodes[k], "   ", picked[count - 1 - k] + 1);
            mUsed = static_cast<size_t>(at - mData.data());
        }
    }
    Group("  0", "SEQEND");
}

int KQoxWriterDxf::GetACIFromQOXColor(const KQoxColor& color)
{
    return DxfColorFromRgb(color.mRed, color.mGreen, color.mBlue);
}

} // namespace qoxsdk_600
