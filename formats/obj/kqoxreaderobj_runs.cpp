// Long runs of vertex or face statements read in parallel: the lines at
// hand are cut into a few portions per thread at line breaks, each portion read
// by one of the threads, and the results joined in file order, so that what
// is read is exactly what reading statement by statement gives. A run ends
// at the first statement of another kind or continued on the next line; the
// statement loop reads that one as usual.

#include <algorithm>

#include "formats/obj/kqoxobjparallel.h"
#include "formats/obj/kqoxreaderobj.h"

namespace qoxsdk_600 {

namespace {

// The kinds of vertex statement: "v", "vt", "vn"; -1 for any other
// statement.
int VertexKind(std::string_view keyword)
{
    if (keyword.empty() || keyword[0] != 'v')
        return -1;
    if (keyword.size() == 1)
        return 0;
    if (keyword.size() == 2 && keyword[1] == 't')
        return 1;
    if (keyword.size() == 2 && keyword[1] == 'n')
        return 2;
    return -1;
}

// A statement continued on the next line ends a run.
bool Continued(std::string_view rest)
{
    return !rest.empty() && rest.back() == '\\';
}

// Bytes looked at on the calling thread for the end of a run before
// threads are woken for it: most short runs end within them.
constexpr size_t kProbeBytes = size_t(64) << 10;

// Where the run of statements at the start of lines (whole lines) ends,
// the end looked for among the lines starting in the first bytes only:
// the offset of the first statement that is not of the run, or npos when
// none starts there.
template <class InRun>
size_t RunEndWithin(std::string_view lines, size_t bytes, InRun&& inRun)
{
    const char* p = lines.data();
    const char* const end = p + lines.size();
    const char* const last = p + std::min(bytes, lines.size());
    std::string_view keyword, rest;
    for (const char* line = p; p < last && ObjCutStatement(p, end, keyword, rest); line = p)
        if (!inRun(keyword, rest))
            return static_cast<size_t>(line - lines.data());
    return std::string_view::npos;
}

} // namespace

void KQoxReaderObj::SetParallelRuns(int threads, size_t minimumBytes)
{
    mThreads = threads < 1 ? 1 : threads;
    mParallelMinimum = minimumBytes;
}

bool KQoxReaderObj::CutPortions(KObjStatementReader& in, size_t& noRunBefore, std::string_view& lines,
                                std::vector<std::string_view>& portions)
{
    portions.clear();
    if (in.Position() < noRunBefore)
        return false;
    lines = in.BufferedLines(mBlock / 2);
    if (lines.size() < ParallelMinimum() || lines.empty())
    {
        noRunBefore = in.Position() + lines.size();
        return false;
    }
    const size_t count = kObjPortionsPerThread * static_cast<size_t>(mThreads);
    const char* const end = lines.data() + lines.size();
    const char* begin = lines.data();
    for (size_t i = 1; i <= count && begin < end; ++i)
    {
        const char* cut = i == count ? end : lines.data() + lines.size() / count * i;
        if (cut < begin)
            cut = begin;
        // On to the end of the line the cut falls in.
        while (cut < end && cut[-1] != '\n' && cut[-1] != '\r')
            ++cut;
        portions.emplace_back(begin, static_cast<size_t>(cut - begin));
        begin = cut;
    }
    return true;
}

bool KQoxReaderObj::ReadVertexRuns(KObjStatementReader& in)
{
    std::string_view lines;
    std::vector<std::string_view> portions;
    // Where no parallel run is tried, the lines up to there are read on the
    // calling thread.
    auto readHere = [&] {
        return ReadVertexLines(in, mNoVertexRunBefore > in.Position() ? mNoVertexRunBefore - in.Position() : 0);
    };
    while (CutPortions(in, mNoVertexRunBefore, lines, portions))
    {
        const size_t shortEnd = RunEndWithin(lines, kProbeBytes, [](std::string_view keyword, std::string_view rest) {
            return VertexKind(keyword) >= 0 && !Continued(rest);
        });
        if (shortEnd != std::string_view::npos && shortEnd < ParallelMinimum())
        {
            // Too short to be worth it.
            mNoVertexRunBefore = in.Position() + shortEnd + ParallelMinimum();
            return readHere();
        }
        // First each portion's statements of each kind, up to the first
        // statement that ends the run.
        struct Count
        {
            size_t mKinds[3] = {0, 0, 0};
            size_t mStop = 0;
            bool mEnded = false;
        };
        std::vector<Count> counts(portions.size());
        KRunPortions(portions.size(), mThreads, [&](size_t i) {
            const char* p = portions[i].data();
            const char* const end = p + portions[i].size();
            Count& count = counts[i];
            std::string_view keyword, rest;
            for (const char* line = p; ObjCutStatement(p, end, keyword, rest); line = p)
            {
                const int kind = VertexKind(keyword);
                if (kind < 0 || Continued(rest))
                {
                    count.mStop = static_cast<size_t>(line - portions[i].data());
                    count.mEnded = true;
                    return;
                }
                ++count.mKinds[kind];
            }
            count.mStop = portions[i].size();
        });
        // The run ends in the first portion that ends it.
        size_t used = 0, bytes = 0;
        size_t totals[3] = {0, 0, 0};
        bool ended = false;
        while (used < portions.size() && !ended)
        {
            for (int k = 0; k < 3; ++k)
                totals[k] += counts[used].mKinds[k];
            bytes += counts[used].mStop;
            ended = counts[used].mEnded;
            ++used;
        }
        if (bytes < ParallelMinimum())
        {
            // Too short to be worth it.
            mNoVertexRunBefore = in.Position() + bytes + ParallelMinimum();
            return readHere();
        }
        // Room for them all, then each portion into its own places.
        size_t firsts[3] = {mVertices.size(), mTextureVertices.size(), mNormals.size()};
        if (!mVertices.extend(totals[0]) || !mTextureVertices.extend(totals[1]) || !mNormals.extend(totals[2]))
            ObjOutOfMemory();
        std::vector<size_t> starts(3 * used);
        for (size_t i = 0; i < used; ++i)
            for (int k = 0; k < 3; ++k)
            {
                starts[3 * i + k] = firsts[k];
                firsts[k] += counts[i].mKinds[k];
            }
        // Per portion: 1 when a statement held too few numbers, 2 when memory
        // for its colours ran out.
        std::vector<char> bad(used, 0);
        MakePlainLines(used);
        if (mPortionColors.size() < used)
            mPortionColors.resize(used);
        KRunPortions(used, mThreads, [&](size_t i) {
            const char* p = portions[i].data();
            const char* const end = p + counts[i].mStop;
            KQoxVector4* const firstPosition = mVertices.data() + starts[3 * i];
            KQoxVector4* positions = firstPosition;
            KQoxVector2* textureVertices = mTextureVertices.data() + starts[3 * i + 1];
            // The colours of the vertices written with one (never plain lines).
            KObjPodArray<ColorAt>& colors = mPortionColors[i];
            colors.clear();
            KQoxVector4* normals = mNormals.data() + starts[3 * i + 2];
            std::string_view keyword, rest;
            bool ok = true;
            auto place = [&](int kind, int n, const double* values) {
                if (kind == 0)
                    *positions++ = PlainPosition(values, n);
                else if (kind == 1)
                    *textureVertices++ = PlainTextureVertex(values, n);
                else
                    *normals++ = PlainNormal(values);
            };
            KObjPlainLines& plain = *mPlainLines[i];
            for (;;)
            {
                // Lines of the plain form read where they lie (many at once,
                // then one alone), the others cut into statements first.
                while (p < end && ObjIsSpace(*p))
                    ++p;
                if (p < end && *p == 'v')
                {
                    if (ObjScanPlainVertexLines(p, end, end, plain) > 0)
                    {
                        for (int line = 0; line < plain.mCount; ++line)
                            place(plain.mKinds[line], plain.mNumbers[line], plain.mValues[line]);
                        continue;
                    }
                    double values[4];
                    int kind;
                    if (const int n = ObjScanPlainVertexLine(p, end, kind, values))
                    {
                        place(kind, n, values);
                        continue;
                    }
                }
                if (!ObjCutStatement(p, end, keyword, rest))
                    break;
                const int kind = VertexKind(keyword);
                ColorAt color;
                bool colored = false;
                ok = kind == 0   ? ParsePosition(rest, *positions, color.mColor, colored)
                     : kind == 1 ? ParseTextureVertex(rest, *textureVertices++)
                                 : ParseNormal(rest, *normals++);
                if (!ok)
                    break;
                if (kind == 0)
                {
                    color.mVertex = starts[3 * i] + static_cast<size_t>(positions++ - firstPosition);
                    if (colored && !colors.push_back(color))
                    {
                        bad[i] = 2;
                        return;
                    }
                }
            }
            bad[i] = !ok;
        });
        if (std::find(bad.begin(), bad.end(), 2) != bad.end())
            ObjOutOfMemory();
        if (std::find(bad.begin(), bad.end(), 1) != bad.end())
            return false; // a statement with too few numbers fails the read
        // The colours in file order.
        for (size_t i = 0; i < used; ++i)
            for (const ColorAt& color : mPortionColors[i])
                if (!SetVertexColor(color.mVertex, color.mColor))
                    ObjOutOfMemory();
        mTextureVerticesSeen = mTextureVerticesSeen || totals[1] > 0;
        mNormalsSeen = mNormalsSeen || totals[2] > 0;
        in.Consume(bytes);
        if (ended)
            return true;
    }
    return readHere();
}

bool KQoxReaderObj::ReadPlainVertexLine(const char*& p, const char* end)
{
    double values[4];
    int kind;
    const char* q = p;
    const int n = ObjScanPlainVertexLine(q, end, kind, values);
    if (n == 0)
        return false;
    bool added;
    if (kind == 0)
        added = mVertices.push_back(PlainPosition(values, n));
    else if (kind == 1)
    {
        mTextureVerticesSeen = true;
        added = mTextureVertices.push_back(PlainTextureVertex(values, n));
    }
    else
    {
        mNormalsSeen = true;
        added = mNormals.push_back(PlainNormal(values));
    }
    if (added)
        p = q;
    return added;
}

void KQoxReaderObj::MakePlainLines(size_t count)
{
    while (mPlainLines.size() < count)
        mPlainLines.push_back(std::make_unique<KObjPlainLines>());
}

bool KQoxReaderObj::AddPlainLines(const KObjPlainLines& lines)
{
    // Room for all first, then each line to its place.
    size_t counts[3] = {0, 0, 0};
    for (int i = 0; i < lines.mCount; ++i)
        ++counts[lines.mKinds[i]];
    if ((counts[0] && !mVertices.reserve_more(counts[0])) || (counts[1] && !mTextureVertices.reserve_more(counts[1])) ||
        (counts[2] && !mNormals.reserve_more(counts[2])))
        return false;
    mTextureVerticesSeen = mTextureVerticesSeen || counts[1] > 0;
    mNormalsSeen = mNormalsSeen || counts[2] > 0;
    for (int i = 0; i < lines.mCount; ++i)
    {
        const double* values = lines.mValues[i];
        const int n = lines.mNumbers[i];
        if (lines.mKinds[i] == 0)
            mVertices.push_reserved(PlainPosition(values, n));
        else if (lines.mKinds[i] == 1)
            mTextureVertices.push_reserved(PlainTextureVertex(values, n));
        else
            mNormals.push_reserved(PlainNormal(values));
    }
    return true;
}

bool KQoxReaderObj::ReadVertexLines(KObjStatementReader& in, size_t most)
{
    MakePlainLines(1);
    KObjPlainLines& plain = *mPlainLines[0];
    for (size_t done = 0;;)
    {
        const std::string_view lines = in.BufferedLines(kLinesAtOnce);
        const char* p = lines.data();
        const char* const end = p + lines.size();
        std::string_view keyword, rest;
        bool ended = lines.empty();
        bool enough = false;
        while (!ended)
        {
            // Lines of the plain form read where they lie; the others cut
            // into statements first.
            while (p < end && (*p == '\n' || *p == '\r'))
                ++p;
            if (static_cast<size_t>(p - lines.data()) >= most - done)
            {
                enough = true;
                break;
            }
            if (p < end && *p == 'v')
            {
                // Many plain lines at once, then one the way taking many
                // leaves alone.
                const char* const limit = most - done < lines.size() ? lines.data() + (most - done) : end;
                if (ObjScanPlainVertexLines(p, end, limit, plain) > 0)
                {
                    if (!AddPlainLines(plain))
                        ObjOutOfMemory();
                    continue;
                }
                if (ReadPlainVertexLine(p, end))
                    continue;
            }
            const char* const line = p;
            if (!ObjCutStatement(p, end, keyword, rest))
                break;
            const int kind = VertexKind(keyword);
            if (kind < 0 || Continued(rest))
            {
                p = line;
                ended = true;
            }
            else if (!(kind == 0 ? ReadPosition(rest) : kind == 1 ? ReadTextureVertex(rest) : ReadNormal(rest)))
                return false; // too few numbers
        }
        in.Consume(static_cast<size_t>(p - lines.data()));
        done += static_cast<size_t>(p - lines.data());
        if (ended || enough)
            return true;
    }
}

bool KQoxReaderObj::ReadFaceLines(KObjStatementReader& in, KObjMesh& mesh, KObjMesh::FaceList& list, size_t most)
{
    for (size_t done = 0;;)
    {
        const std::string_view lines = in.BufferedLines(kLinesAtOnce);
        const char* p = lines.data();
        const char* const end = p + lines.size();
        std::string_view keyword, rest;
        bool ended = lines.empty();
        bool enough = false;
        // The numbered mesh's chains cover every vertex: the run adds none.
        if (mesh.mNumbered && !CoverChainHeads())
            ObjOutOfMemory();
        while (!ended)
        {
            // Lines of the plain form read where they lie; the others cut
            // into statements first.
            while (p < end && (*p == '\n' || *p == '\r'))
                ++p;
            if (static_cast<size_t>(p - lines.data()) >= most - done)
            {
                enough = true;
                break;
            }
            if (p < end && *p == 'f' && ReadPlainFaceLine(p, end, mesh, list))
                continue;
            const char* const line = p;
            if (!ObjCutStatement(p, end, keyword, rest))
                break;
            if (keyword != "f" || Continued(rest))
            {
                p = line;
                ended = true;
            }
            else
            {
                const size_t first = list.mCorners.size();
                if (!ReadFace(mesh, list, rest) || (mesh.mNumbered && !NumberNewCorners(mesh, list, first)))
                    ObjOutOfMemory();
            }
        }
        in.Consume(static_cast<size_t>(p - lines.data()));
        done += static_cast<size_t>(p - lines.data());
        if (ended || enough)
            return true;
    }
}

bool KQoxReaderObj::ReadFaceRuns(KObjStatementReader& in, KObjMesh& mesh, KObjMesh::FaceList& list)
{
    std::string_view lines;
    std::vector<std::string_view> portions;
    // The corners a run added to a numbered mesh are numbered on one thread
    // while the others parse the next run: from this corner of the list on
    // (none: npos). Numbering keeps file order, one run after the other.
    size_t numberFrom = std::string_view::npos;
    bool numbered = true;
    auto numberPending = [&] {
        if (numberFrom != std::string_view::npos)
            numbered = NumberNewCorners(mesh, list, numberFrom);
        numberFrom = std::string_view::npos;
        return numbered;
    };
    while (CutPortions(in, mNoFaceRunBefore, lines, portions))
    {
        const size_t shortEnd = RunEndWithin(lines, kProbeBytes, [](std::string_view keyword, std::string_view rest) {
            return keyword == "f" && !Continued(rest);
        });
        if (shortEnd != std::string_view::npos && shortEnd < ParallelMinimum())
        {
            // Too short to be worth it: read here up to the next try.
            mNoFaceRunBefore = in.Position() + shortEnd + ParallelMinimum();
            break;
        }
        while (mFacePortions.size() < portions.size())
            mFacePortions.push_back(std::make_unique<FacePortion>());
        // The numbering, when one is pending, is the first task: it touches
        // the mesh, its list and the chains, which the portions do not.
        const size_t extra = numberFrom != std::string_view::npos ? 1 : 0;
        KRunPortions(portions.size() + extra, mThreads, [&](size_t task) {
            if (task < extra)
            {
                numberPending();
                return;
            }
            const size_t i = task - extra;
            FacePortion& portion = *mFacePortions[i];
            // The mesh holds only the portion's flags and count: its faces go
            // to mList, whose memory is kept from one run to the next.
            portion.mMesh = KObjMesh();
            portion.mList.mFaces.clear();
            portion.mList.mCorners.clear();
            portion.mList.mRuns.clear();
            portion.mEnded = portion.mFailed = false;
            const char* p = portions[i].data();
            const char* const end = p + portions[i].size();
            std::string_view keyword, rest;
            for (;;)
            {
                // Lines of the plain form read where they lie (the portion's
                // mesh is not numbered); the others cut into statements first.
                while (p < end && (*p == '\n' || *p == '\r'))
                    ++p;
                if (p < end && *p == 'f' && ReadPlainFaceLine(p, end, portion.mMesh, portion.mList, portion.mShapes))
                    continue;
                const char* const line = p;
                if (!ObjCutStatement(p, end, keyword, rest))
                    break;
                if (keyword != "f" || Continued(rest))
                {
                    portion.mStop = static_cast<size_t>(line - portions[i].data());
                    portion.mEnded = true;
                    return;
                }
                if (!ReadFace(portion.mMesh, portion.mList, rest))
                {
                    portion.mFailed = true;
                    return;
                }
            }
            portion.mStop = portions[i].size();
        });
        if (!numbered)
            ObjOutOfMemory();
        // The portions up to the first that ends the run, joined in order:
        // room for all, then each portion copied to its place on its thread.
        size_t bytes = 0, used = 0, corners = 0, faces = 0;
        bool ended = false;
        while (used < portions.size() && !ended)
        {
            const FacePortion& portion = *mFacePortions[used++];
            if (portion.mFailed)
                ObjOutOfMemory();
            ended = portion.mEnded;
            bytes += portion.mStop;
            corners += portion.mList.mCorners.size();
            faces += portion.mList.mFaces.size();
        }
        const size_t firstCorner = list.mCorners.size();
        const size_t firstFace = list.mFaces.size();
        if (!list.mRuns.reserve_more(1) || !list.mCorners.extend(corners) || !list.mFaces.extend(faces))
        {
            list.mCorners.truncate(firstCorner);
            list.mFaces.truncate(firstFace);
            ObjOutOfMemory();
        }
        std::vector<size_t> cornerAt(used), faceAt(used);
        for (size_t i = 0, c = firstCorner, f = firstFace; i < used; ++i)
        {
            cornerAt[i] = c;
            faceAt[i] = f;
            c += mFacePortions[i]->mList.mCorners.size();
            f += mFacePortions[i]->mList.mFaces.size();
        }
        KRunPortions(used, mThreads, [&](size_t i) {
            const KObjMesh::FaceList& from = mFacePortions[i]->mList;
            std::copy(from.mCorners.begin(), from.mCorners.end(), list.mCorners.begin() + cornerAt[i]);
            std::copy(from.mFaces.begin(), from.mFaces.end(), list.mFaces.begin() + faceAt[i]);
        });
        for (size_t i = 0; i < used; ++i)
        {
            const KObjMesh& from = mFacePortions[i]->mMesh;
            mesh.mFacesOutOfRange += from.mFacesOutOfRange;
            if (from.mFaceCount == 0)
                continue;
            // One material and texture for the whole run.
            const KObjMesh::Run& run = mFacePortions[i]->mList.mRuns[0];
            if (list.mRuns.empty() || list.mRuns.end()[-1].mMaterial != run.mMaterial ||
                list.mRuns.end()[-1].mTexture != run.mTexture)
                list.mRuns.push_reserved(KObjMesh::Run{faceAt[i], run.mMaterial, run.mTexture});
            mesh.mAllFacesHaveNormals = mesh.mAllFacesHaveNormals && from.mAllFacesHaveNormals;
            mesh.mAllFacesHaveTextureVertices = mesh.mAllFacesHaveTextureVertices && from.mAllFacesHaveTextureVertices;
            mesh.mAllFacesHaveTexture = mesh.mAllFacesHaveTexture && from.mAllFacesHaveTexture;
            mesh.mSomeFaceHasTexture = mesh.mSomeFaceHasTexture || from.mSomeFaceHasTexture;
            mesh.mSomeCornerHasTextureVertex = mesh.mSomeCornerHasTextureVertex || from.mSomeCornerHasTextureVertex;
            mesh.mFaceCount += from.mFaceCount;
        }
        if (mesh.mNumbered)
            numberFrom = firstCorner;
        in.Consume(bytes);
        if (bytes < ParallelMinimum())
            mNoFaceRunBefore = in.Position() + ParallelMinimum();
        if (ended)
            return numberPending();
    }
    // Where no parallel run is tried, the lines up to there are read on the
    // calling thread.
    return numberPending() && ReadFaceLines(in, mesh, list, mNoFaceRunBefore > in.Position() ? mNoFaceRunBefore - in.Position() : 0);
}

} // namespace qoxsdk_600
