#include "import_test_util.h"

#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "scene/attributes/kqoxlayer.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxvideo.h"
#include "scene/kqoxentity.h"
#include "scene/kqoxtakeinfo.h"

using namespace qoxsdk_600;

void ImportTest::SetUp()
{
    PluginTest::SetUp();
    ASSERT_TRUE(Load());
}

std::string ImportTest::Write(const Builder& build, const std::string& name)
{
    const std::string path = mDir.File(name);
    KQoxSdkManager manager;
    KQoxScene scene(manager);
    build(manager, scene);
    KQoxExporter exporter(manager);
    exporter.Initialize(path.c_str());
    exporter.SetFileFormat(eEXPORT_QOX_BINARY);
    EXPECT_TRUE(exporter.Export(scene)) << exporter.GetLastErrorString();
    return path;
}

ZStatus ImportTest::Import(const std::string& path, const char* mode)
{
    Run(std::string("QOXImportMode ") + mode);
    zelthost::Host::Get().ClearTranscript();
    ZStatus st;
    Run("QOXImport -f \"" + path + "\"", &st);
    return st;
}

void ImportTest::ShowUI(bool on)
{
    // The plug-in reads its settings file when it loads.
    Run("QOXSetUserParams");
    zelthost::Host::Get().UnloadAllPlugins();
    std::string text = qoxtest::ReadFile(mDir.File("registry.txt"));
    const std::string key = "kImportShowUI = ";
    const size_t at = text.find(key);
    ASSERT_NE(at, std::string::npos);
    text.replace(at + key.size(), text.find('\n', at) - at - key.size(), on ? "true" : "false");
    ASSERT_TRUE(qoxtest::WriteFile(mDir.File("registry.txt"), text));
    ASSERT_TRUE(Load());
}

std::vector<std::string> ImportTest::Entries(zelthost::TranscriptEntry::Kind kind)
{
    std::vector<std::string> out;
    for (const auto& entry : zelthost::Host::Get().Transcript())
        if (entry.kind == kind)
            out.push_back(entry.text);
    return out;
}

std::vector<std::string> ImportTest::CommandsStarting(const std::string& prefix)
{
    std::vector<std::string> out;
    for (const std::string& text : Commands())
        if (text.compare(0, prefix.size(), prefix) == 0)
            out.push_back(text);
    return out;
}

std::string ImportTest::Attr(const std::string& plug)
{
    std::vector<std::string> result = Run("getAttr " + plug);
    std::string text;
    for (size_t i = 0; i < result.size(); ++i)
        text += (i ? " " : "") + result[i];
    return text;
}

KQoxNode* AddNode(KQoxSdkManager& manager, KQoxNode* parent, const char* name, KQoxNodeAttribute* attribute)
{
    KQoxNode* node = manager.CreateKQoxNode(name);
    if (attribute)
        node->SetNodeAttribute(attribute);
    parent->AddChild(node);
    return node;
}

void AddTake(KQoxScene& scene, const char* name)
{
    scene.CreateTake(name);
    KQoxTakeInfo info;
    info.Name = name;
    scene.SetTakeInfo(info);
    scene.SetCurrentTake(name);
}

void TexturedMesh(KQoxSdkManager& manager, KQoxScene& scene, const char* node, KQoxTexture* texture)
{
    KQoxMesh* mesh = manager.CreateKQoxMesh();
    mesh->InitControlPoints(4);
    for (int i = 0; i < 4; ++i)
        mesh->GetControlPoints()[i] = KQoxVector4(i % 2, i / 2, 0, 1);
    mesh->BeginPolygon();
    for (int i : {0, 1, 3, 2})
        mesh->AddPolygon(i);
    mesh->EndPolygon();
    AddNode(manager, scene.GetRootNode(), node, mesh);
    mesh->AM(manager.CreateKQoxMaterial((std::string(node) + "Paint").c_str()), 0);
    mesh->GetLayer(0)->GetMaterials()->mMappingMode = KQoxLayerElement::eALL_SAME;
    KQoxLayerElementTexture* textures = new KQoxLayerElementTexture;
    textures->mMappingMode = KQoxLayerElement::eALL_SAME;
    textures->mDirectArray.Add(texture);
    textures->mIndexArray.Add(0);
    mesh->GetLayer(0)->SetTextures(textures);
}

KQoxTexture* EmbeddedTexture(KQoxSdkManager& manager, KQoxScene& scene, const std::string& name,
                             const std::string& image)
{
    KQoxVideo* clip = manager.CreateKQoxVideo(name.c_str());
    clip->SetFileName(image.c_str());
    scene.GetEntity()->AddVideo(clip);
    KQoxTexture* texture = manager.CreateKQoxTexture(name.c_str());
    texture->SetFileName(image.c_str());
    texture->SetMediaName(("Video::" + name).c_str());
    return texture;
}
