// Characters: making and tearing down characters with every link set (each
// builds 383 properties and a take with 100 channels, and records itself on
// 191 nodes), and the copy of a filter set into a character's properties.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "character/kqoxcharacter.h"
#include "character/kqoxcharacterproperties.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxscene.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

// 1,000 characters, each linked to all 191 of a shared set of nodes through
// its node link properties, then all destroyed.
void BM_CreateDestroyLinkedCharacters(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    std::unique_ptr<KQoxSdkManager> manager(new KQoxSdkManager);
    KQoxScene* scene = manager->CreateKQoxScene();
    std::vector<KQoxNode*> nodes;
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
    {
        nodes.push_back(manager->CreateKQoxNode(("N" + std::to_string(id)).c_str()));
        scene->GetRootNode()->AddChild(nodes.back());
    }
    for (auto _ : state)
    {
        for (int i = 0; i < count; ++i)
        {
            KQoxCharacter* character = scene->GetCharacter(scene->CreateCharacter("C"));
            for (int id = 0; id < kCharacterNodeIdCount; ++id)
            {
                KQoxCharacterLink link;
                link.mNode = nodes[id];
                character->SetCharacterLink(static_cast<ECharacterNodeId>(id), link, true);
            }
        }
        while (scene->GetCharacterCount() > 0)
            scene->DestroyCharacter(scene->GetCharacterCount() - 1);
    }
    state.SetItemsProcessed(state.iterations() * count);
    manager->DestroyKQoxScene(scene, true);
}
BENCHMARK(BM_CreateDestroyLinkedCharacters)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_FilterSetToProperties(benchmark::State& state)
{
    std::unique_ptr<KQoxSdkManager> manager(new KQoxSdkManager);
    KQoxScene* scene = manager->CreateKQoxScene();
    KQoxCharacter* character = scene->GetCharacter(scene->CreateCharacter("C"));
    for (auto _ : state)
        character->GetProperties()->FilterSetToProperties();
    state.SetItemsProcessed(state.iterations() * 184);
    manager->DestroyKQoxScene(scene, true);
}
BENCHMARK(BM_FilterSetToProperties);

} // namespace
