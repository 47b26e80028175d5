// Reading and writing OBJ files in the tests: a manager, a scene, and the
// reader or writer with its options.
#ifndef QOX_TESTS_FORMATS_OBJ_TEST_UTIL_H
#define QOX_TESTS_FORMATS_OBJ_TEST_UTIL_H

#include <memory>
#include <string>

#include "common/qox_test_common.h"
#include "scene/kqoxscene.h"
#include "formats/kqoxstreamoptionsgeometry.h"
#include "formats/obj/kqoxreaderobj.h"
#include "formats/obj/kqoxwriterobj.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

namespace objtest {

using namespace qoxsdk_600;

// One OBJ file read into a fresh scene.
struct ObjRead
{
    std::unique_ptr<KQoxSdkManager> manager{KQoxSdkManager::CreateKQoxSdkManager()};
    KQoxScene& scene = *manager->CreateKQoxScene();
    std::unique_ptr<KQoxReaderObj> reader{new KQoxReaderObj(*manager)};
    bool ok = false;
    std::string message;

    // Reads path; referenceNode sets option 1.
    ObjRead(const std::string& path, bool referenceNode = false)
    {
        if (!reader->FileOpen(path.c_str()))
            return;
        std::unique_ptr<KStreamOptions> options(reader->GetReadOptions(false));
        static_cast<KStreamOptionsObj*>(options.get())->SetOption(1, referenceNode ? 1 : 0);
        ok = reader->Read(scene, options.get());
        KString text;
        reader->GetMessage(text);
        message = text.ToChars();
    }
    // The mesh of the root's child of that name (null when absent).
    KQoxNode* Node(const char* name) const
    {
        KQoxNode* root = scene.GetRootNode();
        for (int i = 0; root && i < root->GetChildCount(false); ++i)
            if (std::string(root->GetChild(i)->GetNameWithoutNameSpacePrefix().ToChars()) == name)
                return root->GetChild(i);
        return nullptr;
    }
    KQoxMesh* Mesh(const char* name) const
    {
        KQoxNode* node = Node(name);
        return node ? static_cast<KQoxMesh*>(node->GetMesh()) : nullptr;
    }
};

// Reads path with folder as the working folder, back to the one before after.
inline ObjRead ReadFrom(const std::string& folder, const std::string& path)
{
    qoxtest::WorkingFolder working(folder);
    EXPECT_TRUE(working.Moved()) << folder;
    return ObjRead(path);
}

// Reads text written to dir/name.
inline std::unique_ptr<ObjRead> ReadText(const qoxtest::TempDir& dir, const std::string& text,
                                         const std::string& name = "model.obj")
{
    qoxtest::WriteFile(dir.File(name), text);
    return std::make_unique<ObjRead>(dir.File(name));
}

// The text the OBJ writer gives for what r read, formatting long lists in
// blocks of blockItems on up to threads threads.
inline std::string WriteInBlocks(ObjRead& r, int threads, size_t blockItems)
{
    KQoxWriterObj writer(*r.manager);
    writer.SetParallelBlocks(threads, blockItems);
    qoxtest::TempDir out;
    const std::string path = out.File("out.obj");
    EXPECT_TRUE(writer.FileCreate(path.c_str()));
    std::unique_ptr<KStreamOptions> options(writer.GetWriteOptions());
    EXPECT_TRUE(writer.Write(r.scene, options.get()));
    EXPECT_TRUE(writer.FileClose());
    return qoxtest::ReadFile(path);
}

// Writes the scene under root to path; the writer's message in message.
inline bool WriteScene(KQoxSdkManager& manager, KQoxScene& scene, const std::string& path,
                       std::string* message = nullptr, int forceTriangulation = 0, int evaluate = 1,
                       KQoxWriterObj** keep = nullptr)
{
    KQoxWriterObj writer(manager);
    if (!writer.FileCreate(path.c_str()))
        return false;
    std::unique_ptr<KStreamOptions> options(writer.GetWriteOptions());
    static_cast<KStreamOptionsObj*>(options.get())->SetOption(2, forceTriangulation);
    static_cast<KStreamOptionsObj*>(options.get())->SetOption(3, evaluate);
    bool ok = writer.Write(scene, options.get());
    ok = writer.FileClose() && ok;
    if (message)
    {
        KString text;
        writer.GetMessage(text);
        *message = text.ToChars();
    }
    (void)keep;
    return ok;
}

} // namespace objtest

#endif
