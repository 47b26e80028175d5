#include "formats/obj/kqoxwriterobj.h"
#include "formats/obj/kqoxwriterobj_private.h"

#include <charconv>
#include <cstring>
#include <new>

#include "base/kpath.h"
#include "scene/kqoxscene.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "formats/kqoxtexturecopy.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

namespace qoxsdk_600 {

KQoxWriterObj::KQoxWriterObj(KQoxSdkManager& manager)
    : KQoxWriter(manager)
    , mThreads(ObjDefaultThreads())
{}

void KQoxWriterObj::SetParallelBlocks(int threads, size_t blockItems)
{
    mThreads = threads < 1 ? 1 : threads;
    mBlockItems = blockItems < 1 ? 1 : blockItems;
}

KQoxWriterObj::~KQoxWriterObj()
{
    // A file not closed through FileClose is not complete: the targets stay.
    CloseFiles();
    mStaged.Abandon();
    ReleaseConverted();
}

bool KQoxWriterObj::FileCreate(const char* fileName)
{
    return UnlessOutOfMemory([&] { return CreateFiles(fileName); },
                             [&] {
                                 CloseFiles();
                                 mStaged.Abandon();
                             });
}

bool KQoxWriterObj::CreateFiles(const char* fileName)
{
    if (mObjFile)
        FileClose();
    if (!fileName)
    {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    KEnsureDirectoryExistance(fileName);
    mObjFile = mStaged.Create(fileName);
    if (!mObjFile)
        return StagedFailed(mStaged);
    mObj = std::make_unique<Output>(mObjFile);
    // The library and the image copies are named from it.
    mFileName = fileName;
    KQoxWholeText(mFileName);
    mWriteFailed = false;
    mCreateFailed = false;
    mCreateCause = nullptr;
    // A new file numbers its vertices, and names its materials, from the
    // start, whatever files the writer wrote before.
    mNextVertex = mNextTextureCoordinate = mNextNormal = 1;
    mMaterialNames.Clear();
    mTextureCopies.Clear();
    return true;
}

bool KQoxWriterObj::FileClose()
{
    // Out of memory before the files are put, the old ones stay. The
    // images are copied by now: the commit has the copies' descriptor.
    mTextureCopies.Done();
    const bool ok = UnlessOutOfMemory([&] { return FinishStaged(mStaged, CloseFiles()); },
                                      [&] {
                                          CloseFiles();
                                          mStaged.Abandon();
                                      });
    mFileName = "";
    return ok;
}

bool KQoxWriterObj::CloseFiles()
{
    bool ok = true;
    // A file may lack its output when memory ran out as it was created.
    if (mObjFile)
    {
        ok = !mObj || mObj->Flush();
        mObj.reset();
        ok = fclose(mObjFile) == 0 && ok;
    }
    mObjFile = nullptr;
    if (mMtlFile)
    {
        ok = (!mMtl || mMtl->Flush()) && ok;
        mMtl.reset();
        ok = fclose(mMtlFile) == 0 && ok;
    }
    mMtlFile = nullptr;
    return ok;
}

bool KQoxWriterObj::FailWith(int errorId)
{
    mError.SetLastErrorID(errorId);
    if (mDefaultMaterial)
    {
        mManager.DestroyKQoxMaterial(mDefaultMaterial);
        mDefaultMaterial = nullptr;
    }
    mMaterialTable.clear();
    mMaterialLibraryName = "";
    ReleaseConverted();
    CloseFiles();
    mStaged.Abandon();
    mFileName = "";
    return false;
}

KStreamOptions* KQoxWriterObj::GetWriteOptions()
{
    return new KStreamOptionsObj();
}

bool KQoxWriterObj::Write(KQoxScene& scene, KStreamOptions* options)
{
    // Memory running out fails the write as a full disk would: nothing of
    // it is left, the old files as they were.
    return UnlessOutOfMemory([&] { return WriteScene(scene, options); }, [&] { FailWith(eUNIDENTIFIED_ERROR); });
}

bool KQoxWriterObj::WriteScene(KQoxScene& scene, KStreamOptions* options)
{
    if (!options || !options->Is(KStreamOptionsObj::ClassId))
    {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
        return false;
    }
    if (!mObjFile)
    {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    KStreamOptionsObj* obj = static_cast<KStreamOptionsObj*>(options);
    mForceTriangulation = obj->GetOption(KStreamOptionsObj::eFORCE_TRIANGULATION) == 1;
    mEvaluateDeformations = obj->GetOption(KStreamOptionsObj::eEVALUATE_DEFORMATIONS) == 1;
    // Whether a library is needed is this scene's own matter.
    mMaterialsPresent = false;
    KQoxNode* root = FindRootNode(scene);
    if (!InitNodes(root))
        return false;

    // The library is made first: an OBJ whose materials cannot be kept is
    // not written at all.
    if (mMaterialsPresent && !InitMtlLib())
    {
        FailWith(eFILE_NOT_CREATED);
        return StagedFailed(mStaged); // naming why the library was not made
    }
    mObj->Text("# \n# Kelvarian OBJ file\n# Created with Tolvane QOX\n# \n");
    if (mMaterialsPresent)
    {
        mObj->Text("mtllib ").Text(mMaterialLibraryName).Text("\n\n");
        KName name("default");
        mMaterialNames.Rename(name);
        mDefaultMaterial = mManager.CreateKQoxMaterial(name.GetCurrentName());
    }
    mColorsLeftOut = 0;
    WriteNode(root, true);
    if (mColorsLeftOut > 0)
    {
        mMessage += "Left out of the file: ";
        mMessage += mColorsLeftOut;
        mMessage += mColorsLeftOut == 1 ? " mesh's" : " meshes'";
        mMessage += " vertex colours, not kept by control point (an OBJ vertex has one colour)\n";
        // A message cut short for want of memory would not say so.
        if (!mMessage.IsOK())
            throw std::bad_alloc();
    }
    if (mDefaultMaterial)
    {
        mManager.DestroyKQoxMaterial(mDefaultMaterial);
        mDefaultMaterial = nullptr;
    }
    DestroyObjMaterials();
    ReleaseConverted();
    if (mCreateFailed)
    {
        const char* cause = mCreateCause;
        FailWith(eFILE_NOT_CREATED);
        if (cause)
            mError.SetLastError(eFILE_NOT_CREATED,
                                (KString(mError.GetErrorString(eFILE_NOT_CREATED)) + ": " + cause).ToChars());
        return false;
    }
    if (!mObj->Flush() || mWriteFailed)
        return FailWith(eOUT_OF_DISK_SPACE);
    return true;
}

bool KQoxWriterObj::IsGeometryNode(KQoxNode* node)
{
    KQoxNodeAttribute* attribute = node ? node->GetNodeAttribute() : nullptr;
    if (!attribute)
        return false;
    const int type = attribute->GetAttributeType();
    return type == KQoxNodeAttribute::eMESH || type == KQoxNodeAttribute::eNURB || type == KQoxNodeAttribute::ePATCH;
}

bool KQoxWriterObj::TriangulateGeometry(KQoxNode* node)
{
    KQoxNodeAttribute* attribute = node ? node->GetNodeAttribute() : nullptr;
    if (!attribute)
        return false;
    const int type = attribute->GetAttributeType();
    if (type != KQoxNodeAttribute::eNURB && type != KQoxNodeAttribute::ePATCH &&
        !(type == KQoxNodeAttribute::eMESH && mForceTriangulation))
        return false;
    std::unique_ptr<KQoxWriteMesh> mesh(new KQoxWriteMesh(mManager, attribute));
    if (!mesh->Get())
        return false;
    mConverted[node] = std::move(mesh);
    return true;
}

void KQoxWriterObj::ReleaseConverted()
{
    mConverted.clear();
}

KQoxMesh* KQoxWriterObj::MeshOf(KQoxNode* node)
{
    auto found = mConverted.find(node);
    if (found != mConverted.end())
        return found->second->Get();
    KQoxNodeAttribute* attribute = node->GetNodeAttribute();
    if (!attribute || attribute->GetAttributeType() != KQoxNodeAttribute::eMESH)
        return nullptr;
    return static_cast<KQoxMesh*>(attribute);
}

bool KQoxWriterObj::InitNodes(KQoxNode* node)
{
    if (!node)
        return false;
    // Depth first without recursion, so deep trees cannot exhaust the stack.
    std::vector<KQoxNode*> stack{node};
    while (!stack.empty())
    {
        KQoxNode* current = stack.back();
        stack.pop_back();
        if (IsGeometryNode(current))
        {
            TriangulateGeometry(current);
            KQoxMesh* mesh = MeshOf(current);
            CheckMaterials(mesh ? static_cast<KQoxNodeAttribute*>(mesh) : current->GetNodeAttribute());
        }
        for (int i = current->GetChildCount(false) - 1; i >= 0; --i)
            stack.push_back(current->GetChild(i));
    }
    return true;
}

void KQoxWriterObj::WriteNode(KQoxNode* node, bool subtree)
{
    if (!node)
        return;
    std::vector<KQoxNode*> stack{node};
    while (!stack.empty())
    {
        KQoxNode* current = stack.back();
        stack.pop_back();
        if (KQoxMesh* mesh = MeshOf(current))
            WriteMesh(current, mesh);
        if (!subtree)
            break;
        for (int i = current->GetChildCount(false) - 1; i >= 0; --i)
            stack.push_back(current->GetChild(i));
    }
}

} // namespace qoxsdk_600
