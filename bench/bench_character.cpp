// Character model: the name lookups the native reader makes for every stored
// link and solver parameter (linear scans over constant tables), and a
// control set written into a control-set plug and read back.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "character/kfiltersetinfo.h"
#include "character/kqoxcharacternodeid.h"
#include "character/kqoxcontrolsetplug.h"
#include "scene/kqoxnode.h"
#include "scene/kqoxsdkmanager.h"

using namespace qoxsdk_600;

namespace {

// Every named node id by name, as reading a full character does.
void BM_NodeIdFromEveryName(benchmark::State& state)
{
    std::vector<std::string> names;
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
    {
        char* name = nullptr;
        if (KQoxCharacterNodeIds::GetCharacterNodeNameFromNodeId(static_cast<ECharacterNodeId>(id), name))
            names.push_back(name);
    }
    for (auto _ : state)
        for (const std::string& name : names)
        {
            ECharacterNodeId id = eCharacterHips;
            benchmark::DoNotOptimize(KQoxCharacterNodeIds::GetCharacterNodeIdFromNodeName(name.c_str(), id));
        }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}
BENCHMARK(BM_NodeIdFromEveryName);

// Every solver parameter by name.
void BM_ParameterIndexFromEveryName(benchmark::State& state)
{
    const KFilterSetInfo* info = GetFilterSetInfo();
    for (auto _ : state)
        for (int i = 0; i < info->mCount; ++i)
            benchmark::DoNotOptimize(info->ParamIndexByName(info->mParams[i].mName));
    state.SetItemsProcessed(state.iterations() * info->mCount);
}
BENCHMARK(BM_ParameterIndexFromEveryName);

// A control set with every link and effector filled, to a plug and back.
void BM_ControlSetPlugRoundTrip(benchmark::State& state)
{
    KQoxSdkManager manager;
    std::vector<KQoxNode*> nodes;
    for (int i = 0; i < kCharacterNodeIdCount; ++i)
        nodes.push_back(manager.CreateKQoxNode(("N" + std::to_string(i)).c_str()));
    std::unique_ptr<KQoxControlSet> source(new KQoxControlSet), target(new KQoxControlSet);
    for (int id = 0; id < kCharacterNodeIdCount; ++id)
    {
        KQoxControlSetLink link;
        link.mNode = nodes[id];
        source->SetControlSetLink(static_cast<ECharacterNodeId>(id), link);
    }
    for (int id = 0; id < kEffectorNodeIdCount; ++id)
    {
        KQoxEffector effector;
        effector.mNode = nodes[id];
        source->SetEffector(static_cast<EEffectorNodeId>(id), effector);
    }
    KQoxControlSetPlug* plug = new KQoxControlSetPlug(manager, "ControlSetPlug::Bench");
    for (auto _ : state)
    {
        source->ToPlug(plug);
        target->FromPlug(plug);
    }
    source.reset();
    target.reset();
    plug->Destruct();
    delete plug;
}
BENCHMARK(BM_ControlSetPlugRoundTrip);

} // namespace
