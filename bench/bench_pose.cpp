// Poses, renaming and scene takes at file size: filling a bind pose while
// another bind pose of the manager is checked, giving clash suffixes to many
// names, and listing and switching the takes of a scene of many nodes.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "base/kname.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxpluginrenamingstrategy.h"
#include "scene/kqoxpose.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

namespace {

using namespace qoxsdk_600;

std::vector<std::string> Names(int count, const char* stem)
{
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        names.push_back(stem + std::to_string(i));
    return names;
}

void BM_BindPoseFill(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const std::vector<std::string> names = Names(count, "Joint");
    for (auto _ : state)
    {
        std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
        KQoxScene* scene = manager->CreateKQoxScene();
        KQoxPose* other = manager->CreateKQoxPose("Other", true);
        KQoxPose* pose = manager->CreateKQoxPose("Bind", true);
        scene->AddPose(other);
        scene->AddPose(pose);
        for (const std::string& name : names)
            other->Add(name.c_str(), KQoxMatrix());
        for (const std::string& name : names)
            benchmark::DoNotOptimize(pose->Add(name.c_str(), KQoxMatrix()));
    }
    state.SetItemsProcessed(state.iterations() * count * 2);
}
BENCHMARK(BM_BindPoseFill)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Half of the names repeat one earlier name, a quarter differ from it in case.
void BM_RenameToFile(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i)
        names.push_back(i % 2 ? "Bone" + std::to_string(i / 2) : (i % 4 ? "Joint" : "JOINT"));
    for (auto _ : state)
    {
        KQoxPluginRenamingStrategy strategy(KQoxPluginRenamingStrategy::eTO_QOX, false);
        for (const std::string& text : names)
        {
            KName name(text.c_str());
            benchmark::DoNotOptimize(strategy.Rename(name));
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_RenameToFile)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_SceneTakes(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    std::unique_ptr<KQoxSdkManager> manager(KQoxSdkManager::CreateKQoxSdkManager());
    KQoxScene* scene = manager->CreateKQoxScene();
    for (int i = 0; i < count; ++i)
        scene->GetRootNode()->AddChild(manager->CreateKQoxNode(("N" + std::to_string(i)).c_str()));
    for (const char* take : {"Walk", "Run", "Jump"})
        scene->CreateTake(take);
    for (auto _ : state)
    {
        KArrayTemplate<KString*> names;
        scene->FillTakeNameArray(names);
        for (int i = 0; i < names.GetCount(); ++i)
            delete names[i];
        benchmark::DoNotOptimize(scene->SetCurrentTake("Run"));
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_SceneTakes)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace
