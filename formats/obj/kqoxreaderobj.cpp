#include "formats/obj/kqoxreaderobj.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/kfilecause.h"
#include "base/kpath.h"
#include "base/ktextfile.h"
#include "scene/kqoxscene.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "scene/kqoxwholename.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxnurb.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

namespace {

// The scan of "%20s": a word of at most 20 characters.
std::string_view FirstWord(std::string_view text, size_t limit = std::string_view::npos)
{
    const char* p = text.data();
    std::string_view word;
    if (!ObjScanWord(p, p + text.size(), word))
        return std::string_view();
    return word.substr(0, limit);
}

int FoldAscii(int c)
{
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

// The cause of a file refused as no OBJ file.
const char kNotObjCause[] = "not an OBJ file";

// Every statement keyword of the OBJ format.
constexpr const char* kObjKeywords[] = {
    "v",        "vt",       "vn",  "vp",     "cstype", "deg",        "bmat",      "step",   "p",
    "l",        "f",        "fo",  "curv",   "curv2",  "surf",       "parm",      "trim",   "hole",
    "scrv",     "sp",       "end", "con",    "g",      "s",          "mg",        "o",      "bevel",
    "c_interp", "d_interp", "lod", "usemtl", "mtllib", "shadow_obj", "trace_obj", "ctech",  "stech",
    "bsp",      "bzp",      "cdc", "cdp",    "res",    "call",       "csh",       "maplib", "usemap"};

bool ObjBlank(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The first bytes of a file may begin an OBJ file: text (no NUL) whose first
// statement, past blank lines and comments, starts with an OBJ keyword. A
// head of comments only, or an empty file, may.
bool MayBeObj(const unsigned char* head, size_t length)
{
    if (std::memchr(head, 0, length))
        return false;
    const unsigned char* p = head;
    const unsigned char* const end = head + length;
    // A UTF-8 byte order mark is no statement.
    p += KByteOrderMarkLength(p, length);
    while (true)
    {
        while (p < end && ObjBlank(*p))
            ++p;
        if (p == end)
            return true;
        if (*p != '#')
            break;
        p = static_cast<const unsigned char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        if (!p)
            return true;
    }
    const unsigned char* word = p;
    while (p < end && !ObjBlank(*p))
        ++p;
    // A keyword cut by the end of a full block is not judged.
    if (p == end && length == KQoxReader::kHEAD_BYTES)
        return true;
    const std::string_view keyword(reinterpret_cast<const char*>(word), static_cast<size_t>(p - word));
    return std::find(std::begin(kObjKeywords), std::end(kObjKeywords), keyword) != std::end(kObjKeywords);
}

} // namespace

bool KObjNameLess::operator()(const std::string& a, const std::string& b) const
{
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i)
    {
        // ASCII letters only, as in the C locale: the order of the names
        // must not change with the user's locale.
        const int x = FoldAscii(static_cast<unsigned char>(a[i]));
        const int y = FoldAscii(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

size_t KObjNameHash::operator()(const std::string& name) const
{
    uint64_t hash = 1469598103934665603ULL;
    for (const char c : name)
        hash = (hash ^ static_cast<uint64_t>(FoldAscii(static_cast<unsigned char>(c)))) * 1099511628211ULL;
    return static_cast<size_t>(hash);
}

bool KObjNameEqual::operator()(const std::string& a, const std::string& b) const
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] &&
            FoldAscii(static_cast<unsigned char>(a[i])) != FoldAscii(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

void KQoxReaderObj::FileCloser::operator()(FILE* file) const
{
    if (file)
        fclose(file);
}

KQoxReaderObj::KQoxReaderObj(KQoxSdkManager& manager)
    : KQoxReader(manager)
{}

KQoxReaderObj::~KQoxReaderObj()
{
    FileClose();
}

bool KQoxReaderObj::FileOpen(const char* fileName)
{
    return OpenReadFile(fileName, mFile, mFileName, &MayBeObj, kNotObjCause);
}

bool KQoxReaderObj::FileClose()
{
    return CloseReadFile(mFile, mFileName);
}

KStreamOptions* KQoxReaderObj::GetReadOptions(bool)
{
    return new KStreamOptionsObj();
}

bool KQoxReaderObj::Read(KQoxScene& scene, KStreamOptions* options)
{
    if (!options || !options->Is(KStreamOptionsObj::ClassId))
    {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
        return false;
    }
    if (!mFile)
    {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    mCreateReferenceNode = static_cast<KStreamOptionsObj*>(options)->GetOption(1) == 1;
    if (!scene.GetRootNode())
        return false;
    ResetReadState();
    mFileBytes = FileBytes();
    mBlock = ParallelBlockFor(mFileBytes);
    rewind(mFile);
    const bool read = UnlessOutOfMemory([&] {
        // Large blocks, so that long runs of statements can be read in
        // parallel; the blocks go before the meshes are built.
        KObjStatementReader in(mFile, true, mThreads > 1 ? mBlock : 0);
        in.SetReadAhead(mThreads > 1);
        const bool whole = ReadStatements(scene, in);
        // A file that could not be read whole (a read error, or pages lost
        // to another program cutting it short) is damage the caller is told of.
        if (in.OutOfMemory())
            ObjOutOfMemory();
        if (!whole && in.ReadFailed())
            mError.SetLastErrorID(eFILE_CORRUPTED);
        if (whole && !CoverVertexColors())
            ObjOutOfMemory();
        return whole;
    });
    mFacePortions.clear();
    mPortionColors.clear();
    CloseMtlLibrary();
    ClearNumberingChains();
    mNumbering = nullptr;
    if (!read || !UnlessOutOfMemory([&] {
            ReportFacesOutOfRange();
            ReportColorsClamped();
            ReportMapsLeftOut();
            ReportMapOptionsLeftOut();
            // A message cut short for want of memory would not name what
            // the read left out.
            if (!mMessage.IsOK())
                ObjOutOfMemory();
            return LoadScene(scene);
        }))
    {
        AbandonBuild();
        return false;
    }
    return true;
}

void KQoxReaderObj::ReportFacesOutOfRange()
{
    size_t dropped = 0;
    for (const auto& group : mGroups)
        dropped += group.second->mFacesOutOfRange;
    if (dropped == 0)
        return;
    mMessage += "Left out of the scene: ";
    mMessage += std::to_string(dropped).c_str();
    mMessage += " faces with fewer than three vertex references in range\n";
}

void KQoxReaderObj::ReportColorsClamped()
{
    if (mColorValuesClamped == 0)
        return;
    mMessage += "Clamped to 0 to 1: ";
    mMessage += std::to_string(mColorValuesClamped).c_str();
    mMessage += mColorValuesClamped == 1 ? " vertex colour value\n" : " vertex colour values\n";
}

void KQoxReaderObj::AbandonBuild()
{
    mBuildingLastMesh = false;
    DeleteObjMeshes();
    if (mPagesDropped)
    {
        // Partly given back: not to be read any more.
        mVertices.release();
        mTextureVertices.release();
        mNormals.release();
        mPagesDropped = false;
    }
}

void KQoxReaderObj::ResetReadState()
{
    mState = ReadState();
    mNoVertexRunBefore = mNoFaceRunBefore = 0;
    mNumbering = nullptr;
    mPagesDropped = false;
    mChainHeads.clear();
    // A read that failed may have left its lists; every read may have left
    // its materials, which the manager may have destroyed since.
    DeleteObjMeshes();
    mVertices.release();
    mTextureVertices.release();
    mNormals.release();
    mVertexColors.release();
    mColorValuesClamped = 0;
    std::fill(std::begin(mMapOptionsLeftOut), std::end(mMapOptionsLeftOut), 0);
    mMapsLeftOut.clear();
    mParameterVertices.clear();
    mMaterials.clear();
    mNameNumbers.clear();
    mNamesNumbered.clear();
    mNameUses.clear();
    mDefaultMaterial = nullptr;
    mNormalsSeen = mMaterialLibrarySeen = mTexturedMaterialUsed = mTextureVerticesSeen = false;
}

size_t KQoxReaderObj::FileBytes() const
{
    if (std::fseek(mFile, 0, SEEK_END) != 0)
        return 0; // not seekable
    const long size = std::ftell(mFile);
    return size < 0 ? 0 : static_cast<size_t>(size);
}

size_t KQoxReaderObj::ParallelBlockFor(size_t fileBytes)
{
    if (fileBytes == 0)
        return kParallelBlock;
    return std::min(std::max(fileBytes / 48, kParallelBlockLeast), kParallelBlock);
}

bool KQoxReaderObj::ReadStatements(KQoxScene& scene, KObjStatementReader& in)
{
    std::string_view keyword, rest;
    bool more = in.Next(keyword, rest);
    while (more)
    {
        if (keyword.empty() || keyword[0] == '#' || keyword == "mg" || keyword == "o" || keyword == "bmat")
        {
            more = in.Next(keyword, rest);
        }
        else if (keyword == "mtllib")
        {
            mMaterialLibrarySeen = true;
            // A library that could not be opened for want of a descriptor
            // fails the read: its materials would read as defaults.
            const LibrariesOpened opened = OpenLibrary(rest);
            if (opened == eLIBRARY_NO_DESCRIPTOR)
                return false;
            if (opened == eLIBRARY_MISSING)
                mMessage += "Unable to load material library\n";
            more = in.Next(keyword, rest);
        }
        else if (keyword == "usemtl")
        {
            UseMaterial(rest);
            more = in.Next(keyword, rest);
        }
        else if (keyword == "g")
        {
            SetGroup(rest);
            more = in.Next(keyword, rest);
        }
        else if (keyword == "s")
        {
            SetSmoothingGroup(rest);
            more = in.Next(keyword, rest);
        }
        else if (keyword == "v" || keyword == "vn" || keyword == "vt" || keyword == "vp")
        {
            // Consecutive statements of one kind are read in one run; the
            // kind is told by the keyword's length and last letter.
            const size_t length = keyword.size();
            const char last = keyword[length - 1];
            bool (KQoxReaderObj::*read)(std::string_view) = length == 1   ? &KQoxReaderObj::ReadPosition
                                                            : last == 'n' ? &KQoxReaderObj::ReadNormal
                                                            : last == 't' ? &KQoxReaderObj::ReadTextureVertex
                                                                          : &KQoxReaderObj::ReadParameterVertex;
            do
            {
                if (!(this->*read)(rest))
                    return false;
                if (last != 'p' && !(mThreads > 1 ? ReadVertexRuns(in) : ReadVertexLines(in)))
                    return false;
                more = in.Next(keyword, rest);
            } while (more && keyword.size() == length && keyword[0] == 'v' && keyword[length - 1] == last);
        }
        else if (keyword == "f")
        {
            if (!mState.mMesh)
            {
                auto found = mGroups.find(mState.mGroupName);
                if (found == mGroups.end())
                    found = mGroups.emplace(mState.mGroupName, std::make_unique<KObjMesh>()).first;
                mState.mMesh = found->second.get();
            }
            KObjMesh& mesh = *mState.mMesh;
            // Numbered corners belong to the mesh's one face list, numbered
            // while it is the mesh being read: a second list, or faces again
            // after another mesh's, stop its numbering. A mesh's first faces
            // start it; the mesh numbered before keeps its numbers.
            if (mesh.mNumbered && (&mesh != mNumbering || !mesh.mFaceLists.count(mState.mSmoothingGroup)) &&
                !StopNumbering(mesh))
                return false;
            KObjMesh::FaceList& list = mesh.mFaceLists[mState.mSmoothingGroup];
            if (&mesh != mNumbering && mesh.mFaceCount == 0 && mesh.mFaceLists.size() == 1)
                StartNumbering(mesh);
            auto readRun = [&] { return mThreads > 1 ? ReadFaceRuns(in, mesh, list) : ReadFaceLines(in, mesh, list); };
            do
            {
                // The statement goes back to the run's reading, which takes
                // lines of the plain form where they lie. One it does not
                // take (joined from continued lines, or a last line without
                // its break) is read here.
                bool taken = false;
                if (in.Unread())
                {
                    const size_t start = in.Position();
                    if (!readRun())
                        ObjOutOfMemory();
                    taken = in.Position() != start;
                    if (!taken && !in.Next(keyword, rest)) // the same statement again
                    {
                        more = false;
                        break;
                    }
                }
                const size_t first = list.mCorners.size();
                if (!taken && (!ReadFace(mesh, list, rest) ||
                               (mesh.mNumbered && !NumberNewCorners(mesh, list, first)) || !readRun()))
                    ObjOutOfMemory();
                more = in.Next(keyword, rest);
            } while (more && keyword == "f");
        }
        else if (keyword == "cstype")
        {
            SetCurveType(rest);
            more = in.Next(keyword, rest);
        }
        else if (keyword == "deg" || keyword == "step")
        {
            const char* p = rest.data();
            const char* end = p + rest.size();
            int& first = keyword == "deg" ? mState.mDegreeU : mState.mStepU;
            int& second = keyword == "deg" ? mState.mDegreeV : mState.mStepV;
            if (ObjScanInt(p, end, first))
                ObjScanInt(p, end, second);
            more = in.Next(keyword, rest);
        }
        else if (keyword == "curv" || keyword == "curv2")
        {
            do
            {
                more = in.Next(keyword, rest);
            } while (more && keyword != "end");
            if (more)
                more = in.Next(keyword, rest);
        }
        else if (keyword == "surf")
        {
            if (mState.mCurveType == KObjSurf::eNONE)
                return false;
            std::string_view next;
            if (!ReadSurface(scene, in, rest, keyword, next, more))
                return false;
            rest = next;
        }
        else
        {
            mMessage += "Object not supported : ";
            mMessage += KMessageText(keyword);
            mMessage += "\n";
            more = in.Next(keyword, rest);
        }
    }
    return !in.ReadFailed();
}

bool KQoxReaderObj::ParsePosition(std::string_view rest, KQoxVector4& position, KQoxVector4& color, bool& colored)
{
    double values[7];
    const int n = ObjScanDoubles(rest, values, 7);
    if (n < 3)
        return false;
    // Six numbers or seven: the point and its colour, w 1; fewer: the point
    // with its w.
    colored = n >= 6;
    if (!colored)
    {
        position = PlainPosition(values, n);
        return true;
    }
    position = KQoxVector4(values[0], values[1], values[2], 1.0);
    color = KQoxVector4(values[3], values[4], values[5], n > 6 ? values[6] : 1.0);
    return true;
}

bool KQoxReaderObj::SetVertexColor(size_t vertex, const KQoxVector4& color)
{
    const size_t had = mVertexColors.size();
    if (vertex >= had)
    {
        if (!mVertexColors.extend(vertex + 1 - had))
            return false;
        std::fill(mVertexColors.begin() + had, mVertexColors.end(), KQoxVector4(1.0, 1.0, 1.0, 1.0));
    }
    mVertexColors[vertex] = color;
    for (int k = 0; k < 4; ++k)
        mColorValuesClamped += color[k] < 0.0 || color[k] > 1.0;
    return true;
}

bool KQoxReaderObj::CoverVertexColors()
{
    return mVertexColors.empty() || mVertexColors.size() >= mVertices.size() ||
           SetVertexColor(mVertices.size() - 1, KQoxVector4(1.0, 1.0, 1.0, 1.0));
}

bool KQoxReaderObj::ParseNormal(std::string_view rest, KQoxVector4& normal)
{
    double values[3];
    if (ObjScanDoubles(rest, values, 3) < 3)
        return false;
    normal = PlainNormal(values);
    return true;
}

bool KQoxReaderObj::ParseTextureVertex(std::string_view rest, KQoxVector2& textureVertex)
{
    double values[3];
    const int n = ObjScanDoubles(rest, values, 3);
    if (n < 1)
        return false;
    textureVertex = PlainTextureVertex(values, n);
    return true;
}

bool KQoxReaderObj::ReadPosition(std::string_view rest)
{
    KQoxVector4 position, color;
    bool colored = false;
    if (!ParsePosition(rest, position, color, colored))
        return false;
    if (!mVertices.push_back(position) || (colored && !SetVertexColor(mVertices.size() - 1, color)))
        ObjOutOfMemory();
    return true;
}

bool KQoxReaderObj::ReadNormal(std::string_view rest)
{
    mNormalsSeen = true;
    KQoxVector4 normal;
    if (!ParseNormal(rest, normal))
        return false;
    if (!mNormals.push_back(normal))
        ObjOutOfMemory();
    return true;
}

bool KQoxReaderObj::ReadTextureVertex(std::string_view rest)
{
    mTextureVerticesSeen = true;
    KQoxVector2 textureVertex;
    if (!ParseTextureVertex(rest, textureVertex))
        return false;
    if (!mTextureVertices.push_back(textureVertex))
        ObjOutOfMemory();
    return true;
}

bool KQoxReaderObj::ReadParameterVertex(std::string_view rest)
{
    double values[3];
    const int n = ObjScanDoubles(rest, values, 3);
    if (n < 1)
        return false;
    mParameterVertices.push_back(KQoxVector4(values[0], n > 1 ? values[1] : 0.0, n > 2 ? values[2] : 1.0, 0.0));
    return true;
}

bool KQoxReaderObj::ReadSurface(KQoxScene& scene, KObjStatementReader& in, std::string_view rest,
                                std::string_view& keyword, std::string_view& next, bool& more)
{
    KObjSurf surf(mState.mCurveType, mState.mRational, mState.mDegreeU, mState.mDegreeV, mState.mMaterial,
                  mState.mTexture);
    ParseObjSurf(surf, rest);
    std::string_view line;
    more = in.Next(keyword, line);
    while (more && keyword != "end")
    {
        if (keyword == "parm")
            surf.ReadParm(std::string(line).c_str());
        more = in.Next(keyword, line);
    }
    if (more)
    {
        if (KQoxNurb* nurb = CreateQoxGeometryFromObjSurf(surf))
            AddNode(scene.GetRootNode(), nurb, mState.mGroupName);
        more = in.Next(keyword, line);
    }
    next = line;
    return true;
}

void KQoxReaderObj::AddNode(KQoxNode* parent, KQoxNodeAttribute* attribute, const std::string& groupName)
{
    KQoxNode* node = nullptr;
    try
    {
        node = KQoxMakeNamedNode(mManager, groupName.c_str(), &mNodeRenaming);
    }
    catch (const std::bad_alloc&)
    {
        mManager.DestroyKQoxNodeAttribute(attribute);
        throw;
    }
    node->SetNodeAttribute(attribute);
    parent->AddChild(node);
}

void KQoxReaderObj::SetGroup(std::string_view rest)
{
    mState.mMesh = nullptr;
    if (rest.empty())
    {
        mState.mGroupName = "default";
        return;
    }
    // The words are parted by white space of any kind, each piece read as a
    // blank: the first one joins the first two words.
    mState.mGroupName.assign(rest.data(), rest.size());
    std::replace_if(mState.mGroupName.begin(), mState.mGroupName.end(), ObjIsSpace, ' ');
    const size_t blank = mState.mGroupName.find(' ');
    if (blank != std::string::npos)
        mState.mGroupName[blank] = '_';
}

void KQoxReaderObj::SetSmoothingGroup(std::string_view rest)
{
    const char* p = rest.data();
    int group = 0;
    if (ObjScanInt(p, p + rest.size(), group))
        mState.mSmoothingGroup = group;
    else if (FirstWord(rest, 20) == "off")
        mState.mSmoothingGroup = 0;
}

void KQoxReaderObj::SetCurveType(std::string_view rest)
{
    const char* p = rest.data();
    const char* end = p + rest.size();
    std::string_view first, second;
    if (!ObjScanWord(p, end, first))
        return;
    first = first.substr(0, 20);
    std::string_view word = first;
    if (first == "rat")
    {
        mState.mRational = true;
        if (!ObjScanWord(p, end, second))
            return;
        word = second.substr(0, 20);
    }
    static const char* const kTypes[] = {"bmatrix", "bezier", "bspline", "cardinal", "taylor"};
    for (int i = 0; i < 5; ++i)
        if (word == kTypes[i])
            mState.mCurveType = static_cast<KObjSurf::ECurveType>(i + 1);
}

void KQoxReaderObj::UseMaterial(std::string_view rest)
{
    // The name is the whole rest of the line ("usemtl Car Paint"), as
    // "newmtl" gives it: blanks within are the name's.
    if (rest.empty())
        return;
    const std::string name(rest);
    auto found = mMaterials.find(name);
    if (found == mMaterials.end())
    {
        KQoxMaterial* material = nullptr;
        KQoxTexture* texture = nullptr;
        if (!ReadMaterial(name, material, texture))
        {
            mMessage += "Unable to read material \"";
            mMessage += name.c_str();
            mMessage += "\" in .mtl file\n";
        }
        if (texture)
            mTexturedMaterialUsed = true;
        found = mMaterials.emplace(name, MaterialEntry{material, texture}).first;
    }
    mState.mMaterial = found->second.mMaterial;
    mState.mTexture = found->second.mTexture;
}

int KQoxReaderObj::ConvertIndex(int index, int count)
{
    if (index < 0 && static_cast<long long>(-static_cast<long long>(index)) <= count)
        return count + index;
    if (index >= 1 && index <= count)
        return index - 1;
    return -1;
}

namespace {

// The forms nearly every file uses, "v", "v/t", "v/t/n" and "v//n" with
// plain decimal (optionally negative) numbers, read in one pass; false for
// anything else, which the general reading below handles.
bool ParsePlainVertexGroup(KIndexGroup& reference, std::string_view token)
{
    const char* p = token.data();
    const char* end = p + token.size();
    int values[3] = {0, 0, 0};
    int fields = 0;
    bool doubleSlash = false;
    while (p < end)
    {
        if (fields == 3)
            return false;
        const bool negative = *p == '-';
        if (negative)
            ++p;
        if (p == end || *p < '0' || *p > '9')
            return false;
        // At most 18 digits fit without overflow; the range is checked once.
        const char* first = p;
        unsigned long long magnitude = 0;
        do
        {
            magnitude = magnitude * 10 + static_cast<unsigned>(*p - '0');
            ++p;
        } while (p < end && static_cast<unsigned>(*p - '0') < 10 && p - first < 18);
        if ((p < end && static_cast<unsigned>(*p - '0') < 10) || magnitude > static_cast<unsigned long long>(kIntMax))
            return false;
        values[fields++] = static_cast<int>(negative ? -magnitude : magnitude);
        if (p == end)
            break;
        if (*p != '/')
            return false;
        ++p;
        if (p < end && *p == '/')
        {
            if (fields != 1)
                return false;
            doubleSlash = true;
            ++p;
        }
        if (p == end)
            return false;
    }
    reference.mVertex = values[0];
    if (doubleSlash)
        reference.mNormal = values[1];
    else
    {
        reference.mTextureVertex = values[1];
        reference.mNormal = values[2];
    }
    return true;
}

// Whether ObjScanInt refused the text at p only because its number is past
// the int range. Such a reference names no item of any list (none holds
// more than kIntMax): it reads as kIntMin, which every list has out of
// range, rather than as a malformed token or a number wrapped around.
bool ObjDigitsPastIntRange(const char* p, const char* end)
{
    while (p < end && ObjIsSpace(*p))
        ++p;
    if (p < end && (*p == '+' || *p == '-'))
        ++p;
    return p < end && *p >= '0' && *p <= '9';
}

} // namespace

bool KQoxReaderObj::ParseVertexGroup(KIndexGroup& reference, std::string_view token)
{
    reference = KIndexGroup(0, 0, 0);
    if (token.data() == nullptr)
        return false;
    if (ParsePlainVertexGroup(reference, token))
        return reference.mVertex != 0;
    reference = KIndexGroup(0, 0, 0);
    // One pass: the first three fields between slashes (empty fields
    // vanish), and whether the token holds "//" anywhere.
    std::string_view fields[3];
    int count = 0;
    bool doubleSlash = false;
    const size_t n = token.size();
    for (size_t i = 0; i < n;)
    {
        if (token[i] == '/')
        {
            if (i + 1 < n && token[i + 1] == '/')
                doubleSlash = true;
            ++i;
            continue;
        }
        const size_t start = i;
        while (i < n && token[i] != '/')
            ++i;
        if (count < 3)
            fields[count++] = token.substr(start, i - start);
    }
    int* targets[3] = {&reference.mVertex, doubleSlash ? &reference.mNormal : &reference.mTextureVertex,
                       doubleSlash ? nullptr : &reference.mNormal};
    for (int f = 0; f < count; ++f)
    {
        if (!targets[f])
            break;
        const char* p = fields[f].data();
        int value = 0;
        if (ObjScanInt(p, p + fields[f].size(), value))
            *targets[f] = value;
        else if (ObjDigitsPastIntRange(p, p + fields[f].size()))
            *targets[f] = kIntMin; // left out as any reference out of range
    }
    return reference.mVertex != 0;
}

bool KQoxReaderObj::ParseObjFace(KObjFace& face, std::string_view rest)
{
    const int vertexCount = static_cast<int>(mVertices.size());
    const int textureCount = static_cast<int>(mTextureVertices.size());
    const int normalCount = static_cast<int>(mNormals.size());
    int tokens = 0;
    bool ok = true;
    ObjSplit(rest, [&](std::string_view token) {
        ++tokens;
        KIndexGroup reference;
        if (!ParseVertexGroup(reference, token))
        {
            ok = false;
            return false;
        }
        reference.mVertex = ConvertIndex(reference.mVertex, vertexCount);
        reference.mTextureVertex = ConvertIndex(reference.mTextureVertex, textureCount);
        reference.mNormal = ConvertIndex(reference.mNormal, normalCount);
        face.AddVertexGroup(reference);
        return true;
    });
    return ok && tokens >= 3;
}

namespace {

// A reference number of at most nine digits, optionally negative, at p:
// nearly every file's. False for anything else, which the general reading
// handles.
inline bool ScanShortIndex(const char*& p, const char* end, int& value)
{
    const char* s = p;
    const bool negative = s < end && *s == '-';
    if (negative)
        ++s;
    uint64_t magnitude = 0;
    const int count = ObjScanDigits8(s, end, magnitude);
    if (count == 8)
    {
        // A ninth digit may follow, a tenth may not.
        if (s + 8 < end && static_cast<unsigned>(s[8] - '0') < 10)
        {
            magnitude = magnitude * 10 + static_cast<unsigned>(s[8] - '0');
            if (s + 9 < end && static_cast<unsigned>(s[9] - '0') < 10)
                return false;
            ++s;
        }
    }
    else if (count == 0)
        return false;
    const int signedValue = static_cast<int>(magnitude);
    value = negative ? -signedValue : signedValue;
    p = s + count;
    return true;
}

// "v", "v/t", "v/t/n" or "v//n" of short numbers ending at white space (a
// blank, a tab or a line break) or at end; p moves past it. False, p
// unchanged, for any other token.
inline bool ScanShortVertexGroup(const char*& p, const char* end, KIndexGroup& reference)
{
    const char* s = p;
    if (!ScanShortIndex(s, end, reference.mVertex))
        return false;
    if (s < end && *s == '/')
    {
        ++s;
        if (s < end && *s == '/')
        {
            ++s;
            if (!ScanShortIndex(s, end, reference.mNormal))
                return false;
        }
        else
        {
            if (!ScanShortIndex(s, end, reference.mTextureVertex))
                return false;
            if (s < end && *s == '/')
            {
                ++s;
                if (!ScanShortIndex(s, end, reference.mNormal))
                    return false;
            }
        }
    }
    if (s < end && !ObjIsSpace(*s))
        return false;
    p = s;
    return true;
}

// KQoxReaderObj::ConvertIndex, inline for the faces' loop.
inline int ZeroBased(int index, int count)
{
    // One comparison for the usual 1 to count (0 and the negative ones
    // wrap around past it).
    const unsigned zeroBased = static_cast<unsigned>(index) - 1u;
    if (zeroBased < static_cast<unsigned>(count) && count > 0)
        return static_cast<int>(zeroBased);
    return index < 0 && static_cast<long long>(-static_cast<long long>(index)) <= count ? count + index : -1;
}

// The corners of a plain "f" line (see KQoxReaderObj::ReadPlainFaceLine)
// as ReadFace keeps them, with the face's flags.
struct PlainFace
{
    static constexpr int kMostCorners = 32;
    KObjMesh::Corner mCorners[kMostCorners];
    int mKept = 0;
    bool mHasNormals = true;
    bool mHasTextureVertices = true;
    bool mSomeTextureVertex = false;
    int mCounts[3]; // vertices, texture vertices, normals read so far

    // One reference, one-based or from the end; false when there is no
    // room left.
    bool Add(int vertex, int textureVertex, int normal)
    {
        const int v = ZeroBased(vertex, mCounts[0]);
        if (v < 0)
            return true; // out of range: this reference is left out
        if (mKept == kMostCorners)
            return false;
        const int t = ZeroBased(textureVertex, mCounts[1]);
        const int n = ZeroBased(normal, mCounts[2]);
        mHasNormals = mHasNormals && n >= 0;
        mHasTextureVertices = mHasTextureVertices && t >= 0;
        mSomeTextureVertex = mSomeTextureVertex || t >= 0;
        mCorners[mKept++] = KObjMesh::Corner{v, t, n};
        return true;
    }
};
static_assert(KObjFaceShape::eMOST_CORNERS <= PlainFace::kMostCorners, "a settled line fits a PlainFace");

#if defined(__SSE2__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define QOX_OBJ_FACE_MASKS 1

// Bytes that must follow a token read by ScanMaskedVertexGroup: the 32
// classified and the 8 read at a number's start among them.
constexpr long kMaskedTokenReach = 40;

// The count (one to eight) bytes at p as one word, the first in the top
// byte used, the bytes below zero, each byte less '0' (see
// ObjNonDigitBytes; the zero bytes below count as digits).
inline uint64_t MaskedWord(const char* p, int count)
{
    uint64_t word;
    std::memcpy(&word, p, 8);
    return (word ^ 0x3030303030303030ULL) << (8 * (8 - count));
}

// ScanShortVertexGroup for a token of at most 31 bytes
// and numbers of at most eight digits, its 32 bytes from p classified at
// once: the token's end and its slashes are read off bit masks, and its
// numbers converted side by side rather than each scanned after the one
// before it; a number written as the vertex number is (as writers often
// do) is not converted again. False for any other token (the caller tries
// ScanShortVertexGroup then); p moves past the token. What follows the
// token is the caller's to check: a blank or a line break.
inline bool ScanMaskedVertexGroup(const char*& p, int (&reference)[3])
{
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    auto bits = [](__m128i a, __m128i b) {
        return static_cast<uint32_t>(_mm_movemask_epi8(a)) | static_cast<uint32_t>(_mm_movemask_epi8(b)) << 16;
    };
    // Blanks, line breaks and every other byte below '-' end the token
    // (those above 127 too); digits, '-', '/' and the rest, up to the end,
    // are checked as the numbers are read.
    const __m128i minus = _mm_set1_epi8('-'), slash = _mm_set1_epi8('/');
    const uint32_t ends = bits(_mm_cmplt_epi8(low, minus), _mm_cmplt_epi8(high, minus));
    if (ends == 0)
        return false; // a longer token
    const int length = __builtin_ctz(ends);
    const uint32_t token = (1u << length) - 1;
    uint32_t S = bits(_mm_cmpeq_epi8(low, slash), _mm_cmpeq_epi8(high, slash)) & token;
    const uint32_t M = bits(_mm_cmpeq_epi8(low, minus), _mm_cmpeq_epi8(high, minus)) & token;
    // Minus signs start numbers only.
    if (M & ~((S << 1) | 1u))
        return false;
    // The numbers' bounds: [0, a), [a + 1, b) and [b + 1, length), b = a + 1
    // for "v//n"; a and b at length when absent.
    const int a = S ? __builtin_ctz(S) : length;
    S &= S - 1;
    const int b = S ? __builtin_ctz(S) : length;
    if (S & (S - 1))
        return false; // a third slash
    // The vertex number.
    const int vertexSign = static_cast<int>(M & 1);
    const int vertexCount = a - vertexSign;
    if (static_cast<unsigned>(vertexCount - 1) > 7)
        return false;
    const uint64_t vertexDigits = MaskedWord(p + vertexSign, vertexCount);
    if (ObjNonDigitBytes(vertexDigits))
        return false;
    const int vertex = static_cast<int>(ObjDigitsWordValue(vertexDigits));
    reference[0] = vertexSign ? -vertex : vertex;
    // The others, each reading as the vertex when its digits are the same.
    auto other = [&](int x, int y, int& value) {
        const int sign = static_cast<int>(M >> x) & 1;
        const int count = y - x - sign;
        if (static_cast<unsigned>(count - 1) > 7)
            return false;
        const uint64_t digits = MaskedWord(p + x + sign, count);
        int magnitude = vertex;
        if (digits != vertexDigits)
        {
            if (ObjNonDigitBytes(digits))
                return false;
            magnitude = static_cast<int>(ObjDigitsWordValue(digits));
        }
        value = sign ? -magnitude : magnitude;
        return true;
    };
    if (a < length && !(b == a + 1 ? other(b + 1, length, reference[2])
                                   : other(a + 1, b, reference[1]) && (b == length || other(b + 1, length, reference[2]))))
        return false;
    p += length;
    return true;
}
#endif

// The references of a plain "f" line at q (just past the "f"), token by
// token; q moves to the line break. False for a line of another form.
inline bool ScanPlainFaceTokens(const char*& q, const char* end, PlainFace& face)
{
    for (;;)
    {
        while (q < end && *q == ' ')
            ++q;
        if (q == end || *q == '\n' || *q == '\r')
            return true;
        int reference[3] = {0, 0, 0};
#ifdef QOX_OBJ_FACE_MASKS
        if (end - q < kMaskedTokenReach || !ScanMaskedVertexGroup(q, reference))
#endif
        {
            KIndexGroup group(0, 0, 0);
            if (!ScanShortVertexGroup(q, end, group))
                return false;
            reference[0] = group.mVertex;
            reference[1] = group.mTextureVertex;
            reference[2] = group.mNormal;
        }
        if (reference[0] == 0 || !face.Add(reference[0], reference[1], reference[2]))
            return false;
    }
}

} // namespace

bool KQoxReaderObj::ReadFace(KObjMesh& mesh, KObjMesh::FaceList& list, std::string_view rest)
{
    const int vertexCount = static_cast<int>(mVertices.size());
    const int textureCount = static_cast<int>(mTextureVertices.size());
    const int normalCount = static_cast<int>(mNormals.size());
    KObjPodArray<KObjMesh::Corner>& corners = list.mCorners;
    const size_t first = corners.size();
    // Every reference takes a character and a blank at least: room for all
    // of them once, then no check per corner.
    if (!corners.reserve_more(rest.size() / 2 + 1))
        return false;
    bool hasNormals = true;
    bool hasTextureVertices = true;
    bool someTextureVertex = false;
    size_t tokens = 0;
    const char* p = rest.data();
    const char* const end = p + rest.size();
    for (;;)
    {
        while (p < end && ObjIsSpace(*p))
            ++p;
        if (p == end)
            break;
        ++tokens;
        KIndexGroup reference(0, 0, 0);
        bool parsed;
        if (ScanShortVertexGroup(p, end, reference))
            parsed = reference.mVertex != 0;
        else
        {
            const char* start = p;
            while (p < end && !ObjIsSpace(*p))
                ++p;
            parsed = ParseVertexGroup(reference, std::string_view(start, static_cast<size_t>(p - start)));
        }
        if (!parsed)
        {
            // A reference 0 or one that is no number: the face is left out.
            ++mesh.mFacesOutOfRange;
            corners.truncate(first);
            return true;
        }
        const int vertex = ZeroBased(reference.mVertex, vertexCount);
        if (vertex < 0)
            continue; // out of range: this reference is left out
        const int textureVertex = ZeroBased(reference.mTextureVertex, textureCount);
        const int normal = ZeroBased(reference.mNormal, normalCount);
        hasNormals = hasNormals && normal >= 0;
        hasTextureVertices = hasTextureVertices && textureVertex >= 0;
        someTextureVertex = someTextureVertex || textureVertex >= 0;
        corners.push_reserved(KObjMesh::Corner{vertex, textureVertex, normal});
    }
    const size_t kept = corners.size() - first;
    if (tokens < 3 || kept < 3 || kept > KObjMesh::kCountMask)
    {
        // Too few references, or some out of range: dropped for want of
        // corners, and counted whatever the reason.
        if (kept < 3)
            ++mesh.mFacesOutOfRange;
        corners.truncate(first);
        return true;
    }
    if (mesh.AddFaceHeader(list, static_cast<int>(kept), hasNormals, hasTextureVertices, mState.mMaterial,
                           mState.mTexture))
    {
        mesh.mSomeCornerHasTextureVertex = mesh.mSomeCornerHasTextureVertex || someTextureVertex;
        return true;
    }
    corners.truncate(first);
    return false;
}

bool KQoxReaderObj::ReadPlainFaceLine(const char*& p, const char* end, KObjMesh& mesh, KObjMesh::FaceList& list,
                                      KObjFaceShapes& shapes)
{
    if (end - p < 2 || p[1] != ' ')
        return false;
    // The corners first gathered here, so that a line not of the plain form
    // leaves everything as it was for the general reading.
    PlainFace face;
    face.mCounts[0] = static_cast<int>(mVertices.size());
    face.mCounts[1] = static_cast<int>(mTextureVertices.size());
    face.mCounts[2] = static_cast<int>(mNormals.size());
    const char* q = p + 1;
    alignas(32) int references[KObjFaceShape::eREFERENCES];
    if (const int settled = ObjScanPlainFaceLine(q, end, shapes, references))
    {
        // Fewer corners than PlainFace holds: Add always finds room.
        for (const int* r = references; r != references + 3 * settled; r += 3)
            if (r[0] == 0 || !face.Add(r[0], r[1], r[2]))
                return false;
    }
    else if (!ScanPlainFaceTokens(q, end, face))
        return false;
    const KObjMesh::Corner* const corners = face.mCorners;
    const int kept = face.mKept;
    const bool hasNormals = face.mHasNormals;
    const bool hasTextureVertices = face.mHasTextureVertices;
    const bool someTextureVertex = face.mSomeTextureVertex;
    // Dropped faces, and the face that stops a numbering, go the general way.
    if (kept < 3 || (mesh.mNumbered && !hasNormals))
        return false;
    if (!mesh.mNumbered)
    {
        if (!list.mCorners.reserve_more(static_cast<size_t>(kept)) ||
            !mesh.AddFaceHeader(list, kept, hasNormals, hasTextureVertices, mState.mMaterial, mState.mTexture))
            return false;
        for (int c = 0; c < kept; ++c)
            list.mCorners.push_reserved(corners[c]);
        mesh.mSomeCornerHasTextureVertex = mesh.mSomeCornerHasTextureVertex || someTextureVertex;
        p = q;
        return true;
    }
    // Numbered straight away, as NumberNewCorners numbers them.
    if (!mesh.mPoints.reserve_more(static_cast<size_t>(kept)) ||
        !mesh.mCornerPoints.reserve_more(static_cast<size_t>(kept)) ||
        !mesh.AddFaceHeader(list, kept, true, hasTextureVertices, mState.mMaterial, mState.mTexture))
        return false;
    mesh.mSomeCornerHasTextureVertex = mesh.mSomeCornerHasTextureVertex || someTextureVertex;
    int* const heads = mChainHeads.data();
    for (int c = 0; c < kept; ++c)
        mesh.NumberCorner(heads, corners[c]);
    p = q;
    return true;
}

bool KQoxReaderObj::ParseObjSurf(KObjSurf& surf, std::string_view rest)
{
    std::vector<std::string_view> words;
    ObjSplit(rest, [&](std::string_view word) {
        words.push_back(word);
        return true;
    });
    if (words.size() < 4)
        return false;
    ObjScanDoubles(rest, surf.mRange, 4);
    const int vertexCount = static_cast<int>(mVertices.size());
    const int textureCount = static_cast<int>(mTextureVertices.size());
    const int normalCount = static_cast<int>(mNormals.size());
    for (size_t i = 4; i < words.size(); ++i)
    {
        KIndexGroup reference;
        if (!ParseVertexGroup(reference, words[i]))
            return false;
        reference.mVertex = ConvertIndex(reference.mVertex, vertexCount);
        reference.mTextureVertex = ConvertIndex(reference.mTextureVertex, textureCount);
        reference.mNormal = ConvertIndex(reference.mNormal, normalCount);
        surf.AddVertexGroup(reference);
    }
    return true;
}

bool KQoxReaderObj::LoadScene(KQoxScene& scene)
{
    KQoxNode* parent = scene.GetRootNode();
    if (mCreateReferenceNode)
    {
        KString name = ExtractFileName(mFileName.ToChars(), false);
        name += "_root";
        KQoxNode* reference = KQoxMakeNamedNode(mManager, KQoxWholeText(name).ToChars(), nullptr);
        scene.GetRootNode()->AddChild(reference);
        parent = reference;
    }
    // The lists are whole: the room past their items goes back. Pages of
    // the lists no later mesh reads go back to the system after each mesh,
    // so that the lists shrink as the meshes grow.
    mVertices.drop_spare();
    mTextureVertices.drop_spare();
    mNormals.drop_spare();
    PageDrops drops[3];
    FindPageDrops(drops);
    mPagesDropped = false;
    // Building fails only when memory runs out.
    auto fail = [&] {
        AbandonBuild();
        mError.SetLastError(eUNIDENTIFIED_ERROR, kOutOfMemoryText);
        return false;
    };
    size_t left = mGroups.size();
    size_t built = 0;
    for (auto& group : mGroups)
    {
        mBuildingLastMesh = --left == 0;
        KQoxNode* node = KQoxMakeNamedNode(mManager, group.first.c_str(), &mNodeRenaming);
        KQoxMesh* mesh = CreateQoxMeshFromObjMesh(*group.second);
        mBuildingLastMesh = false;
        if (!mesh)
        {
            mManager.DestroyKQoxNode(node, true);
            return fail();
        }
        node->SetNodeAttribute(mesh);
        if (mTexturedMaterialUsed)
            node->SetShadingMode(KQoxNode::eLIGHT_TEXTURE_SHADING);
        parent->AddChild(node);
        DropPages(drops, built++);
    }
    DeleteObjMeshes();
    return true;
}

} // namespace qoxsdk_600
