// The import object and the import driver: from an opened native file to
// host objects.
#include "plugin/import/qoxzeltimport.h"

#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/kfilecause.h"
#include "base/kpath.h"
#include "base/qoxlogfile.h"
#include "fileio/kqoximporter.h"
#include "fileio/kqoxioregistry.h"
#include "fileio/kqoxstreamoptionsqox.h"
#include "host/zanim.h"
#include "host/zglobal.h"
#include "plugin/export/qoxzeltimageconverters.h"
#include "plugin/import/qoxzeltimport_private.h"
#include "plugin/import/qoxzeltmergenodematcher.h"
#include "plugin/qoxzeltcommands.h"
#include "plugin/qoxzeltdialogs.h"
#include "plugin/qoxzeltnode.h"
#include "plugin/qoxzeltuserparams.h"
#include "plugin/qoxzeltutility.h"
#include "scene/kqoxpluginrenamingstrategy.h"
#include "scene/kqoxpose.h"
#include "scene/kqoxreplacepivot.h"
#include "scene/kqoxscene.h"

using namespace qoxsdk_600;
using namespace qoxzeltimport;

namespace {

const char kMissingBindPose1[] = "This .qox file does not contain a BindPose section. ";
const char kMissingBindPose2[] = "Executing the command 'Go to Bind Pose' may not give the expected results.";
const char kPreMark[] = "__Pre_";
const char kPostMark[] = "__Post_";
// The host range given to an import without animation: one frame at 24 fps.
const double kOneFilmFrame = 1.0 / 24.0;

bool Param(unsigned index)
{
    return QoxZeltUserParams::Instance().GetBoolParam(index);
}

bool HasPrePostMark(const char* name)
{
    return strstr(name, kPreMark) || strstr(name, kPostMark);
}

QoxZeltNode* ChildOf(KQoxNode* node, int index)
{
    return static_cast<QoxZeltNode*>(node->GetChild(index));
}

// The node's initial name without its namespace prefix ("Model::") when it
// begins with it.
std::string InitialNameWithoutPrefix(KQoxNode* node)
{
    std::string name = node->GetInitialName();
    std::string prefix = node->GetNameSpacePrefix().ToChars();
    if (!prefix.empty() && name.compare(0, prefix.size(), prefix) == 0)
        name.erase(0, prefix.size());
    return name;
}

void CopyMatrix(KQoxXMatrix& out, const KQoxMatrix& in)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            out.mMatrix.mData[r][c] = in.Get(r, c);
}

} // namespace

// ---------------------------------------------------------------------------
// The object

QoxZeltImport::QoxZeltImport()
    : mManager(QoxZeltSdkManager::eIMPORT)
    , mRootNode(nullptr)
    , mScene(nullptr)
    , mNodeNameSet(20)
    , mCurrentHostTime(0)
    , mOldVersion(false)
    , mLimitsOnce(false)
    , mLockedAttributeAnswer(1)
{
    mNodeNameSet.mCaseSensitive = false;
}

QoxZeltImport::~QoxZeltImport()
{
    CloseProject();
}

ZStatus QoxZeltImport::OpenProject(const ZString& fileName)
{
    KString name(fileName.asChar());
    CloseProject();
    // The manager makes and owns the importer (the file library installs its
    // maker); it is destroyed through the manager in CloseProject.
    mImporter = mManager.CreateKQoxImporter();
    if (!mImporter)
        return ZStatus(ZStatus::kFailure, "No importer");
    mOpenError = "";
    // Native files only, whatever their extension.
    mImporter->SetFileFormat(eIMPORT_QOX_BINARY);
    if (!mImporter->Initialize(name.ToChars()))
    {
        // Kept: a later import would only learn that no file is open.
        mOpenError = mImporter->GetLastErrorString();
        // A file of another kind is told why it is not read.
        const KString corrupted = mImporter->GetError().GetErrorString(KQoxIO::eFILE_CORRUPTED);
        if (mOpenError == corrupted + ": " + kCAUSE_NOT_NATIVE)
            mOpenError = corrupted + ": " + kNativeFilesOnly;
        return ZStatus(ZStatus::kFailure, mOpenError.ToChars());
    }
    return ZStatus();
}

ZStatus QoxZeltImport::CloseProject()
{
    if (mImporter)
        mManager.DestroyKQoxImporter(mImporter);
    mImporter = nullptr;
    mOpenError = "";
    if (mScene)
    {
        mManager.DestroyKQoxScene(mScene, true);
        mScene = nullptr;
        mRootNode = nullptr;
    }
    return ZStatus();
}

KString QoxZeltImport::parseArgs(const ZArgList& args, ZStatus* status)
{
    ZStatus st;
    for (unsigned i = 0; i < args.length(); ++i)
    {
        ZString text = args.asString(i, &st);
        if (!st)
            continue;
        if (text == "-f")
        {
            ZString name = args.asString(i + 1, &st);
            ZSetStatus(status, st);
            return st ? KString(name.asChar()) : KString("");
        }
    }
    ZSetStatus(status, st);
    return KString("");
}

bool IsOldVersion(QoxZeltNode* root, KQoxImporter* importer)
{
    int major = 0, minor = 0, revision = 0;
    importer->GetFileVersion(major, minor, revision);
    if (major > 5 || minor > 7)
        return false;
    return IsOldVersion(root);
}

bool IsOldVersion(QoxZeltNode* node)
{
    if (!node)
        return false;
    for (int i = 0; i < node->GetChildCount(false); ++i)
    {
        QoxZeltNode* child = ChildOf(node, i);
        EPivotState state = ePIVOT_STATE_ACTIVE;
        child->GetPivotState(eSOURCE_SET, state);
        if (state == ePIVOT_STATE_REFERENCE || IsOldVersion(child))
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// The driver

namespace {

// Ends the running import: the scene with its hierarchy and then the log
// (which writes it) go.
class ImportEnd
{
public:
    explicit ImportEnd(QoxZeltImport& import)
        : mImport(import)
    {}
    ~ImportEnd()
    {
        if (mImport.mScene)
            mImport.mManager.DestroyKQoxScene(mImport.mScene, true);
        mImport.mScene = nullptr;
        mImport.mRootNode = nullptr;
        mImport.mLog.reset();
    }

private:
    QoxZeltImport& mImport;
};

} // namespace

ZStatus QoxZeltImport::Import()
{
    try
    {
        return ImportTake();
    }
    catch (const std::bad_alloc&)
    {
        // The scene and the log went with the import's end; a text this
        // short needs no memory.
        return ZStatus(ZStatus::kFailure, "Out of memory");
    }
}

ZStatus QoxZeltImport::ImportTake()
{
    const int mode = QoxZeltUserParams::Instance().GetImportType();
    StartImport();
    ImportEnd end(*this);
    ZStatus status = ReadFile();
    if (!status)
    {
        QOXCharacterPostLoad(mScene);
        return status;
    }
    // A refused new scene leaves the open one untouched: no characters either.
    status = PrepareHostScene(mode);
    if (!status)
        return status;
    QoxZeltProgressMeter progress;
    progress.Reset(ShowUI(), kProgressWindow);
    PrepareScene(mode, progress);
    BuildHostScene(mode, progress);
    ImportDeformations(mode, progress);
    QOXCharacterPostLoad(mScene);
    DisplayBlendShapeImportWarningDialog();
    mBlendShapeFailures.Clear();
    return ZStatus();
}

void QoxZeltImport::StartImport()
{
    if (mScene)
        mManager.DestroyKQoxScene(mScene, true);
    mScene = nullptr;
    mRootNode = nullptr;
    KString title = KString("File import: ") + (mImporter ? mImporter->GetFileName() : "");
    // Without a folder of the user's own the lines are kept, not written.
    const bool writeLog = *KLib_GetMasterDirectory() != '\0';
    mLog.reset(new QoxLogFile(kLogFileName, title.ToChars(), true, writeLog));
    QoxZeltRegisterImageConverters(&mManager);
    mScene = mManager.CreateKQoxScene();
    mRootNode = mScene ? static_cast<QoxZeltNode*>(mScene->GetRootNode()) : nullptr;
    QOXCharacterPreLoad(mScene);
}

// Logs the error and shows it in a dialog; the failure to return.
ZStatus QoxZeltImport::Fail(const KString& error)
{
    LogLine(mLog.get(), error.ToChars());
    ImportDialog(kErrorTitle, error);
    return ZStatus(ZStatus::kFailure, error.ToChars());
}

ZStatus QoxZeltImport::ReadFile()
{
    // The host scene is left alone until the file has been read, so that an
    // unreadable file does not discard the open scene.
    if (!mImporter)
        return Fail("No file opened");
    const bool read = mScene && mImporter->Import(*mScene);
    PassOnReadMessage();
    if (read)
        return ZStatus();
    // A file that could not be opened is named by the cause found then.
    return Fail(mOpenError.IsEmpty() ? KString(mImporter->GetLastErrorString()) : mOpenError);
}

// What the read left out or could not do (images not extracted, files
// kept, kinds dropped) reaches the host user, a warning naming the file for
// each line, and the log.
void QoxZeltImport::PassOnReadMessage()
{
    KString message;
    mImporter->GetMessage(message);
    if (!message.IsOK())
        throw std::bad_alloc();
    const std::string prefix = KEscapeControls(mImporter->GetFileName()) + ": ";
    const char* line = message.ToChars();
    while (*line)
    {
        const char* end = strchr(line, '\n');
        const size_t length = end ? static_cast<size_t>(end - line) : strlen(line);
        const std::string text = KEscapeControls(std::string_view(line, length));
        line += length + (end ? 1 : 0);
        if (text.empty())
            continue;
        LogLine(mLog.get(), text.c_str());
        ZGlobal::displayWarning(ZString(prefix + text));
    }
}

ZStatus QoxZeltImport::PrepareHostScene(int mode)
{
    if (mode == eMERGE || mode == eEXCLUSIVE_MERGE)
        return ZStatus();
    ZStatus status = ZGlobal::executeCommand("file -f -new", false, false);
    if (status)
        return ZStatus();
    return Fail(KString("The host refused a new scene (") + status.errorString().c_str() + "); nothing was imported.");
}

void QoxZeltImport::PrepareScene(int mode, QoxZeltProgressMeter& progress)
{
    mOldVersion = IsOldVersion(mRootNode, mImporter);
    mLockedAttributeAnswer = 1;
    Preprocess(mRootNode);
    mScene->SetCurrentTake(mTakeName.ToChars());
    CheckBadScale(*mRootNode);

    // Old files: the extra pivot nodes.
    if (mOldVersion)
    {
        if (Param(KQoxUserParams::kImportNullsToPivot))
        {
            ValidatePreAndPostJoints(mRootNode);
            ReplacePivotImport(mRootNode, eSOURCE_SET, mManager);
        }
        else
            EnablePivotUse(mRootNode);
    }

    mManager.ResolveNameClashing();
    if (Param(QoxZeltUserParams::kImportHardEdges))
        MergeMeshOnNormalPerPolyVertex(mRootNode);

    // Pairing with the host scene.
    if (mode != eEXCLUSIVE_MERGE)
        progress.Section("Importing geometry...");
    FillPelbrinNodeArray(mRootNode);
    QoxZeltMergeNodeMatcher* matcher = mManager.CreateQoxZeltMergeNodeMatcher();
    matcher->SetPluginBase(this);
    matcher->Apply(mRootNode, ZFn::kInvalid);
    mManager.DestroyQoxZeltMergeNodeMatcher(matcher);
    PropagateWorldTransformToChildrenOf(mRootNode);
    mCurrentHostTime.SetSecondDouble(ZAnimControl::currentTime().as(ZTime::kSeconds));

    // Pivot conversion.
    QoxZeltUserParams& params = QoxZeltUserParams::Instance();
    if (mOldVersion)
    {
        if (mode == eMERGE || mode == eEXCLUSIVE_MERGE)
            RemoveRotationPivotOnNotPresentNode(mRootNode);
        else
            RemoveRotationPivot(mRootNode);
        mRootNode->ConvertPivotAnimation(eSOURCE_SET, params.GetResamplingRate(true), true);
    }
    else
    {
        SetZeltPivotsRecursive(mRootNode);
        mRootNode->ConvertPivotAnimationRecursive(eDESTINATION_SET, params.GetResamplingRate(false), true);
    }

    // Skin influences that are no joints.
    if (Param(QoxZeltUserParams::kImportDeformNullsAsJoints))
        ReplaceNullsUsedAsLinks(mRootNode, &mManager);
}

void QoxZeltImport::BuildHostScene(int mode, QoxZeltProgressMeter& progress)
{
    ImportGeometry();
    if (mode != eEXCLUSIVE_MERGE)
        progress.Section("Importing materials...");
    for (int i = 0; i < mRootNode->GetChildCount(false); ++i)
        BuildMaterialInformation(ChildOf(mRootNode, i));

    progress.Section("Importing animations...");
    mLimitsOnce = false;
    for (int i = 0; i < mRootNode->GetChildCount(false); ++i)
        ImportAnimation(*ChildOf(mRootNode, i));
    if (mImporter->GetState(KStreamOptionsQox::eANIMATION))
        SetHostTimeRange();
}

// The take's animation interval, or one film frame from 0 without one.
void QoxZeltImport::SetHostTimeRange()
{
    KTime start = KTIME_INFINITE;
    KTime stop(0);
    mRootNode->GetAnimationInterval(start, stop);
    if (start < stop)
    {
        ZAnimControl::setMinTime(ZTime(start.GetSecondDouble(), ZTime::kSeconds));
        ZAnimControl::setMaxTime(ZTime(stop.GetSecondDouble(), ZTime::kSeconds));
        ZAnimControl::setCurrentTime(ZTime(start.GetSecondDouble(), ZTime::kSeconds));
    }
    else
    {
        ZAnimControl::setMinTime(ZTime(0.0, ZTime::kSeconds));
        ZAnimControl::setMaxTime(ZTime(kOneFilmFrame, ZTime::kSeconds));
        ZAnimControl::setCurrentTime(ZTime(0.0, ZTime::kSeconds));
    }
}

void QoxZeltImport::ImportDeformations(int mode, QoxZeltProgressMeter& progress)
{
    PoseRecordTable poses;
    for (int i = 0; i < mScene->GetPoseCount(); ++i)
        if (KQoxPose* pose = mScene->GetPose(i))
            if (pose->IsBindPose())
                poses.emplace_back(pose, PoseRecordList());
    if (poses.empty())
    {
        int links = 0;
        CountNbQoxLinks(mRootNode, links);
        if (links != 0 && mode != eEXCLUSIVE_MERGE)
        {
            LogLine(mLog.get(), kMissingBindPose1);
            LogLine(mLog.get(), kMissingBindPose2);
            ImportDialog(kWarningTitle, KString(kMissingBindPose1) + "\n" + kMissingBindPose2);
        }
    }
    const bool foldPivots = Param(KQoxUserParams::kImportNullsToPivot) && mOldVersion;
    if (foldPivots)
        FixOldBindPoses(poses);
    if (!poses.empty())
    {
        const PoseNodeIndex nodes = IndexPoseNodes();
        for (auto& entry : poses)
            BuildPoseRecords(*entry.first, entry.second, foldPivots, nodes);
    }

    progress.Section("Importing deformations...");
    for (int i = 0; i < mRootNode->GetChildCount(false); ++i)
        BuildClusterInformation(ChildOf(mRootNode, i));

    // Back to the host transforms the nodes had, last pose first.
    for (auto pose = poses.rbegin(); pose != poses.rend(); ++pose)
        for (const std::unique_ptr<TempPoseData>& record : pose->second)
            if (!record->mNode->mMatchedByMerge)
            {
                ZFnTransform transform(*record->mNode->GetDagPath());
                QoxZeltUtility::SetZFnTransformNode(transform, record->mHostMatrix);
            }
}

// Old files read with their extra pivot nodes folded back: each node's bind
// pose entry takes the matrix of its "__Post_" entry when the pose has one.
void QoxZeltImport::FixOldBindPoses(PoseRecordTable& poses)
{
    for (auto& entry : poses)
    {
        KQoxPose& pose = *entry.first;
        std::vector<std::pair<std::string, KQoxMatrix>> items;
        for (int i = 0; i < pose.GetCount(); ++i)
        {
            std::string name = pose.GetNodeName(i).ToChars();
            if (HasPrePostMark(name.c_str()))
                continue;
            int post = pose.Find((name + kPostMark).c_str());
            items.emplace_back(name, pose.GetMatrix(post >= 0 ? post : i));
        }
        for (const auto& item : items)
        {
            KArrayTemplate<KQoxPose*> holders;
            KArrayTemplate<int> indices;
            if (!KQoxPose::GetBindPoseContaining(mManager, item.first.c_str(), holders, indices))
                continue;
            for (int k = 0; k < holders.GetCount(); ++k)
                holders[k]->Remove(indices[k]);
            for (int k = 0; k < holders.GetCount(); ++k)
                holders[k]->Add(item.first.c_str(), item.second, false);
        }
    }
}

PoseNodeIndex QoxZeltImport::IndexPoseNodes()
{
    PoseNodeIndex nodes;
    for (int i = 0; i < mNodeNameSet.GetCount(); ++i)
        if (QoxZeltNode* node = reinterpret_cast<QoxZeltNode*>(mNodeNameSet.GetFromIndex(i)))
            nodes.emplace(InitialNameWithoutPrefix(node), node);
    return nodes;
}

// The records of one bind pose: nodes with a host transform, parents first,
// each moved to its bind matrix unless it is an existing host node.
void QoxZeltImport::BuildPoseRecords(KQoxPose& pose, PoseRecordList& records, bool foldPivots,
                                     const PoseNodeIndex& nodes)
{
    for (int i = 0; i < pose.GetCount(); ++i)
        if (strstr(KQoxPluginRenamingStrategy::NoPrefixName(pose.GetNodeName(i)).ToChars(), "RootNode"))
        {
            pose.Remove(i);
            break;
        }
    for (int j = 0; j < pose.GetCount(); ++j)
    {
        std::string name = KQoxPluginRenamingStrategy::NoPrefixName(pose.GetNodeName(j)).ToChars();
        if (foldPivots && HasPrePostMark(name.c_str()))
            continue;
        auto found = nodes.find(name);
        QoxZeltNode* node = found == nodes.end() ? nullptr : found->second;
        if (!node || !node->GetDagPath())
            continue;
        std::unique_ptr<TempPoseData> record(new TempPoseData);
        record->mNode = node;
        CopyMatrix(record->mBindMatrix, pose.GetMatrix(j));
        ZFnTransform transform(*node->GetDagPath());
        QoxZeltUtility::GetZFnTransformNode(transform, record->mHostMatrix);
        records.push_back(std::move(record));
    }
    ReOrder(records, mRootNode);

    for (size_t j = 0; j < records.size(); ++j)
    {
        TempPoseData* record = records[j].get();
        QoxZeltNode* node = record->mNode;
        QoxZeltNode* parent = ParentOf(node);
        KQoxXMatrix parentReference;
        bool found = false;
        for (size_t k = j; k-- > 0 && parent && !found;)
            if (strcmp(records[k]->mNode->GetInitialName(), parent->GetInitialName()) == 0)
            {
                parentReference = records[k]->mBindMatrix;
                found = true;
            }
        if (!found && parent && !strstr(parent->GetInitialName(), "RootNode") && parent->GetDagPath())
        {
            ZFnTransform parentTransform(*parent->GetDagPath());
            QoxZeltUtility::GetZFnTransformNode(parentTransform, parentReference);
        }
        if (node->mMatchedByMerge)
            continue;
        KQoxXMatrix local = record->mBindMatrix;
        KmAi(parentReference, parentReference);
        KmAA(local, parentReference, local);
        QoxZeltUtility::RemovePreAndPostFromRotation(*node, local);
        ZFnTransform transform(*node->GetDagPath());
        QoxZeltUtility::SetZFnTransformNode(transform, local);
    }
}
