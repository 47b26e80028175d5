// Texture copies cost the same however full their folder is: an OBJ save
// copying 100 images into a folder of 80,000 files against the same save
// into an empty folder, and one listing of the full folder, in the same
// run. "full_vs_empty_and_listing" is the save into the full folder over
// the save into the empty one plus that listing (1 = the listing is all the
// full folder adds).

#include <benchmark/benchmark.h>

#include <dirent.h>

#include <memory>
#include <string>
#include <vector>

#include "bench_util.h"
#include "fileio/kqoxexporter.h"
#include "fileio/kqoxioregistry.h"
#include "formats/kqoxgeometryformats.h"
#include "scene/attributes/kqoxmaterial.h"
#include "scene/attributes/kqoxmesh.h"
#include "scene/attributes/kqoxtexture.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

const int kImages = 100;
const int kFilesInFolder = 80000;

// The folders, made once per run and removed at exit: src/ with the
// images, empty/ and full/ (kFilesInFolder small files) to save into.
struct Folders
{
    Folders()
        : scratch("qox_copies_")
    {
        if (scratch.Path().empty())
            return;
        for (const char* folder : {"/src", "/empty", "/full"})
            mkdir((scratch.Path() + folder).c_str(), 0755);
        for (int i = 0; i < kImages; ++i)
            ok = benchutil::DurableWrite(Image(i), "P3\n1 1\n255\n" + std::to_string(i) + " 0 0\n") && ok;
        for (int i = 0; i < kFilesInFolder && ok; ++i)
        {
            FILE* file = std::fopen((scratch.Path() + "/full/file" + std::to_string(i) + ".txt").c_str(), "wb");
            ok = file && std::fclose(file) == 0;
        }
    }
    std::string Image(int i) const { return scratch.Path() + "/src/texture" + std::to_string(i) + ".ppm"; }

    benchutil::ScratchDirectory scratch;
    bool ok = true;
};

const Folders& TheFolders()
{
    static Folders folders;
    return folders;
}

// A scene of kImages quads, each with a texture of its own image.
struct TexturedScene
{
    explicit TexturedScene(const Folders& folders)
        : manager(KQoxSdkManager::CreateKQoxSdkManager())
        , scene(*manager->CreateKQoxScene())
    {
        for (int i = 0; i < kImages; ++i)
        {
            const std::string name = "Quad" + std::to_string(i);
            KQoxMesh* mesh = manager->CreateKQoxMesh();
            mesh->InitControlPoints(4);
            KQoxVector4* points = mesh->GetControlPoints();
            points[0] = KQoxVector4(i, 0, 0);
            points[1] = KQoxVector4(i + 1, 0, 0);
            points[2] = KQoxVector4(i + 1, 1, 0);
            points[3] = KQoxVector4(i, 1, 0);
            mesh->BeginPolygon();
            for (int k = 0; k < 4; ++k)
                mesh->AddPolygon(k);
            mesh->EndPolygon();
            mesh->AM(manager->CreateKQoxMaterial((name + "Paint").c_str()), 0);
            mesh->InitMaterialIndices(KQoxLayerElement::eALL_SAME);
            KQoxTexture* texture = manager->CreateKQoxTexture((name + "Map").c_str());
            texture->SetFileName(folders.Image(i).c_str());
            texture->SetMappingType(KQoxTexture::eUV);
            mesh->AT(texture, 0);
            mesh->InitTextureIndices(KQoxLayerElement::eALL_SAME);
            mesh->InitTextureUV(0);
            mesh->GetLayer(0)->GetUVs()->mMappingMode = KQoxLayerElement::eBY_CONTROL_POINT;
            for (int p = 0; p < 4; ++p)
                mesh->AddTextureUV(KQoxVector2(p % 2, p / 2));
            KQoxNode* node = manager->CreateKQoxNode(name.c_str());
            node->SetNodeAttribute(mesh);
            scene.GetRootNode()->AddChild(node);
        }
    }
    std::unique_ptr<KQoxSdkManager> manager;
    KQoxScene& scene;
};

// Seconds to save the scene as folder/scene.obj; the files it wrote are
// removed after (not timed). False in ok when the save failed.
double SaveInto(TexturedScene& s, const std::string& folder, bool& ok)
{
    const std::string target = folder + "/scene.obj";
    const double seconds = benchutil::Seconds([&] {
        KQoxExporter exporter(*s.manager);
        ok = exporter.Initialize(target.c_str()) && exporter.SetFileFormat(eEXPORT_OBJ) && ok;
        std::unique_ptr<KStreamOptions> options(exporter.GetExportOptions());
        ok = exporter.Export(s.scene, options.get()) && ok;
    });
    std::remove(target.c_str());
    std::remove((folder + "/scene.mtl").c_str());
    for (int i = 0; i < kImages; ++i)
        ok = std::remove((folder + "/texture" + std::to_string(i) + ".ppm").c_str()) == 0 && ok;
    return seconds;
}

// Seconds to list folder once, as a save's first copy does.
double ListOnce(const std::string& folder, bool& ok)
{
    return benchutil::Seconds([&] {
        DIR* dir = opendir(folder.c_str());
        ok = dir && ok;
        size_t names = 0;
        while (dir && readdir(dir))
            ++names;
        if (dir)
            closedir(dir);
        benchmark::DoNotOptimize(names);
    });
}

void BM_HundredCopiesIntoAFolderOf80000Files(benchmark::State& state)
{
    KQoxRegisterGeometryFormats();
    const Folders& folders = TheFolders();
    bool ok = folders.ok && !folders.scratch.Path().empty();
    TexturedScene s(folders);
    const std::string empty = folders.scratch.Path() + "/empty", full = folders.scratch.Path() + "/full";
    double intoFull = 0, intoEmpty = 0, listing = 0;
    for (auto _ : state)
    {
        // In turn first, so that neither always meets a warm cache.
        const bool fullFirst = state.iterations() % 2 == 0;
        const double first = SaveInto(s, fullFirst ? full : empty, ok);
        const double second = SaveInto(s, fullFirst ? empty : full, ok);
        intoFull += fullFirst ? first : second;
        intoEmpty += fullFirst ? second : first;
        listing += ListOnce(full, ok);
        state.SetIterationTime(fullFirst ? first : second);
    }
    if (!ok)
        state.SkipWithError("a save failed");
    const double n = static_cast<double>(state.iterations());
    state.counters["full_ms"] = 1e3 * intoFull / n;
    state.counters["empty_ms"] = 1e3 * intoEmpty / n;
    state.counters["listing_ms"] = 1e3 * listing / n;
    state.counters["full_vs_empty_and_listing"] = intoEmpty + listing > 0 ? intoFull / (intoEmpty + listing) : 0;
}
BENCHMARK(BM_HundredCopiesIntoAFolderOf80000Files)->Unit(benchmark::kMillisecond)->Iterations(6)->UseManualTime();

} // namespace
